#pragma once

#include "items/ItemRecordSet.h"
#include "items/PickLists.h"

#include <QObject>
#include <QPointer>
#include <array>
#include <functional>

class QComboBox;
class QLineEdit;
class QWidget;

namespace tv {

class ItemBinding;

// The main window's item commands and field rules: Add New Entry, Save Entry, Delete Entry, Add
// Picture, Delete Picture, Find Entry, the three pick lists, the item number field's focus
// rule and the unit cost field's key and leave rules. Works on the widgets it is given, so it
// runs under test without the main window.
class ItemEditor : public QObject
{
    Q_OBJECT
public:
    struct Widgets
    {
        std::array<QLineEdit *, 11> txtfield{}; // elements 3..10 used
        QComboBox *cboDate = nullptr;
        QComboBox *cboVendor = nullptr;
        QComboBox *cboInvNum = nullptr;
    };
    struct Hooks
    {
        std::function<void()> view;                        // the main window's View
        std::function<void(bool lastRowDeleted)> setTitle; // the record-count title
        std::function<QString()> dialogFolder;             // the file dialog's starting folder
    };

    ItemEditor(ItemRecordSet &records, ItemBinding &binding, const Widgets &widgets, Hooks hooks,
               QObject *parent = nullptr);

    void addItem();
    void saveItem();
    void deleteItem();
    void addPicture();    // Add Picture
    void deletePicture(); // Delete Picture
    void findItem();
    void findNext();
    void dropDown(PickList list); // cboDate_DropDown, cboInvNum_DropDown, cboVendor_DropDown
    void fieldLeft(int index);

    static QString pictureFilter()
    {
        return QStringLiteral("All Image Files|*.jpg;*.jpeg;*.gif;*.bmp;*.ico;*.wmf");
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Takes every typed value into the row; a value that does not fit its column is refused
    // with a clear message, its field gets the focus, and false comes back.
    bool takeTypedValues();
    void showRefusal(Column column, const QString &problem);
    QWidget *widgetFor(Column column) const;
    // The total value follows the count and the cost of the current row, in the row and on screen.
    void followTotal();
    QLineEdit *field(int index) const { return m_w.txtfield[static_cast<size_t>(index)]; }

    ItemRecordSet &m_records;
    ItemBinding &m_binding;
    Widgets m_w;
    Hooks m_hooks;
    Qt::FocusReason m_lastLeaveReason = Qt::OtherFocusReason;
};

} // namespace tv
