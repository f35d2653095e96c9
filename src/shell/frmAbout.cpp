#include "frmAbout.h"

#include "ShellResources.h"
#include "SystemInfoTool.h"
#include "common/Prompts.h"
#include "common/Version.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace tv {

namespace {

QLineEdit *contactField(QWidget *parent, const char *name, const QString &text, const QString &accessible)
{
    auto *field = new QLineEdit(text, parent);
    field->setObjectName(QLatin1String(name));
    field->setReadOnly(true);
    field->setFrame(false);
    field->setAccessibleName(accessible);
    field->setCursorPosition(0);
    QPalette pal = field->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    field->setPalette(pal);
    return field;
}

} // namespace

frmAbout::frmAbout(QWidget *parent, const QString &database) : QDialog(parent)
{
    initShellResources();
    setObjectName(QStringLiteral("frmAbout"));
    setModal(false);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/tallyvane/aboutlogo.jpg")));
    Image1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    Image1->setAccessibleName(tr("Tallyvane logo"));

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 2);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    QFont versionFont = lblVersion->font();
    versionFont.setPointSizeF(versionFont.pointSizeF() * 1.2);
    lblVersion->setFont(versionFont);

    auto *tagline = new QLabel(tr("Inventory tracking for the small business"), this);
    tagline->setObjectName(QStringLiteral("lblTagline"));

    Text1 = contactField(this, "Text1", QStringLiteral("Tallyvane Software"), tr("Maker"));
    Text2 = contactField(this, "Text2", QStringLiteral("Web: www.tallyvane.com"), tr("Web site"));
    Text3 = contactField(this, "Text3", QStringLiteral("Email: support@tallyvane.com"), tr("Email address"));
    Text4 = contactField(this, "Text4", QStringLiteral("Phone: (555) 010-4477"), tr("Telephone"));
    Text5 = contactField(this, "Text5", QStringLiteral("Support hours: Monday to Friday, 9 am to 5 pm"),
                         tr("Support hours"));

    RichTextBox1 = new QTextBrowser(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setOpenLinks(false);
    RichTextBox1->setAccessibleName(tr("About the program"));
    RichTextBox1->setHtml(
        QStringLiteral(
            "<p>Tallyvane keeps the stock of your business in one file on this computer: what you have, "
            "where it came from and what it is worth.</p>"
            "<p>When you write to us, please tell us the version shown above and what you were doing "
            "when the problem happened. The <b>System Info...</b> button opens your computer's system "
            "information program, which tells you the details of your machine.</p>"
            "<p>Copyright &copy; 2026 Tallyvane Software. All rights reserved.</p>") +
        (database.isEmpty()
             ? QString()
             : QStringLiteral("<p>The items are kept in %1.</p>").arg(database.toHtmlEscaped())));
    RichTextBox1->setMinimumHeight(120);

    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAccessibleName(tr("OK"));
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);
    cmdSysInfo->setAccessibleName(tr("System Info"));

    auto *heading = new QVBoxLayout;
    heading->setSpacing(2);
    heading->addWidget(lblTitle);
    heading->addWidget(lblVersion);
    heading->addWidget(tagline);
    heading->addSpacing(12);
    for (QLineEdit *t : {Text1, Text2, Text3, Text4, Text5})
        heading->addWidget(t);
    heading->addStretch(1);

    auto *top = new QHBoxLayout;
    top->setSpacing(18);
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(heading, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);

    auto *main = new QVBoxLayout(this);
    main->setContentsMargins(18, 18, 18, 14);
    main->addLayout(top);
    main->addWidget(RichTextBox1, 1);
    main->addLayout(buttons);

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Text4);
    setTabOrder(Text4, Text5);
    setTabOrder(Text5, RichTextBox1);
    setTabOrder(RichTextBox1, cmdOK);
    setTabOrder(cmdOK, cmdSysInfo);

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    Form_Load();
    resize(560, 400);
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + appTitle());
    lblVersion->setText(QStringLiteral("Version ") + versionText());
    lblTitle->setText(appTitle());
    cmdOK->setFocus();
}

void frmAbout::cmdOK_Click()
{
    close();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void frmAbout::StartSysInfo()
{
    bool started = false;
    try {
        started = launchSystemInfoTool();
    } catch (...) {
        started = false;
    }
    if (!started)
        prompts().message(QStringLiteral("System Information Is Unavailable At This Time"), MsgButtons::Ok);
}

} // namespace tv
