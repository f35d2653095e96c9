#include "frmUpChek.h"

#include "UpdateCheck.h"
#include "VersionText.h"

#include "common/AppError.h"
#include "common/EndProgram.h"
#include "common/ErrorTrap.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "common/Version.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

namespace tv {

namespace {
const QString kForm = QStringLiteral("frmUpChek");

// Labels keep no accessible name of their own: a screen reader reads the text they show.
QLabel *makeLabel(QWidget *parent, const char *name, const QColor &colour)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    return label;
}

// Hidden controls keep their place, so the window does not jump when they appear.
void keepPlaceWhenHidden(QWidget *w)
{
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}
} // namespace

frmUpChek::frmUpChek(SaveData saveData, QWidget *parent) : QDialog(parent), m_saveData(std::move(saveData))
{
    setObjectName(kForm);
    setWindowTitle(QStringLiteral("Tallyvane Updater"));
    setAccessibleName(QStringLiteral("Tallyvane Updater"));
    setModal(false);
    setSizeGripEnabled(false);

    QFont font(QStringLiteral("Tahoma"), 10);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    lblAppVer = makeLabel(this, "lblAppVer", QColor(128, 255, 255));
    lblAppVer->setAlignment(Qt::AlignCenter);
    QFont bold = font;
    bold.setBold(true);
    lblAppVer->setFont(bold);
    lblAppVer->setMinimumWidth(320); // the window takes its fixed size from its contents

    cmdCheck = new QPushButton(QStringLiteral("&Check for Update"), this);
    cmdCheck->setObjectName(QStringLiteral("cmdCheck"));
    cmdCheck->setAccessibleName(QStringLiteral("Check for Update"));
    cmdCheck->setAccessibleDescription(QStringLiteral("Asks the update server for the latest version"));
    cmdCheck->setDefault(true);

    lblstat = makeLabel(this, "lblstat", Qt::red);
    lblstat->setAlignment(Qt::AlignCenter);
    lblstat->setFont(bold);
    keepPlaceWhenHidden(lblstat);

    Label1 = makeLabel(this, "Label1", Qt::yellow);
    Label1->setText(QStringLiteral("Latest Version is :"));
    lblVer = makeLabel(this, "lblVer", Qt::white);
    lblVer->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cmdUpdate = new QPushButton(QStringLiteral("&Update Tallyvane"), this);
    cmdUpdate->setObjectName(QStringLiteral("cmdUpdate"));
    cmdUpdate->setAccessibleName(QStringLiteral("Update Tallyvane"));
    cmdUpdate->setAccessibleDescription(
        QStringLiteral("Starts the updater and ends Tallyvane so that the new version can be installed"));
    keepPlaceWhenHidden(cmdUpdate);

    for (QPushButton *b : {cmdCheck, cmdUpdate})
        b->setMinimumSize(170, 32);

    auto *latest = new QHBoxLayout;
    latest->addStretch(1);
    latest->addWidget(Label1);
    latest->addSpacing(6);
    latest->addWidget(lblVer);
    latest->addStretch(1);
    lblVer->setMinimumWidth(60);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(12);
    layout->addWidget(lblAppVer);
    layout->addWidget(cmdCheck, 0, Qt::AlignHCenter);
    layout->addWidget(lblstat);
    layout->addLayout(latest);
    layout->addWidget(cmdUpdate, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(cmdCheck, cmdUpdate);

    Inet1 = new UpdateCheck(this);
    Inet1->setObjectName(QStringLiteral("Inet1"));
    connect(Inet1, &UpdateCheck::probeFinished, this, &frmUpChek::onProbeFinished);
    connect(Inet1, &UpdateCheck::fetchFinished, this, &frmUpChek::onFetched);
    connect(Inet1, &UpdateCheck::fetchFailed, this, &frmUpChek::onFetchFailed);
    connect(cmdCheck, &QPushButton::clicked, this, &frmUpChek::cmdCheck_Click);
    connect(cmdUpdate, &QPushButton::clicked, this, &frmUpChek::cmdUpdate_Click);

    Form_Load();
}

frmUpChek::~frmUpChek()
{
    Inet1->cancel();
}

void frmUpChek::Form_Load()
{
    lblAppVer->setText(QStringLiteral("Your Tallyvane Version is ") + versionText());
    lblstat->clear();
    lblstat->setVisible(false);
    lblVer->clear();
    cmdUpdate->setVisible(false);
}

void frmUpChek::showEvent(QShowEvent *event)
{
    // A window that was closed opens afresh, as a new one would.
    if (m_reloadOnShow) {
        m_reloadOnShow = false;
        Form_Load();
    }
    QDialog::showEvent(event);
}

void frmUpChek::done(int result)
{
    Inet1->cancel();
    endCheck();
    m_reloadOnShow = true;
    QDialog::done(result);
}

void frmUpChek::cmdCheck_Click()
{
    // A new press starts the whole check again; the one still running is dropped.
    Inet1->cancel();
    m_checking = true;
    const bool started = trapped(QStringLiteral("cmdCheck_Click"), kForm, [&] {
        m_versionUrl = UpdateCheck::resourceUrl(updateServerUrl(), QStringLiteral("/versionKetbook.txt"));
        Inet1->probe(m_versionUrl);
    });
    if (!started) endCheck();
}

void frmUpChek::onProbeFinished(bool connected)
{
    if (!connected) {
        prompts().message(
            QStringLiteral("Connection to Update Site Not Available, Check Internet Connection, Try Later"),
            MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Updater Error"));
        endCheck();
        reject();
        return;
    }
    const bool fetching = trapped(QStringLiteral("cmdCheck_Click"), kForm, [&] {
        lblstat->setVisible(true);
        lblstat->setText(QStringLiteral("Checking for Updates"));
        Inet1->fetch(m_versionUrl);
    });
    if (!fetching) endCheck();
}

namespace {
// The check is over: the status must not go on saying it is checking.
QString checkFailedText()
{
    return QStringLiteral("Update Check Failed");
}
} // namespace

void frmUpChek::onFetched(const QString &body)
{
    trapped(QStringLiteral("cmdCheck_Click"), kForm, [&] {
        // Only a version number goes into the label; an error page or an empty file is a failure.
        const std::optional<QString> latest = cleanVersionText(body);
        if (!latest) {
            lblstat->setText(checkFailedText());
            throw AppError(Err::InvalidFileFormat,
                           QStringLiteral("The version file on the update server holds no version number"));
        }
        lblVer->setText(*latest);
        if (isNewerVersion(lblVer->text(), versionText()).value_or(false)) {
            lblstat->setText(QStringLiteral("Update Available to ") + lblVer->text());
            cmdUpdate->setVisible(true);
        } else {
            lblstat->setText(QStringLiteral("No Updates Available"));
        }
    });
    endCheck();
}

void frmUpChek::onFetchFailed(int number, const QString &description)
{
    lblstat->setText(checkFailedText());
    trapped(QStringLiteral("cmdCheck_Click"), kForm, [&] { throw AppError(number, description); });
    endCheck();
}

void frmUpChek::endCheck()
{
    if (!m_checking) return;
    m_checking = false;
    emit checkFinished();
}

void frmUpChek::cmdUpdate_Click()
{
    trapped(QStringLiteral("cmdUpdate_Click"), kForm, [&] {
        Inet1->cancel();
        endCheck();

        const QString updater = programPath(QStringLiteral("updaterKetbook"));
        const QFileInfo info(updater);
        if (!info.exists()) throw AppError(Err::FileNotFound);
        if (!info.isFile() || !info.isExecutable()) throw AppError(Err::PermissionDenied);

        // The same save as on exit, pending edits included, and before the updater starts: a
        // save that fails leaves this copy running with the typed text and nothing replaced.
        if (m_saveData) m_saveData();

        if (!QProcess::startDetached(updater, QStringList(), programFolder()))
            throw AppError(Err::PathFileAccess);

        endProgramNow();
    });
}

} // namespace tv
