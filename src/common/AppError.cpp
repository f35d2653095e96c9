#include "AppError.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tv {

namespace {
struct Entry
{
    int number;
    const char *text;
};

// Sorted by number.
constexpr std::array kTable{
    Entry{-2147467259, "Unspecified error"},
    Entry{3, "Return without GoSub"},
    Entry{5, "Invalid procedure call or argument"},
    Entry{6, "Overflow"},
    Entry{7, "Out of memory"},
    Entry{9, "Subscript out of range"},
    Entry{11, "Division by zero"},
    Entry{13, "Type mismatch"},
    Entry{17, "Can't perform requested operation"},
    Entry{28, "Out of stack space"},
    Entry{51, "Internal error"},
    Entry{52, "Bad file name or number"},
    Entry{53, "File not found"},
    Entry{54, "Bad file mode"},
    Entry{55, "File already open"},
    Entry{57, "Device I/O error"},
    Entry{58, "File already exists"},
    Entry{61, "Disk full"},
    Entry{62, "Input past end of file"},
    Entry{67, "Too many files"},
    Entry{68, "Device unavailable"},
    Entry{70, "Permission denied"},
    Entry{71, "Disk not ready"},
    Entry{75, "Path/File access error"},
    Entry{76, "Path not found"},
    Entry{91, "Object variable or With block variable not set"},
    Entry{94, "Invalid use of Null"},
    Entry{321, "Invalid file format"},
    Entry{380, "Invalid property value"},
    Entry{424, "Object required"},
    Entry{438, "Object doesn't support this property or method"},
    Entry{481, "Invalid picture"},
    Entry{482, "Printer error"},
    Entry{521, "Can't open Clipboard"},
    Entry{3021, "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                "requires a current record."},
    Entry{3704, "Operation is not allowed when the object is closed."},
    Entry{32755, "Cancel was selected."},
    Entry{35752, "URL is malformed"},
    Entry{35754, "Unable to connect to remote host"},
    Entry{35756, "Request failed"},
    Entry{35761, "Request timed out"},
};
} // namespace

QString errorDescription(int number)
{
    const auto it =
        std::find_if(kTable.begin(), kTable.end(), [number](const Entry &e) { return e.number == number; });
    if (it == kTable.end()) return QStringLiteral("Application-defined or object-defined error");
    return QString::fromLatin1(it->text);
}

AppError::AppError(int number, const QString &description)
    : m_number(number), m_description(description.isEmpty() ? errorDescription(number) : description)
{
    m_what = QStringLiteral("Error %1 (%2)").arg(m_number).arg(m_description).toUtf8();
}

} // namespace tv
