#include "Accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace tv {

namespace {

class AccessibleComboBox : public QAccessibleWidget
{
public:
    explicit AccessibleComboBox(QWidget *w) : QAccessibleWidget(w, QAccessible::ComboBox) {}

    QComboBox *comboBox() const { return static_cast<QComboBox *>(object()); }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Value:
            return comboBox()->isEditable() ? comboBox()->lineEdit()->text() : comboBox()->currentText();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    // The drop-down list, then the text field of an editable combo box.
    int childCount() const override { return comboBox()->isEditable() ? 2 : 1; }
    QAccessibleInterface *child(int index) const override
    {
        if (index == 0) return QAccessible::queryAccessibleInterface(comboBox()->view());
        if (index == 1 && comboBox()->isEditable())
            return QAccessible::queryAccessibleInterface(comboBox()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child) return -1;
        if (child->object() == comboBox()->view()) return 0;
        if (comboBox()->isEditable() && child->object() == comboBox()->lineEdit()) return 1;
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        QLineEdit *edit = comboBox()->lineEdit();
        if (edit && QRect(edit->mapToGlobal(QPoint(0, 0)), edit->size()).contains(x, y)) return child(1);
        return nullptr;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString &actionName) override
    {
        if (actionName != showMenuAction() && actionName != pressAction()) return;
        if (comboBox()->view()->isVisible())
            comboBox()->hidePopup();
        else
            comboBox()->showPopup();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
};

QAccessibleInterface *comboBoxFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("QComboBox") && object && object->isWidgetType())
        return new AccessibleComboBox(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

void installAccessibleComboBoxes()
{
    // Factories installed later are asked first, so this one wins over Qt's own.
    QAccessible::installFactory(comboBoxFactory);
}

} // namespace tv
