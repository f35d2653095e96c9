#include "HistoryWindow.h"

#include "HistoryList.h"
#include "common/ErrorTrap.h"
#include "items/ItemRecordSet.h"
#include "items/ItemStore.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace tv {

namespace {
const QString kTitle = QStringLiteral("Item History");
}

HistoryWindow::HistoryWindow(ItemRecordSet &records, Prompts &prompts, QWidget *parent)
    : QWidget(parent, Qt::Window), m_records(records), m_prompts(prompts),
      m_list(new HistoryList(records.store(), this))
{
    setObjectName(QStringLiteral("frmHistory"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kTitle);
    setAccessibleName(kTitle);
    buildWindow();
    followRecords();
    m_reload.setSingleShot(true);
    m_reload.setInterval(150);
    connect(&m_reload, &QTimer::timeout, this, &HistoryWindow::reload);
    reload(); // at once: the window opens with its lines
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::buildWindow()
{
    auto *filterLabel = new QLabel(QStringLiteral("&Filter:"), this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("txtFilter"));
    m_filter->setAccessibleName(QStringLiteral("Filter"));
    m_filter->setPlaceholderText(QStringLiteral("item, person, workstation or change"));
    m_filter->setClearButtonEnabled(true);
    filterLabel->setBuddy(m_filter);
    m_allItems = new QCheckBox(QStringLiteral("&All Items"), this);
    m_allItems->setObjectName(QStringLiteral("chkAllItems"));
    m_allItems->setAccessibleName(QStringLiteral("All Items"));

    m_lines = new QTreeView(this);
    m_lines->setObjectName(QStringLiteral("lstChanges"));
    m_lines->setAccessibleName(QStringLiteral("Changes, newest first"));
    m_lines->setModel(m_list);
    m_lines->setRootIsDecorated(false);
    m_lines->setUniformRowHeights(true);
    m_lines->setAlternatingRowColors(true);
    m_lines->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lines->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lines->setAllColumnsShowFocus(true);
    m_lines->header()->setStretchLastSection(true);
    const int widths[] = {150, 90, 110, 180};
    for (int i = 0; i < 4; ++i)
        m_lines->setColumnWidth(i, widths[i]);
    m_lines->setColumnHidden(HistoryList::Item, true);

    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("lblState"));
    m_state->setWordWrap(true);
    m_undo = new QPushButton(QStringLiteral("&Undo Change"), this);
    m_undo->setObjectName(QStringLiteral("cmdUndo"));
    m_undo->setAccessibleName(QStringLiteral("Undo Change"));
    m_close = new QPushButton(QStringLiteral("&Close"), this);
    m_close->setObjectName(QStringLiteral("cmdClose"));
    m_close->setAccessibleName(QStringLiteral("Close"));

    auto *top = new QHBoxLayout;
    top->addWidget(filterLabel);
    top->addWidget(m_filter, 1);
    top->addWidget(m_allItems);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_state, 1);
    buttons->addWidget(m_undo);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_lines, 1);
    layout->addLayout(buttons);
    setTabOrder(m_filter, m_allItems);
    setTabOrder(m_allItems, m_lines);
    setTabOrder(m_lines, m_undo);
    setTabOrder(m_undo, m_close);
    resize(980, 440);

    connect(m_filter, &QLineEdit::textChanged, this, [this] { reloadSoon(); });
    connect(m_allItems, &QCheckBox::toggled, this, [this](bool all) {
        m_lines->setColumnHidden(HistoryList::Item, !all);
        reload();
    });
    connect(m_undo, &QPushButton::clicked, this, &HistoryWindow::undoSelected);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_lines->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { showState(); });
}

void HistoryWindow::followRecords()
{
    connect(&m_records, &ItemRecordSet::currentChanged, this, [this] { reloadSoon(); });
    connect(&m_records, &ItemRecordSet::reset, this, [this] { reloadSoon(); });
    connect(&m_records, &ItemRecordSet::rowChanged, this, [this] { reloadSoon(); });
    connect(&m_records, &ItemRecordSet::rowInserted, this, [this] { reloadSoon(); });
    connect(&m_records, &ItemRecordSet::rowRemoved, this, [this] { reloadSoon(); });
}

std::optional<qint64> HistoryWindow::currentKey() const
{
    if (!m_records.hasCurrent()) return std::nullopt;
    return m_records.row(m_records.position()).rowid;
}

void HistoryWindow::reloadSoon()
{
    m_reload.start();
}

void HistoryWindow::reload()
{
    // A server still answering another command is asked again a moment later.
    if (m_records.isBusy() || m_records.store().isBusy()) return reloadSoon();
    const QModelIndex selected = m_lines->currentIndex();
    const qint64 selectedId = selected.isValid() ? m_list->entry(selected.row()).id : 0;
    try {
        m_list->setAllItems(m_allItems->isChecked());
        m_list->setFilter(m_filter->text());
        m_list->setItem(currentKey());
        m_list->reload();
    } catch (const AppError &e) {
        m_state->setText(e.description());
        m_undo->setEnabled(false);
        return;
    }
    if (const int row = m_list->rowOf(selectedId); row >= 0) m_lines->setCurrentIndex(m_list->index(row, 0));
    showState();
}

void HistoryWindow::showState()
{
    const bool chosen = m_lines->selectionModel()->hasSelection();
    m_undo->setEnabled(chosen);
    const QString empty = m_list->emptyText();
    m_state->setText(!empty.isEmpty() ? empty
                     : chosen         ? m_list->lineText(m_lines->currentIndex().row())
                                      : QStringLiteral("Choose a change to undo it."));
}

void HistoryWindow::undoSelected()
{
    const QModelIndex selected = m_lines->currentIndex();
    if (!selected.isValid() || !m_lines->selectionModel()->hasSelection()) return;
    const HistoryEntry entry = m_list->entry(selected.row());
    trapped(QStringLiteral("cmdUndo_Click"), objectName(), [&] {
        if (undoEntry(m_records, entry, m_prompts)) reload();
    });
}

void HistoryWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tv
