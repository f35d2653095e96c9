#include "StocktakeWindow.h"

#include "StocktakeCount.h"
#include "StocktakeTableModel.h"

#include "common/ErrorTrap.h"
#include "common/Prompts.h"
#include "items/ItemRecordSet.h"
#include "items/ItemStore.h"
#include "report/ReportWindow.h"
#include "scanner/ScanCounting.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tv {

namespace {
const QString kForm = QStringLiteral("frmStocktake");
const QString kTitle = QStringLiteral("Stocktake");

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, const QString &tip)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    b->setAccessibleDescription(tip);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}
} // namespace

StocktakeWindow::StocktakeWindow(ItemRecordSet &records, ScanRouter &router, QWidget *parent)
    : QWidget(parent, Qt::Window), m_records(records), m_router(&router),
      m_count(new StocktakeCount(records, this))
{
    setObjectName(kForm);
    setWindowTitle(kTitle);
    setAccessibleName(kTitle);
    m_model = new StocktakeTableModel(*m_count, this);
    buildWindow();
    connect(m_count, &StocktakeCount::stateChanged, this, &StocktakeWindow::showState);
    connect(m_count, &StocktakeCount::linesChanged, this, &StocktakeWindow::showSummary);
    connect(&m_records, &ItemRecordSet::rowChanged, this, &StocktakeWindow::showSummary);
    connect(&m_records, &ItemRecordSet::reset, this, &StocktakeWindow::showSummary);
    m_look.setInterval(1000);
    connect(&m_look, &QTimer::timeout, this, [this] {
        if (m_records.isBusy() || m_records.store().isBusy()) return;
        try {
            m_count->refresh();
        } catch (const AppError &) {
            // A server away for a moment: the next look tries again.
        }
    });
    trapped(QStringLiteral("Form_Load"), kForm, [this] { m_count->resume(); });
    showState();
    resize(760, 560);
}

StocktakeWindow::~StocktakeWindow()
{
    takeScans(false);
}

void StocktakeWindow::buildWindow()
{
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("lblState"));
    m_state->setWordWrap(true);

    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("lstCount"));
    m_list->setAccessibleName(QStringLiteral("Items to count"));
    m_list->setAccessibleDescription(QStringLiteral("Scan the item, or press F2 to type its count"));
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    // Not on any key: a scanner typing into the list must not open the cell's editor.
    m_list->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_list->setAlternatingRowColors(true);
    m_list->setTabKeyNavigation(false);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->setVisible(false);
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 8);
    m_list->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {220, 140, 100, 100};
    for (int c = 0; c < 4; ++c)
        m_list->setColumnWidth(c, widths[c]);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("lblSummary"));

    m_zeroRest = new QCheckBox(QStringLiteral("Items not counted are &zero"), this);
    m_zeroRest->setObjectName(QStringLiteral("chkZeroRest"));
    m_zeroRest->setAccessibleName(QStringLiteral("Items not counted are zero"));
    m_zeroRest->setToolTip(
        QStringLiteral("When the counts are set, an item nobody counted gets a count of 0"));

    m_start = makeButton(this, "cmdStart", QStringLiteral("&Start Count"),
                         QStringLiteral("Takes a snapshot of every item's count and starts counting"));
    m_finish = makeButton(
        this, "cmdFinish", QStringLiteral("&Finish Count"),
        QStringLiteral("Writes the stocktake report, shows it and asks whether to set the counts"));
    m_cancel = makeButton(this, "cmdCancel", QStringLiteral("&Cancel Count"),
                          QStringLiteral("Discards this stocktake; no count changes"));
    m_close = makeButton(this, "cmdClose", QStringLiteral("Cl&ose"), QStringLiteral("Closes this window"));
    connect(m_start, &QPushButton::clicked, this, &StocktakeWindow::startCount);
    connect(m_finish, &QPushButton::clicked, this, &StocktakeWindow::finishCount);
    connect(m_cancel, &QPushButton::clicked, this, &StocktakeWindow::cancelCount);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_finish);
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    buttons->addWidget(m_close);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(m_state);
    outer->addWidget(m_list, 1);
    outer->addWidget(m_summary);
    outer->addWidget(m_zeroRest);
    outer->addLayout(buttons);
    setTabOrder(m_list, m_zeroRest);
    setTabOrder(m_zeroRest, m_start);
    setTabOrder(m_start, m_finish);
    setTabOrder(m_finish, m_cancel);
    setTabOrder(m_cancel, m_close);
}

void StocktakeWindow::showState()
{
    const bool counting = m_count->inProgress();
    if (counting) {
        const StocktakeInfo &info = *m_count->info();
        m_state->setText(QStringLiteral("Counting since %1, started by %2 at %3. Scan each item, or press F2 "
                                        "(or double-click) in the Counted column to type its count.")
                             .arg(QLocale().toString(info.startedAt.toLocalTime(), QLocale::ShortFormat),
                                  info.startedBy, info.workstation));
    } else {
        m_state->setText(QStringLiteral("No count in progress. Start Count takes a snapshot of every item's "
                                        "count; then scan each item on the shelves."));
    }
    m_start->setEnabled(!counting);
    m_finish->setEnabled(counting);
    m_cancel->setEnabled(counting);
    m_zeroRest->setEnabled(counting);
    takeScans(counting && isVisible());
    showSummary();
}

void StocktakeWindow::showSummary()
{
    if (!m_count->inProgress()) {
        m_summary->clear();
        return;
    }
    const StocktakeCount::Summary s = m_count->summary();
    m_summary->setText(
        QStringLiteral("%1 counted, %2 not counted yet. Value difference so far: %3")
            .arg(s.counted)
            .arg(s.notCounted)
            .arg(s.valueOverflow ? QStringLiteral("too large to show") : s.valueDifference.toDollars()));
}

void StocktakeWindow::takeScans(bool on)
{
    if (!m_router) return;
    if (on)
        m_router->setStocktake([this](const QString &code) { scanned(code); });
    else if (m_router->countsForStocktake())
        m_router->setStocktake({});
}

void StocktakeWindow::scanned(const QString &code)
{
    std::optional<int> row;
    trapped(QStringLiteral("Scan"), kForm,
            [&] { row = m_count->countScan(code, m_router ? m_router->quantity() : 1); });
    if (!row || *row >= m_model->rowCount()) return;
    m_list->setCurrentIndex(m_model->index(*row, StocktakeTableModel::Counted));
    m_list->scrollTo(m_list->currentIndex());
}

void StocktakeWindow::startCount()
{
    trapped(QStringLiteral("cmdStart_Click"), kForm, [this] { m_count->start(); });
    if (m_count->inProgress()) m_list->setFocus();
}

void StocktakeWindow::finishCount()
{
    if (!m_count->inProgress()) return;
    QString path;
    if (!trapped(QStringLiteral("cmdFinish_Click"), kForm, [&] { path = m_count->writeReport(); })) return;
    trapped(QStringLiteral("cmdFinish_Click"), kForm, [&] { ReportWindow::showReport(path); });
    const QPointer<StocktakeWindow> self(this);
    const MsgAnswer answer = prompts().message(QStringLiteral("Set the counts to what was counted?"),
                                               MsgButtons::YesNo, MsgIcon::Question, kTitle);
    if (!self || answer != MsgAnswer::Yes) return;
    trapped(QStringLiteral("cmdFinish_Click"), kForm, [this] { m_count->finish(m_zeroRest->isChecked()); });
}

void StocktakeWindow::cancelCount()
{
    if (!m_count->inProgress()) return;
    const MsgAnswer answer = prompts().message(
        QStringLiteral(
            "Cancel this stocktake? The counts taken so far are discarded; no item's count changes."),
        MsgButtons::YesNo, MsgIcon::Question, kTitle);
    if (answer != MsgAnswer::Yes) return;
    trapped(QStringLiteral("cmdCancel_Click"), kForm, [this] { m_count->cancel(); });
}

void StocktakeWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_look.start();
    trapped(QStringLiteral("Form_Activate"), kForm, [this] { m_count->refresh(); });
    takeScans(m_count->inProgress());
}

void StocktakeWindow::hideEvent(QHideEvent *event)
{
    // Scans go back to the main window's mode: nobody counts into a stocktake they cannot see.
    m_look.stop();
    takeScans(false);
    QWidget::hideEvent(event);
}

void StocktakeWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tv
