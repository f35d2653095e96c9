#include "ScriptedPrompts.h"

#include "common/Version.h"

namespace tv::test {

namespace {
// The next scripted answer; a dry script cancels.
std::optional<QString> takeFront(std::deque<std::optional<QString>> &script)
{
    if (script.empty()) return std::nullopt;
    const bool chosen = script.front().has_value();
    const QString text = chosen ? *script.front() : QString();
    script.pop_front();
    if (!chosen) return std::nullopt;
    return text;
}
} // namespace

ScriptedPrompts::ScriptedPrompts()
{
    setPrompts(this);
}

ScriptedPrompts::~ScriptedPrompts()
{
    setPrompts(nullptr);
}

QStringList ScriptedPrompts::texts() const
{
    QStringList list;
    for (const Shown &s : m_shown)
        list << s.text;
    return list;
}

MsgAnswer ScriptedPrompts::message(const QString &text, MsgButtons buttons, MsgIcon icon,
                                   const QString &title)
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
    case MsgButtons::Ok:
        return MsgAnswer::Ok;
    case MsgButtons::YesNo:
        return MsgAnswer::No;
    default:
        return MsgAnswer::Cancel;
    }
}

std::optional<QString> ScriptedPrompts::input(const QString &prompt, const QString &title,
                                              const QString &defaultText)
{
    Shown shown;
    shown.kind = Kind::Input;
    shown.text = prompt;
    shown.title = title.isEmpty() ? appTitle() : title;
    shown.buttons = MsgButtons::OkCancel;
    shown.defaultText = defaultText;
    m_shown.push_back(shown);
    return takeFront(m_inputs);
}

std::optional<QString> ScriptedPrompts::openFile(const FileDialogRequest &request)
{
    Shown shown;
    shown.kind = Kind::OpenFile;
    shown.title = request.title;
    shown.buttons = MsgButtons::OkCancel;
    shown.file = request;
    m_shown.push_back(shown);
    return takeFront(m_files);
}

std::optional<QString> ScriptedPrompts::saveFile(const FileDialogRequest &request)
{
    Shown shown;
    shown.kind = Kind::SaveFile;
    shown.title = request.title;
    shown.buttons = MsgButtons::OkCancel;
    shown.file = request;
    m_shown.push_back(shown);
    return takeFront(m_files);
}

} // namespace tv::test
