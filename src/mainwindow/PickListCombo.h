#pragma once

#include <QComboBox>

namespace tv {

// A combo box that says when its list is about to drop down, so that the list can be filled
// afresh from the table each time.
class PickListCombo : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        emit dropDown();
        QComboBox::showPopup();
    }

signals:
    void dropDown();
};

} // namespace tv
