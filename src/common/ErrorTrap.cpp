#include "ErrorTrap.h"

#include "Prompts.h"

namespace tv {

ErrorTrap::ErrorTrap(QString procedure, QString owner, Owner kind)
    : m_procedure(std::move(procedure)), m_owner(std::move(owner)), m_kind(kind)
{
}

QString ErrorTrap::message(int number, const QString &description, int line, const QString &procedure,
                           const QString &owner, Owner kind)
{
    QString text = QStringLiteral("Error %1 (%2)").arg(number).arg(description);
    if (line > 0)
        text += QStringLiteral(" at line %1.").arg(line);
    else
        text += QLatin1Char('.');
    text += QStringLiteral(" In procedure ") + procedure;
    text += kind == Owner::Form ? QStringLiteral(" of Form ") : QStringLiteral(" of Module ");
    text += owner;
    return text;
}

void ErrorTrap::report(const AppError &error) const
{
    report(error, prompts());
}

void ErrorTrap::report(const AppError &error, Prompts &p) const
{
    if (dynamic_cast<const EntryRefused *>(&error)) {
        p.message(error.description(), MsgButtons::Ok, MsgIcon::Exclamation,
                  QStringLiteral("Data Entry Error"));
        return;
    }
    p.message(message(error.number(), error.description(), m_line, m_procedure, m_owner, m_kind),
              MsgButtons::Ok, MsgIcon::None);
}

} // namespace tv
