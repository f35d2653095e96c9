#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace tv {

// Error numbers in the conventions users and support know from the original platform.
namespace Err {
enum : int {
    InvalidCall = 5,
    Overflow = 6,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    DivisionByZero = 11,
    TypeMismatch = 13,
    CantPerformOperation = 17,
    InternalError = 51,
    BadFileName = 52,
    FileNotFound = 53,
    FileAlreadyExists = 58,
    DiskFull = 61,
    PermissionDenied = 70,
    PathFileAccess = 75,
    PathNotFound = 76,
    ObjectNotSet = 91,
    InvalidUseOfNull = 94,
    InvalidFileFormat = 321,
    InvalidPropertyValue = 380,
    InvalidPicture = 481,
    PrinterError = 482,
    CantOpenClipboard = 521,
    NoCurrentRecord = 3021,
    ObjectClosed = 3704,
    DialogCancelled = 32755,
    DatabaseError = -2147467259, // the engine's own text is the description
};
}

// Description of an error number, as the platform words it; "Application-defined or
// object-defined error" for numbers outside the table.
QString errorDescription(int number);

// A failure with a number and a description; what every trapped procedure catches.
class AppError : public std::exception
{
public:
    explicit AppError(int number, const QString &description = QString());

    int number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

// A typed value that does not fit; the description is the message for the user. Every trap shows
// it as a "Data Entry Error" of its own, not as a failure of the procedure that met it.
class EntryRefused : public AppError
{
public:
    explicit EntryRefused(const QString &problem) : AppError(Err::TypeMismatch, problem) {}
};

} // namespace tv
