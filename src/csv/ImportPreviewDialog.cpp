#include "csv/ImportPreviewDialog.h"

#include "common/ModalSafety.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
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

namespace {
// The grid's columns, then the two it does not show.
const std::pair<Column, const char *> kShown[] = {{Column::ItemDesc, "Item Name"},
                                                  {Column::ItemNum, "Item Number"},
                                                  {Column::ItemCnt, "Amount In Stock"},
                                                  {Column::ItemCst, "Unit Cost"},
                                                  {Column::TotItemCst, "Total Unit Cost"},
                                                  {Column::Vendor, "Vendor Name"},
                                                  {Column::InvDate, "Invoice Date"},
                                                  {Column::InvNum, "Invoice ID"},
                                                  {Column::Image, "Image"}};
} // namespace

ImportPreviewDialog::ImportPreviewDialog(ImportScan &scan, const QString &path, QWidget *parent)
    : QDialog(parent), m_scan(scan), m_fileName(QFileInfo(path).fileName())
{
    setObjectName(QStringLiteral("frmImport"));
    setWindowTitle(QStringLiteral("Import Items"));
    resize(900, 560);
    auto *layout = new QVBoxLayout(this);
    buildProgress(layout);
    buildTables(layout);
    layout->addStretch();
    buildButtons(layout);
    followScan();
}

void ImportPreviewDialog::buildProgress(QBoxLayout *layout)
{
    m_summary = new QLabel(QStringLiteral("Reading %1…").arg(m_fileName), this);
    m_summary->setObjectName(QStringLiteral("lblSummary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_summary);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("prgRead"));
    m_progress->setAccessibleName(QStringLiteral("Reading the file"));
    m_progress->setRange(0, 100);
    layout->addWidget(m_progress);
}

// Both tables stay hidden until the file has been read.
void ImportPreviewDialog::buildTables(QBoxLayout *layout)
{
    QStringList captions;
    for (const auto &c : kShown)
        captions << QLatin1String(c.second);
    m_rowsLabel = new QLabel(QStringLiteral("&First rows as they will be stored:"), this);
    m_rows = makeTable(QStringList{QStringLiteral("Row")} + captions, QStringLiteral("grdRows"), this);
    m_rows->setAccessibleName(QStringLiteral("First rows as they will be stored"));
    m_rowsLabel->setBuddy(m_rows);
    layout->addWidget(m_rowsLabel);
    layout->addWidget(m_rows, 2);

    m_problemsLabel = new QLabel(QStringLiteral("&Problems:"), this);
    m_problems = makeTable(
        {QStringLiteral("Row"), QStringLiteral("Column"), QStringLiteral("Text"), QStringLiteral("Why")},
        QStringLiteral("grdProblems"), this);
    m_problems->setAccessibleName(QStringLiteral("Problems"));
    m_problemsLabel->setBuddy(m_problems);
    layout->addWidget(m_problemsLabel);
    layout->addWidget(m_problems, 1);
    for (QWidget *w : {static_cast<QWidget *>(m_rowsLabel), static_cast<QWidget *>(m_rows),
                       static_cast<QWidget *>(m_problemsLabel), static_cast<QWidget *>(m_problems)})
        w->setVisible(false);
}

void ImportPreviewDialog::buildButtons(QBoxLayout *layout)
{
    auto *buttons = new QDialogButtonBox(this);
    m_import = buttons->addButton(QStringLiteral("&Import"), QDialogButtonBox::AcceptRole);
    m_import->setObjectName(QStringLiteral("cmdImport"));
    m_import->setAccessibleName(QStringLiteral("Import"));
    m_import->setEnabled(false);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cancel->setAccessibleName(QStringLiteral("Cancel"));
    m_cancel->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ImportPreviewDialog::reject);
    layout->addWidget(buttons);
    m_cancel->setFocus();
}

void ImportPreviewDialog::followScan()
{
    // The progress is polled: the reading thread never waits for the window.
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { m_progress->setValue(m_scan.percent()); });
    timer->start(100);
    connect(&m_scan, &ImportScan::finished, this, [this, timer] {
        timer->stop();
        showPlan();
    });
    // Already read (a small file): shown once the window runs.
    if (m_scan.state() != ImportScan::State::Reading)
        QTimer::singleShot(0, this, [this, timer] {
            timer->stop();
            showPlan();
        });
}

void ImportPreviewDialog::showPlan()
{
    if (m_scan.state() != ImportScan::State::Ready) {
        // Refused or unreadable: the caller says why once the window is gone.
        QDialog::reject();
        return;
    }
    const ImportPlan &plan = m_scan.plan();
    m_progress->setValue(100);
    m_progress->setVisible(false);
    m_summary->setText(importSummary(plan, m_fileName));

    const int shown = static_cast<int>(plan.firstRows.size());
    m_rows->setRowCount(shown);
    for (int r = 0; r < shown; ++r) {
        setCell(m_rows, r, 0, QString::number(plan.firstSourceRows[static_cast<size_t>(r)]));
        for (int c = 0; c < 9; ++c)
            setCell(m_rows, r, c + 1, previewText(plan.firstRows[static_cast<size_t>(r)], kShown[c].first));
    }
    m_rows->resizeColumnsToContents();
    m_rowsLabel->setVisible(true);
    m_rows->setVisible(true);

    m_problems->setRowCount(static_cast<int>(plan.problems.size()));
    for (int r = 0; r < m_problems->rowCount(); ++r) {
        const CsvProblem &p = plan.problems[static_cast<size_t>(r)];
        setCell(m_problems, r, 0, QString::number(p.row));
        setCell(m_problems, r, 1, p.column);
        setCell(m_problems, r, 2, p.text);
        setCell(m_problems, r, 3, p.why);
    }
    m_problems->resizeColumnsToContents();
    m_problemsLabel->setVisible(!plan.problems.empty());
    m_problems->setVisible(!plan.problems.empty());

    m_import->setEnabled(plan.canImport());
    m_import->setDefault(plan.canImport());
    m_cancel->setDefault(!plan.canImport());
    (plan.canImport() ? m_import : m_cancel)->setFocus();
}

void ImportPreviewDialog::reject()
{
    // Cancel while reading stops the thread; its memory goes with the scan.
    if (m_scan.state() == ImportScan::State::Reading) m_scan.cancel();
    QDialog::reject();
}

bool ImportPreviewDialog::confirm(ImportScan &scan, const QString &path, QWidget *parent)
{
    const QPointer<ImportPreviewDialog> dialog = new ImportPreviewDialog(scan, path, parent);
    const bool accepted = execDialog(dialog) == QDialog::Accepted;
    delete dialog.data();
    return accepted && scan.state() == ImportScan::State::Ready && scan.plan().canImport();
}

} // namespace tv
