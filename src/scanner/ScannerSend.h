#pragma once

#include "items/ItemRecordSet.h"

#include <QString>
#include <functional>

class QLineEdit;

namespace tv {

struct SendOutcome
{
    enum class Kind { Nothing, Found, Added };
    Kind kind = Kind::Nothing;
    int selStart = 0;  // Found: first matching character of the item number, from 0
    int selLength = 0; // Found: length of the code searched for
};

// Hands a scanned code to the items: the code is the box text without surrounding blanks; the
// record set moves to its first row and on to the first item whose number contains the code
// (without regard to case), or else gets a new row whose item number is the box text as it
// stands, written to the file at once. Blanks only: nothing happens. Throws AppError; pending
// window events run now and then during the search through `letEventsRun`.
SendOutcome sendBarcode(ItemRecordSet &records, const QString &boxText,
                        const std::function<void()> &letEventsRun = {});

// The main window's item number field after a send: the matching characters selected, or the new
// item's number; then the field gets the focus, whose rule shows the row's picture.
void showInItemField(QLineEdit *field, const SendOutcome &outcome, const QString &boxText);

} // namespace tv
