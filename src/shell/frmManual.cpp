#include "frmManual.h"

#include "ShellResources.h"
#include "common/Version.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tv {

frmManual::frmManual(QWidget *parent, const QString &database) : QDialog(parent)
{
    initShellResources();
    setObjectName(QStringLiteral("frmManual"));
    setModal(false);
    setWindowTitle(appTitle() + QStringLiteral(" Manual"));

    RichTextBox1 = new QTextBrowser(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setAccessibleName(tr("Manual text"));
    RichTextBox1->setOpenExternalLinks(true);
    RichTextBox1->setSource(QUrl(QStringLiteral("qrc:/tallyvane/manual.html")));

    cmdClose = new QPushButton(tr("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setAccessibleName(tr("Close"));
    cmdClose->setDefault(true); // Enter closes the manual unless a link has the focus
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    auto *main = new QVBoxLayout(this);
    if (!database.isEmpty()) {
        const QString text = QStringLiteral("The items are kept in %1.").arg(database);
        lblDatabase = new QLabel(text, this);
        lblDatabase->setObjectName(QStringLiteral("lblDatabase"));
        lblDatabase->setTextFormat(Qt::PlainText);
        lblDatabase->setWordWrap(true);
        lblDatabase->setAccessibleName(text);
        main->addWidget(lblDatabase);
    }
    main->addWidget(RichTextBox1, 1);
    main->addLayout(buttons);

    RichTextBox1->setFocus();
    resize(860, 720);
}

} // namespace tv
