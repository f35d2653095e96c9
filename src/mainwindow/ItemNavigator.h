#pragma once

#include "items/ItemRecordSet.h"

#include <functional>

namespace tv {

// "RecordSet is Empty", what every item command says on an empty table.
void emptyMessage();

// The main window's four move buttons and its grid click: the messages at the edges of a small
// table, the moves, and the picture refresh after each move. Failures go through the standard
// error trap under the buttons' procedure names.
class ItemNavigator
{
public:
    // view refreshes the current item's picture (the main window's View).
    ItemNavigator(ItemRecordSet &records, std::function<void()> view);

    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    // The grid has already made the clicked line current.
    void gridRowClicked();

private:
    // Shows the message for an empty or one-row table; true when it did.
    bool edgeMessage(const QString &singleRowText);

    ItemRecordSet &m_records;
    std::function<void()> m_view;
};

} // namespace tv
