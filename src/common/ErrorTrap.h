#pragma once

#include "AppError.h"

#include <QString>
#include <exception>
#include <new>
#include <utility>

namespace tv {

class Prompts;

// The standard error trap: one message box, OK only, no icon, the application's title.
// Usage, with statement numbers:
//     ErrorTrap trap(QStringLiteral("View"), QStringLiteral("frmMain"));
//     trap.run([&] { trap.line(1); ...; trap.line(6); load(); });
// Procedures without statement numbers never call line().
class ErrorTrap
{
public:
    enum class Owner { Form, Module };

    ErrorTrap(QString procedure, QString owner, Owner kind = Owner::Form);

    // Marks the statement that runs next; 0 means "no statement number".
    void line(int number) { m_line = number; }
    int currentLine() const { return m_line; }

    // "Error N (description) at line L. In procedure P of Form F"
    static QString message(int number, const QString &description, int line, const QString &procedure,
                           const QString &owner, Owner kind = Owner::Form);

    // Shows the message for a failure caught in this procedure.
    void report(const AppError &error) const;
    void report(const AppError &error, Prompts &prompts) const;

    // Runs the body; on failure reports it and returns false. The rest of the body is skipped.
    template <class F> bool run(F &&body)
    {
        try {
            std::forward<F>(body)();
            return true;
        } catch (const AppError &e) {
            report(e);
        } catch (const std::bad_alloc &) {
            report(AppError(Err::OutOfMemory));
        } catch (const std::exception &e) {
            report(AppError(Err::InternalError, QString::fromUtf8(e.what())));
        }
        return false;
    }

private:
    QString m_procedure;
    QString m_owner;
    Owner m_kind;
    int m_line = 0;
};

// Shorthand for procedures without statement numbers.
template <class F> bool trapped(const QString &procedure, const QString &form, F &&body)
{
    ErrorTrap trap(procedure, form);
    return trap.run(std::forward<F>(body));
}

} // namespace tv
