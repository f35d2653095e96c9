#pragma once

#include "common/Prompts.h"

#include <QList>
#include <QString>
#include <deque>

namespace tv::test {

// Stands in for every message box and dialog: records what was shown and answers from a script.
// Installs itself as the prompts in use for its lifetime.
class ScriptedPrompts : public Prompts
{
public:
    enum class Kind { Message, Input, Choice, OpenFile, SaveFile };
    struct Shown
    {
        Kind kind = Kind::Message;
        QString text;  // message or input prompt
        QString title; // as the user sees it: the application's title when none was given
        MsgIcon icon = MsgIcon::None;
        MsgButtons buttons = MsgButtons::Ok;
        FileDialogRequest file;
        QString defaultText;
        QStringList choices;
    };

    ScriptedPrompts();
    ~ScriptedPrompts() override;

    // Answers used in order; when the script runs dry a message gets its safest answer (OK,
    // No, Cancel) and an input or file dialog is cancelled.
    void answer(MsgAnswer a) { m_answers.push_back(a); }
    void inputAnswer(std::optional<QString> text) { m_inputs.push_back(std::move(text)); }
    void choiceAnswer(std::optional<int> index) { m_choices.push_back(index); }
    void fileAnswer(std::optional<QString> path) { m_files.push_back(std::move(path)); }

    const QList<Shown> &shown() const { return m_shown; }
    QStringList texts() const;
    const Shown &last() const { return m_shown.constLast(); }
    void clear() { m_shown.clear(); }

    MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon icon, const QString &title) override;
    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &defaultText) override;
    std::optional<int> choose(const QString &prompt, const QStringList &choices,
                              const QString &title) override;
    std::optional<QString> openFile(const FileDialogRequest &request) override;
    std::optional<QString> saveFile(const FileDialogRequest &request) override;

private:
    QList<Shown> m_shown;
    std::deque<MsgAnswer> m_answers;
    std::deque<std::optional<QString>> m_inputs;
    std::deque<std::optional<QString>> m_files;
    std::deque<std::optional<int>> m_choices;
};

} // namespace tv::test
