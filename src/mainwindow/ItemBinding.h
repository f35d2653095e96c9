#pragma once

#include "common/AppError.h"
#include "items/ItemRecordSet.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <functional>

class QComboBox;
class QLineEdit;
class QWidget;

namespace tv {

// Ties the main window's fields and combo boxes to the current row of the item record set.
// Each widget shows its column by the column's display format whenever the row changes; text
// put into a widget (typed or set by the program) is pending until it is taken into the row:
// when the widget is left, and before every move, update and save of the record set.
class ItemBinding : public QObject
{
    Q_OBJECT
public:
    // Turns a widget's text into the value for its column; throws AppError to refuse it.
    using Parser = std::function<QVariant(Column column, const QString &text)>;
    // Reports a refusal that happened when a widget was left.
    using ErrorReporter = std::function<void(QWidget *widget, const AppError &error)>;

    explicit ItemBinding(ItemRecordSet &records, QObject *parent = nullptr);
    ~ItemBinding() override;

    // The column of txtfield element 3..10.
    static Column fieldColumn(int index);
    static bool isFieldIndex(int index) { return index >= 3 && index <= 10; }

    void bindField(int index, QLineEdit *edit);
    // An editable combo box is made editable before it is bound.
    void bindCombo(Column column, QComboBox *combo);

    // A row's value of a column as its bound widget shows it ("$1,234.00", "3/7/2024", "12").
    static QString displayText(const ItemRow &row, Column column);
    // The default reading of typed text: empty is NULL for numbers, money and dates; money may
    // carry "$" and commas. Throws FieldRefused (error 13, with a message for the user) for text
    // that does not fit its column.
    static QVariant parseText(Column column, const QString &text);
    void setParser(Parser parser) { m_parser = std::move(parser); }
    void setErrorReporter(ErrorReporter reporter) { m_reporter = std::move(reporter); }
    // Runs after a widget's value went into the row, for values of other columns that follow it.
    using Follower = std::function<void(Column column)>;
    void setFollower(Follower follower) { m_follower = std::move(follower); }

    // Takes a widget's pending text into the current row. Returns whether a value was taken in;
    // throws AppError (text refused, or the row cannot take it) and then keeps the text pending.
    bool commit(QWidget *widget);
    // Every pending widget, in the order they were bound.
    bool commitAll();
    bool isPending(const QWidget *widget) const;
    bool anyPending() const;

    // Shows the current row in every widget and drops pending text.
    void refresh();
    // The same for one widget.
    void refresh(QWidget *widget);

signals:
    // A bound widget lost the focus and its text (if any was pending) is in the row.
    void widgetLeft(QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Bound
    {
        QPointer<QWidget> widget;
        QLineEdit *edit = nullptr;
        QComboBox *combo = nullptr;
        Column column;
        bool pending = false;
    };
    Bound *find(const QObject *widget);
    const Bound *find(const QObject *widget) const;
    void show(Bound &b);
    void showRow(bool keepPending);
    void addBound(Bound b);
    QString text(const Bound &b) const;

    ItemRecordSet &m_records;
    std::vector<Bound> m_bound;
    Parser m_parser;
    ErrorReporter m_reporter;
    Follower m_follower;
    bool m_showing = false;
};

} // namespace tv
