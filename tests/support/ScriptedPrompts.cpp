#include "ScriptedPrompts.h"

#include "common/Version.h"

namespace tv::test {

ScriptedPrompts::ScriptedPrompts() { setPrompts(this); }

ScriptedPrompts::~ScriptedPrompts() { setPrompts(nullptr); }

QStringList ScriptedPrompts::texts() const
{
    QStringList list;
    for (const Shown &s : m_shown)
        list << s.text;
    return list;
}

MsgAnswer ScriptedPrompts::message(const QString &text, MsgButtons buttons, MsgIcon icon, const QString &title)
{
    Shown shown;
    shown.kind = Kind::Message;
    shown.text = text;
    shown.title = title.isEmpty() ? appTitle() : title;
    shown.icon = icon;
    shown.buttons = buttons;
    m_shown.push_back(shown);
    if (!m_answers.empty()) {
        const MsgAnswer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    switch (buttons) {
    case MsgButtons::Ok: return MsgAnswer::Ok;
    case MsgButtons::YesNo: return MsgAnswer::No;
    default: return MsgAnswer::Cancel;
    }
}

std::optional<QString> ScriptedPrompts::input(const QString &prompt, const QString &title, const QString &defaultText)
{
    Shown shown;
    shown.kind = Kind::Input;
    shown.text = prompt;
    shown.title = title.isEmpty() ? appTitle() : title;
    shown.buttons = MsgButtons::OkCancel;
    shown.defaultText = defaultText;
    m_shown.push_back(shown);
    if (m_inputs.empty())
        return std::nullopt;
    auto a = m_inputs.front();
    m_inputs.pop_front();
    return a;
}

std::optional<QString> ScriptedPrompts::openFile(const FileDialogRequest &request)
{
    Shown shown;
    shown.kind = Kind::OpenFile;
    shown.title = request.title;
    shown.buttons = MsgButtons::OkCancel;
    shown.file = request;
    m_shown.push_back(shown);
    if (m_files.empty())
        return std::nullopt;
    auto a = m_files.front();
    m_files.pop_front();
    return a;
}

std::optional<QString> ScriptedPrompts::saveFile(const FileDialogRequest &request)
{
    Shown shown;
    shown.kind = Kind::SaveFile;
    shown.title = request.title;
    shown.buttons = MsgButtons::OkCancel;
    shown.file = request;
    m_shown.push_back(shown);
    if (m_files.empty())
        return std::nullopt;
    auto a = m_files.front();
    m_files.pop_front();
    return a;
}

} // namespace tv::test
