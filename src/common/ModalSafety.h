#pragma once

class QDialog;
class QObject;
class QWidget;

namespace tv {

// Message boxes and dialogs belong to the program's one lasting window, never to whichever window
// happens to be active: that one may be closed, or even deleted, while its box is open.
void setPromptOwner(QWidget *owner);
QWidget *promptOwner(); // nullptr until set, or once the owner is gone

// Marks a message box or dialog running its own event loop.
class ModalScope
{
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope &) = delete;
    ModalScope &operator=(const ModalScope &) = delete;
};
bool modalRunning();

// A window that unloads itself goes at once when no box or dialog is open; otherwise only once
// the outermost one has returned, so that a procedure of the window still waiting on its own box
// never runs on after the window was deleted.
void unloadWhenIdle(QObject *window);

// QDialog::exec under a ModalScope; Rejected when the dialog was deleted while it ran.
int execDialog(QDialog *dialog);

} // namespace tv
