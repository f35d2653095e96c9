#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tv {

enum class MsgIcon { None, Question, Stop, Exclamation, Information };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No, Retry };

// A file dialog as the windows ask for it. The filter is written as pairs of description and
// patterns joined by "|", e.g. "Bitmaps (*.bmp)|*.bmp|All files|*.*".
struct FileDialogRequest
{
    QString title;
    QString filter;
    QString initialDir;
    QString fileName;
    bool overwritePrompt = false;
    QString defaultExt; // empty: the typed name is kept as it is
};

// Every message box, input box and file dialog goes through here, so that window logic can run
// under test with a scripted stand-in that records what the user would have seen.
class Prompts
{
public:
    virtual ~Prompts() = default;

    // An empty title shows the application's title.
    virtual MsgAnswer message(const QString &text, MsgButtons buttons = MsgButtons::Ok,
                              MsgIcon icon = MsgIcon::None, const QString &title = QString()) = 0;
    // nullopt when the user cancels.
    virtual std::optional<QString> input(const QString &prompt, const QString &title = QString(),
                                         const QString &defaultText = QString()) = 0;
    // One of the choices, by its index; nullopt when the user cancels.
    virtual std::optional<int> choose(const QString &prompt, const QStringList &choices,
                                      const QString &title = QString()) = 0;
    virtual std::optional<QString> openFile(const FileDialogRequest &request) = 0;
    virtual std::optional<QString> saveFile(const FileDialogRequest &request) = 0;
};

// The prompts in use: the Qt ones unless a test has put its own in place.
Prompts &prompts();
// Takes no ownership; nullptr goes back to the Qt prompts.
void setPrompts(Prompts *p);

// "Bitmaps (*.bmp)|*.bmp" -> "Bitmaps (*.bmp) (*.bmp)" as Qt's dialogs want it.
QString toQtFilter(const QString &pipeFilter);

} // namespace tv
