#include "ModalSafety.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <utility>

namespace tv {

namespace {
QPointer<QWidget> s_owner;
int s_depth = 0;
QList<QPointer<QObject>> s_unloads;
} // namespace

void setPromptOwner(QWidget *owner)
{
    s_owner = owner;
}

QWidget *promptOwner()
{
    return s_owner;
}

ModalScope::ModalScope()
{
    ++s_depth;
}

ModalScope::~ModalScope()
{
    if (--s_depth > 0) return;
    const auto unloads = std::exchange(s_unloads, {});
    for (const QPointer<QObject> &window : unloads)
        if (window) window->deleteLater();
}

bool modalRunning()
{
    return s_depth > 0;
}

void unloadWhenIdle(QObject *window)
{
    if (!window) return;
    if (s_depth == 0)
        window->deleteLater();
    else if (!s_unloads.contains(window))
        s_unloads.append(window);
}

int execDialog(QDialog *dialog)
{
    ModalScope scope;
    const QPointer<QDialog> guard(dialog);
    const int result = dialog->exec();
    return guard ? result : QDialog::Rejected;
}

} // namespace tv
