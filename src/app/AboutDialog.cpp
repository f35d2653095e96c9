#include "app/AboutDialog.h"

#include "app/AppResources.h"
#include "app/SystemInfoTool.h"
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

AboutDialog::AboutDialog(QWidget *parent, const QString &database) : QDialog(parent)
{
    initAppResources();
    setObjectName(QStringLiteral("frmAbout"));
    setModal(false);
    buildHeading();
    buildDescription(database);
    buildButtons();
    arrange();
    load();
    resize(560, 400);
}

void AboutDialog::buildHeading()
{
    m_logo = new QLabel(this);
    m_logo->setObjectName(QStringLiteral("Image1"));
    m_logo->setPixmap(QPixmap(QStringLiteral(":/tallyvane/aboutlogo.jpg")));
    m_logo->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_logo->setAccessibleName(tr("Tallyvane logo"));

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 2);
    titleFont.setBold(true);
    m_title->setFont(titleFont);

    m_version = new QLabel(this);
    m_version->setObjectName(QStringLiteral("lblVersion"));
    QFont versionFont = m_version->font();
    versionFont.setPointSizeF(versionFont.pointSizeF() * 1.2);
    m_version->setFont(versionFont);

    m_tagline = new QLabel(tr("Inventory tracking for the small business"), this);
    m_tagline->setObjectName(QStringLiteral("lblTagline"));

    m_contacts = {
        contactField(this, "Text1", QStringLiteral("Tallyvane Software"), tr("Maker")),
        contactField(this, "Text2", QStringLiteral("Web: www.tallyvane.com"), tr("Web site")),
        contactField(this, "Text3", QStringLiteral("Email: support@tallyvane.com"), tr("Email address")),
        contactField(this, "Text4", QStringLiteral("Phone: (555) 010-4477"), tr("Telephone")),
        contactField(this, "Text5", QStringLiteral("Support hours: Monday to Friday, 9 am to 5 pm"),
                     tr("Support hours"))};
}

void AboutDialog::buildDescription(const QString &database)
{
    m_description = new QTextBrowser(this);
    m_description->setObjectName(QStringLiteral("RichTextBox1"));
    m_description->setReadOnly(true);
    m_description->setOpenLinks(false);
    m_description->setAccessibleName(tr("About the program"));
    m_description->setHtml(
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
    m_description->setMinimumHeight(120);
}

void AboutDialog::buildButtons()
{
    m_ok = new QPushButton(tr("OK"), this);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    m_ok->setDefault(true);
    m_ok->setAccessibleName(tr("OK"));
    m_systemInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    m_systemInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    m_systemInfo->setAutoDefault(false);
    m_systemInfo->setAccessibleName(tr("System Info"));
    connect(m_ok, &QPushButton::clicked, this, &AboutDialog::closeAbout);
    connect(m_systemInfo, &QPushButton::clicked, this, &AboutDialog::showSystemInfo);
}

void AboutDialog::arrange()
{
    auto *heading = new QVBoxLayout;
    heading->setSpacing(2);
    heading->addWidget(m_title);
    heading->addWidget(m_version);
    heading->addWidget(m_tagline);
    heading->addSpacing(12);
    for (QLineEdit *t : m_contacts)
        heading->addWidget(t);
    heading->addStretch(1);

    auto *top = new QHBoxLayout;
    top->setSpacing(18);
    top->addWidget(m_logo, 0, Qt::AlignTop);
    top->addLayout(heading, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_systemInfo);

    auto *main = new QVBoxLayout(this);
    main->setContentsMargins(18, 18, 18, 14);
    main->addLayout(top);
    main->addWidget(m_description, 1);
    main->addLayout(buttons);

    QWidget *previous = m_contacts.front();
    for (QWidget *next : {static_cast<QWidget *>(m_contacts[1]), static_cast<QWidget *>(m_contacts[2]),
                          static_cast<QWidget *>(m_contacts[3]), static_cast<QWidget *>(m_contacts[4]),
                          static_cast<QWidget *>(m_description), static_cast<QWidget *>(m_ok),
                          static_cast<QWidget *>(m_systemInfo)}) {
        setTabOrder(previous, next);
        previous = next;
    }
}

void AboutDialog::load()
{
    setWindowTitle(QStringLiteral("About ") + appTitle());
    m_version->setText(QStringLiteral("Version ") + versionText());
    m_title->setText(appTitle());
    m_ok->setFocus();
}

void AboutDialog::closeAbout()
{
    close();
}

void AboutDialog::showSystemInfo()
{
    startSystemInfo();
}

void AboutDialog::startSystemInfo()
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
