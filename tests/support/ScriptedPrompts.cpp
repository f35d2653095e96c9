#include "ScriptedPrompts.h"

#include "common/Version.h"

namespace tv::test {

namespace {
// The next scripted answer; a dry script cancels.
template <typename T> std::optional<T> takeFront(std::deque<std::optional<T>> &script)
{
    if (script.empty()) return std::nullopt;
    std::optional<T> answer = std::move(script.front());
    script.pop_front();
    return answer;
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

std::optional<int> ScriptedPrompts::choose(const QString &prompt, const QStringList &choices,
                                           const QString &title)
{
    Shown shown;
    shown.kind = Kind::Choice;
    shown.text = prompt;
    shown.title = title.isEmpty() ? appTitle() : title;
    shown.buttons = MsgButtons::OkCancel;
    shown.choices = choices;
    m_shown.push_back(shown);
    return takeFront(m_choices);
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
