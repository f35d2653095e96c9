#pragma once

#include "common/Prompts.h"

namespace tv::bench {

// Answers every box at once with OK and every question with nothing: a benchmark has nobody at
// the keyboard.
class SilentPrompts : public Prompts
{
public:
    MsgAnswer message(const QString &, MsgButtons, MsgIcon, const QString &) override
    {
        return MsgAnswer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return {}; }
    std::optional<int> choose(const QString &, const QStringList &, const QString &) override { return {}; }
    std::optional<QString> openFile(const FileDialogRequest &) override { return {}; }
    std::optional<QString> saveFile(const FileDialogRequest &) override { return {}; }
};

} // namespace tv::bench
