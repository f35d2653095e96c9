#include "frmImport.h"

#include "common/ModalSafety.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tv {

namespace {
QTableWidget *makeTable(const QStringList &captions, const QString &name, QWidget *parent)
{
    auto *t = new QTableWidget(0, static_cast<int>(captions.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(captions);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setTabKeyNavigation(false);
    t->setWordWrap(false);
    t->verticalHeader()->setVisible(false);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setCell(QTableWidget *t, int row, int column, const QString &text)
{
    // Line breaks inside a cell show as one line.
    auto *item = new QTableWidgetItem(QString(text).replace(QLatin1Char('\n'), QChar(0x21B5)));
    item->setToolTip(text);
    t->setItem(row, column, item);
}
} // namespace

frmImport::frmImport(const ImportPlan &plan, const QString &path, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmImport"));
    setWindowTitle(QStringLiteral("Import Items"));
    resize(900, 560);
    auto *layout = new QVBoxLayout(this);

    auto *summary = new QLabel(importSummary(plan, QFileInfo(path).fileName()), this);
    summary->setObjectName(QStringLiteral("lblSummary"));
    summary->setWordWrap(true);
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(summary);

    // The grid's columns, then the two it does not show.
    const std::pair<Column, const char *> columns[] = {{Column::ItemDesc, "Item Name"},
                                                       {Column::ItemNum, "Item Number"},
                                                       {Column::ItemCnt, "Amount In Stock"},
                                                       {Column::ItemCst, "Unit Cost"},
                                                       {Column::TotItemCst, "Total Unit Cost"},
                                                       {Column::Vendor, "Vendor Name"},
                                                       {Column::InvDate, "Invoice Date"},
                                                       {Column::InvNum, "Invoice ID"},
                                                       {Column::Image, "Image"}};
    QStringList captions;
    for (const auto &c : columns)
        captions << QLatin1String(c.second);
    auto *rowsLabel = new QLabel(QStringLiteral("&First rows as they will be stored:"), this);
    m_rows = makeTable(QStringList{QStringLiteral("Row")} + captions, QStringLiteral("grdRows"), this);
    m_rows->setAccessibleName(QStringLiteral("First rows as they will be stored"));
    rowsLabel->setBuddy(m_rows);
    const int shown = static_cast<int>(std::min<size_t>(plan.rows.size(), kPreviewRows));
    m_rows->setRowCount(shown);
    for (int r = 0; r < shown; ++r) {
        setCell(m_rows, r, 0, QString::number(plan.sourceRows[static_cast<size_t>(r)]));
        for (int c = 0; c < 9; ++c)
            setCell(m_rows, r, c + 1, previewText(plan.rows[static_cast<size_t>(r)], columns[c].first));
    }
    m_rows->resizeColumnsToContents();
    layout->addWidget(rowsLabel);
    layout->addWidget(m_rows, 2);

    auto *problemsLabel = new QLabel(QStringLiteral("&Problems:"), this);
    m_problems = makeTable(
        {QStringLiteral("Row"), QStringLiteral("Column"), QStringLiteral("Text"), QStringLiteral("Why")},
        QStringLiteral("grdProblems"), this);
    m_problems->setAccessibleName(QStringLiteral("Problems"));
    problemsLabel->setBuddy(m_problems);
    m_problems->setRowCount(static_cast<int>(plan.problems.size()));
    for (int r = 0; r < m_problems->rowCount(); ++r) {
        const CsvProblem &p = plan.problems[static_cast<size_t>(r)];
        setCell(m_problems, r, 0, QString::number(p.row));
        setCell(m_problems, r, 1, p.column);
        setCell(m_problems, r, 2, p.text);
        setCell(m_problems, r, 3, p.why);
    }
    m_problems->resizeColumnsToContents();
    problemsLabel->setVisible(!plan.problems.empty());
    m_problems->setVisible(!plan.problems.empty());
    layout->addWidget(problemsLabel);
    layout->addWidget(m_problems, 1);

    auto *buttons = new QDialogButtonBox(this);
    m_import = buttons->addButton(QStringLiteral("&Import"), QDialogButtonBox::AcceptRole);
    m_import->setObjectName(QStringLiteral("cmdImport"));
    m_import->setAccessibleName(QStringLiteral("Import"));
    m_import->setEnabled(plan.canImport());
    QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    (plan.canImport() ? m_import : cancel)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    (plan.canImport() ? m_import : cancel)->setFocus();
}

bool frmImport::confirm(const ImportPlan &plan, const QString &path, QWidget *parent)
{
    const QPointer<frmImport> dialog = new frmImport(plan, path, parent);
    const bool accepted = execDialog(dialog) == QDialog::Accepted;
    delete dialog.data();
    return accepted && plan.canImport();
}

} // namespace tv
