#pragma once

#include "Prompts.h"

namespace tv {

// The real message boxes and dialogs, owned by the prompt owner (ModalSafety.h).
class QtPrompts : public Prompts
{
public:
    MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon icon, const QString &title) override;
    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &defaultText) override;
    std::optional<int> choose(const QString &prompt, const QStringList &choices,
                              const QString &title) override;
    std::optional<QString> openFile(const FileDialogRequest &request) override;
    std::optional<QString> saveFile(const FileDialogRequest &request) override;
};

} // namespace tv
