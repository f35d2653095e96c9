#include "QtPrompts.h"

#include "ModalSafety.h"
#include "Version.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>

namespace tv {

namespace {
QString titleOrApp(const QString &title)
{
    return title.isEmpty() ? appTitle() : title;
}

// What the box's icon tells a sighted user, in words for a screen reader.
QString iconWords(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Question:
        return QStringLiteral("Question");
    case MsgIcon::Stop:
        return QStringLiteral("Error");
    case MsgIcon::Exclamation:
        return QStringLiteral("Warning");
    case MsgIcon::Information:
        return QStringLiteral("Information");
    case MsgIcon::None:
        break;
    }
    return QString();
}
} // namespace

MsgAnswer QtPrompts::message(const QString &text, MsgButtons buttons, MsgIcon icon, const QString &title)
{
    // On the heap and owned by the lasting window: a stack box whose parent is deleted while it
    // runs would be freed twice.
    auto *owned = new QMessageBox(promptOwner());
    const QPointer<QMessageBox> guard(owned);
    QMessageBox &box = *owned;
    box.setWindowTitle(titleOrApp(title));
    box.setText(text);
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MsgButtons::RetryCancel:
        box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        break;
    }
    box.setAccessibleName(titleOrApp(title));
    box.setAccessibleDescription(text);
    for (QLabel *label : box.findChildren<QLabel *>())
        if (!label->pixmap().isNull()) label->setAccessibleName(iconWords(icon));
    const int clicked = execDialog(owned);
    delete guard.data();
    switch (clicked) {
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::Retry:
        return MsgAnswer::Retry;
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    default:
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
    }
}

std::optional<QString> QtPrompts::input(const QString &prompt, const QString &title,
                                        const QString &defaultText)
{
    bool ok = false;
    ModalScope scope;
    const QString text =
        QInputDialog::getText(promptOwner(), titleOrApp(title), prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok) return std::nullopt;
    return text;
}

std::optional<int> QtPrompts::choose(const QString &prompt, const QStringList &choices, const QString &title)
{
    bool ok = false;
    ModalScope scope;
    const QString picked =
        QInputDialog::getItem(promptOwner(), titleOrApp(title), prompt, choices, 0, false, &ok);
    if (!ok) return std::nullopt;
    const qsizetype index = choices.indexOf(picked);
    return index < 0 ? std::nullopt : std::optional<int>(static_cast<int>(index));
}

namespace {
std::optional<QString> runFileDialog(const FileDialogRequest &r, QFileDialog::AcceptMode mode)
{
    const QPointer<QFileDialog> guard(
        new QFileDialog(promptOwner(), r.title, r.initialDir, toQtFilter(r.filter)));
    QFileDialog &dialog = *guard;
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (mode == QFileDialog::AcceptSave && !r.overwritePrompt)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!r.defaultExt.isEmpty()) dialog.setDefaultSuffix(r.defaultExt);
    if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
    const bool accepted = execDialog(guard) == QDialog::Accepted;
    const QStringList files = accepted && guard ? guard->selectedFiles() : QStringList();
    delete guard.data();
    if (files.isEmpty()) return std::nullopt;
    return files.constFirst();
}
} // namespace

std::optional<QString> QtPrompts::openFile(const FileDialogRequest &request)
{
    return runFileDialog(request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtPrompts::saveFile(const FileDialogRequest &request)
{
    return runFileDialog(request, QFileDialog::AcceptSave);
}

} // namespace tv
