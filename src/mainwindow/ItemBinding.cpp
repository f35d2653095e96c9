#include "ItemBinding.h"

#include "items/FieldRules.h"

#include "common/DateText.h"
#include "common/ErrorTrap.h"
#include "common/Money.h"

#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <limits>

namespace tv {

ItemBinding::ItemBinding(ItemRecordSet &records, QObject *parent)
    : QObject(parent), m_records(records), m_parser(&ItemBinding::parseText)
{
    m_reporter = [](QWidget *widget, const AppError &error) {
        ErrorTrap trap(widget->objectName() + QStringLiteral("_LostFocus"), QStringLiteral("frmMain"));
        trap.report(error);
    };
    connect(&records, &ItemRecordSet::currentChanged, this, [this] { showRow(false); });
    connect(&records, &ItemRecordSet::reset, this, [this](bool sameCurrent) { showRow(sameCurrent); });
    connect(&records, &ItemRecordSet::rowChanged, this, [this](int index) {
        if (index == m_records.position()) showRow(true);
    });
    m_records.setPendingEditsHook([this] { commitAll(); });
}

ItemBinding::~ItemBinding()
{
    m_records.setPendingEditsHook({});
}

Column ItemBinding::fieldColumn(int index)
{
    const ColumnInfo *c = fieldColumnInfo(index);
    if (!c) throw AppError(Err::SubscriptOutOfRange);
    return c->column;
}

void ItemBinding::addBound(Bound b)
{
    b.widget->installEventFilter(this);
    m_bound.push_back(b);
    show(m_bound.back());
}

void ItemBinding::bindField(int index, QLineEdit *edit)
{
    Bound b;
    b.widget = edit;
    b.edit = edit;
    b.column = fieldColumn(index);
    edit->setMaxLength(std::numeric_limits<int>::max()); // stored texts have no length limit
    connect(edit, &QLineEdit::textChanged, this, [this, edit] {
        if (Bound *bound = find(edit); bound && !m_showing) bound->pending = true;
    });
    addBound(b);
}

void ItemBinding::bindCombo(Column column, QComboBox *combo)
{
    Bound b;
    b.widget = combo;
    b.combo = combo;
    b.column = column;
    if (combo->lineEdit()) combo->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
    // Only what the user types or picks: the list dropping down and closing again may change
    // the shown text by itself (a differently cased match), and that must not reach the row.
    auto userChanged = [this, combo] {
        if (Bound *bound = find(combo); bound && !m_showing) bound->pending = true;
    };
    if (combo->lineEdit()) connect(combo->lineEdit(), &QLineEdit::textEdited, this, userChanged);
    // Leaving the box would otherwise re-case the shown text to a matching list entry ("ACME"
    // to "Acme") and report that as a choice.
    if (combo->completer()) combo->completer()->setCaseSensitivity(Qt::CaseSensitive);
    connect(combo, &QComboBox::textActivated, this, userChanged);
    addBound(b);
}

ItemBinding::Bound *ItemBinding::find(const QObject *widget)
{
    for (Bound &b : m_bound)
        if (b.widget == widget) return &b;
    return nullptr;
}

const ItemBinding::Bound *ItemBinding::find(const QObject *widget) const
{
    for (const Bound &b : m_bound)
        if (b.widget == widget) return &b;
    return nullptr;
}

QString ItemBinding::displayText(const ItemRow &row, Column column)
{
    if (row.isKept(column)) return row.keptText(column);
    switch (columnInfo(column).type) {
    case ColumnType::Count:
        return *row.countOf(column) ? QString::number(**row.countOf(column)) : QString();
    case ColumnType::Money: {
        const auto &m = *row.moneyOf(column);
        return m ? m->toDollars() : QString();
    }
    case ColumnType::Date:
        return row.invDate.isNull() ? QString() : storedDateToDisplay(row.invDate);
    case ColumnType::Text:
        break;
    }
    return *row.textOf(column);
}

QVariant ItemBinding::parseText(Column column, const QString &text)
{
    FieldValue v = parseFieldText(column, text);
    if (!v.ok()) throw FieldRefused(column, v.problem);
    return v.value;
}

QString ItemBinding::text(const Bound &b) const
{
    return b.edit ? b.edit->text() : b.combo->currentText();
}

void ItemBinding::show(Bound &b)
{
    if (!b.widget) return;
    const QString value =
        m_records.hasCurrent() ? displayText(m_records.row(m_records.position()), b.column) : QString();
    m_showing = true;
    if (b.edit) {
        if (b.edit->text() != value) b.edit->setText(value);
        b.edit->setCursorPosition(0);
    } else if (b.combo->currentText() != value) {
        b.combo->setEditText(value);
    }
    const bool kept = m_records.hasCurrent() && m_records.row(m_records.position()).isKept(b.column);
    b.widget->setToolTip(kept
                             ? tr("This value cannot be shown as it is stored. It stays in the file as it is "
                                  "unless you replace it.")
                             : QString());
    m_showing = false;
    b.pending = false;
}

void ItemBinding::showRow(bool keepPending)
{
    for (Bound &b : m_bound)
        if (!(keepPending && b.pending)) show(b);
}

void ItemBinding::refresh()
{
    showRow(false);
}

void ItemBinding::refresh(QWidget *widget)
{
    if (Bound *b = find(widget)) show(*b);
}

bool ItemBinding::commit(QWidget *widget)
{
    Bound *b = find(widget);
    if (!b || !b->pending || !b->widget || !m_records.hasCurrent()) return false;
    const QVariant value = m_parser(b->column, text(*b));
    const Column column = b->column;
    m_records.setValue(column, value);
    show(*b);
    if (m_follower) m_follower(column);
    return true;
}

bool ItemBinding::commitAll()
{
    bool any = false;
    for (size_t i = 0; i < m_bound.size(); ++i)
        if (m_bound[i].pending) any = commit(m_bound[i].widget) || any;
    return any;
}

bool ItemBinding::isPending(const QWidget *widget) const
{
    const Bound *b = find(widget);
    return b && b->pending;
}

bool ItemBinding::anyPending() const
{
    for (const Bound &b : m_bound)
        if (b.pending) return true;
    return false;
}

bool ItemBinding::eventFilter(QObject *watched, QEvent *event)
{
    // A message box or another window taking the focus is not leaving the field: the text is
    // taken in before the next command anyway, and a refusal is then reported once, by it.
    const auto reason = event->type() == QEvent::FocusOut ? static_cast<QFocusEvent *>(event)->reason()
                                                          : Qt::OtherFocusReason;
    if (event->type() == QEvent::FocusOut && reason != Qt::PopupFocusReason &&
        reason != Qt::ActiveWindowFocusReason) {
        if (Bound *b = find(watched); b && b->widget) {
            QWidget *widget = b->widget;
            try {
                commit(widget);
                emit widgetLeft(widget);
            } catch (const AppError &e) {
                m_reporter(widget, e);
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tv
