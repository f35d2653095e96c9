#include "updatecheck/UpdateCheckWindow.h"

#include "ReleaseKey.h"
#include "updatecheck/UpdateCheck.h"
#include "updatecheck/VersionText.h"

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
#include <algorithm>

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

// What the server sends is shown within the label's fixed width, never widening the window: cut
// short in the middle when it does not fit, the whole text then in the tip and read out by screen
// readers.
void showWithin(QLabel *label, const QString &text)
{
    const QFontMetrics metrics = label->fontMetrics();
    const int width = label->maximumWidth();
    QString shown = metrics.elidedText(text, Qt::ElideMiddle, width);
    if (label->wordWrap()) {
        // Wrapped at blanks; a word wider than the label is cut short on its own line.
        QStringList words = text.split(QLatin1Char(' '));
        for (QString &word : words)
            word = metrics.elidedText(word, Qt::ElideMiddle, width);
        const QString wrapped = words.join(QLatin1Char(' '));
        if (metrics.boundingRect(QRect(0, 0, width, QWIDGETSIZE_MAX), Qt::TextWordWrap, wrapped).height() <=
            label->maximumHeight())
            shown = wrapped;
    }
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
    label->setAccessibleName(shown == text ? QString() : text);
}

// The window takes its fixed size from its contents; the labels the server fills have fixed widths.
constexpr int kWidth = 320;
constexpr QSize kButtonSize(170, 32);

QFont windowFont()
{
    QFont font(QStringLiteral("Tahoma"), 10);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont boldFont()
{
    QFont bold = windowFont();
    bold.setBold(true);
    return bold;
}

// Hidden controls keep their place, so the window does not jump when they appear.
void keepPlaceWhenHidden(QWidget *w)
{
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}
} // namespace

UpdateCheckWindow::UpdateCheckWindow(SaveData saveData, QWidget *parent)
    : QDialog(parent), m_saveData(std::move(saveData))
{
    setObjectName(kForm);
    setWindowTitle(QStringLiteral("Tallyvane Updater"));
    setAccessibleName(QStringLiteral("Tallyvane Updater"));
    setModal(false);
    setSizeGripEnabled(false);
    setLook();

    // Widgets are created in the order Tab moves through them.
    buildInstalledVersion();
    buildCheckButton();
    buildStatus();
    QLayout *latest = buildLatestVersion();
    buildUpdateButton();
    layOut(latest);

    m_updateCheck = new UpdateCheck(this);
    m_updateCheck->setObjectName(QStringLiteral("Inet1"));
    connectControls();

    load();
}

void UpdateCheckWindow::setLook()
{
    setFont(windowFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
}

void UpdateCheckWindow::buildInstalledVersion()
{
    m_installedVersion = makeLabel(this, "lblAppVer", QColor(128, 255, 255));
    m_installedVersion->setAlignment(Qt::AlignCenter);
    m_installedVersion->setFont(boldFont());
    m_installedVersion->setMinimumWidth(kWidth);
}

void UpdateCheckWindow::buildCheckButton()
{
    m_checkButton = new QPushButton(QStringLiteral("&Check for Update"), this);
    m_checkButton->setObjectName(QStringLiteral("cmdCheck"));
    m_checkButton->setAccessibleName(QStringLiteral("Check for Update"));
    m_checkButton->setAccessibleDescription(QStringLiteral("Asks the update server for the latest version"));
    m_checkButton->setDefault(true);
    m_checkButton->setMinimumSize(kButtonSize);
}

void UpdateCheckWindow::buildStatus()
{
    m_status = makeLabel(this, "lblstat", Qt::red);
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setFont(boldFont());
    // Room for "Update Available to " above a version, and for the one long sentence it may show.
    m_status->setWordWrap(true);
    const QFontMetrics statMetrics = m_status->fontMetrics();
    m_status->setFixedSize(kWidth, std::max(2 * statMetrics.lineSpacing(),
                                            statMetrics
                                                .boundingRect(QRect(0, 0, kWidth, QWIDGETSIZE_MAX),
                                                              Qt::TextWordWrap, noReleaseKeyText())
                                                .height()));
    keepPlaceWhenHidden(m_status);
}

QLayout *UpdateCheckWindow::buildLatestVersion()
{
    m_latestCaption = makeLabel(this, "Label1", Qt::yellow);
    m_latestCaption->setText(QStringLiteral("Latest Version is :"));
    m_latestVersion = makeLabel(this, "lblVer", Qt::white);
    m_latestVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *latest = new QHBoxLayout;
    latest->addStretch(1);
    latest->addWidget(m_latestCaption);
    latest->addSpacing(6);
    latest->addWidget(m_latestVersion);
    latest->addStretch(1);
    m_latestVersion->setFixedWidth(std::max(60, kWidth - m_latestCaption->sizeHint().width() - 6));
    return latest;
}

void UpdateCheckWindow::buildUpdateButton()
{
    m_updateButton = new QPushButton(QStringLiteral("&Update Tallyvane"), this);
    m_updateButton->setObjectName(QStringLiteral("cmdUpdate"));
    m_updateButton->setAccessibleName(QStringLiteral("Update Tallyvane"));
    m_updateButton->setAccessibleDescription(
        QStringLiteral("Starts the updater and ends Tallyvane so that the new version can be installed"));
    keepPlaceWhenHidden(m_updateButton);
    m_updateButton->setMinimumSize(kButtonSize);
}

void UpdateCheckWindow::layOut(QLayout *latest)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(12);
    layout->addWidget(m_installedVersion);
    layout->addWidget(m_checkButton, 0, Qt::AlignHCenter);
    layout->addWidget(m_status);
    layout->addLayout(latest);
    layout->addWidget(m_updateButton, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_checkButton, m_updateButton);
}

void UpdateCheckWindow::connectControls()
{
    connect(m_updateCheck, &UpdateCheck::probeFinished, this, &UpdateCheckWindow::onProbeFinished);
    connect(m_updateCheck, &UpdateCheck::fetchFinished, this, &UpdateCheckWindow::onFetched);
    connect(m_updateCheck, &UpdateCheck::fetchFailed, this, &UpdateCheckWindow::onFetchFailed);
    connect(m_checkButton, &QPushButton::clicked, this, &UpdateCheckWindow::checkNow);
    connect(m_updateButton, &QPushButton::clicked, this, &UpdateCheckWindow::startUpdater);
}

UpdateCheckWindow::~UpdateCheckWindow()
{
    m_updateCheck->cancel();
}

void UpdateCheckWindow::load()
{
    m_installedVersion->setText(QStringLiteral("Your Tallyvane Version is ") + versionText());
    showWithin(m_status, QString());
    m_status->setVisible(false);
    showWithin(m_latestVersion, QString());
    m_updateButton->setVisible(false);
    // Whatever such a copy found, its updater would install nothing.
    const bool keyed = !releaseKey().isEmpty();
    m_checkButton->setEnabled(keyed);
    if (!keyed) {
        showWithin(m_status, noReleaseKeyText());
        m_status->setVisible(true);
    }
}

void UpdateCheckWindow::showEvent(QShowEvent *event)
{
    // A window that was closed opens afresh, as a new one would.
    if (m_reloadOnShow) {
        m_reloadOnShow = false;
        load();
    }
    QDialog::showEvent(event);
}

void UpdateCheckWindow::done(int result)
{
    m_updateCheck->cancel();
    endCheck();
    m_reloadOnShow = true;
    QDialog::done(result);
}

void UpdateCheckWindow::checkNow()
{
    // A new press starts the whole check again; the one still running is dropped.
    m_updateCheck->cancel();
    m_checking = true;
    if (releaseKey().isEmpty()) {
        endCheck();
        return;
    }
    const bool started = trapped(QStringLiteral("cmdCheck_Click"), kForm, [&] {
        m_versionUrl = UpdateCheck::resourceUrl(updateServerUrl(), QStringLiteral("/versionKetbook.txt"));
        m_updateCheck->probe(m_versionUrl);
    });
    if (!started) endCheck();
}

void UpdateCheckWindow::onProbeFinished(bool connected)
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
        m_status->setVisible(true);
        showWithin(m_status, QStringLiteral("Checking for Updates"));
        m_updateCheck->fetch(m_versionUrl);
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

void UpdateCheckWindow::onFetched(const QString &body)
{
    trapped(QStringLiteral("cmdCheck_Click"), kForm, [&] {
        // Only a version number goes into the label; an error page or an empty file is a failure.
        const std::optional<QString> latest = cleanVersionText(body);
        if (!latest) {
            showWithin(m_status, checkFailedText());
            throw AppError(Err::InvalidFileFormat,
                           QStringLiteral("The version file on the update server holds no version number"));
        }
        showWithin(m_latestVersion, *latest);
        if (isNewerVersion(*latest, versionText()).value_or(false)) {
            showWithin(m_status, QStringLiteral("Update Available to ") + *latest);
            m_updateButton->setVisible(true);
        } else {
            showWithin(m_status, QStringLiteral("No Updates Available"));
        }
    });
    endCheck();
}

void UpdateCheckWindow::onFetchFailed(int number, const QString &description)
{
    showWithin(m_status, checkFailedText());
    trapped(QStringLiteral("cmdCheck_Click"), kForm, [&] { throw AppError(number, description); });
    endCheck();
}

void UpdateCheckWindow::endCheck()
{
    if (!m_checking) return;
    m_checking = false;
    emit checkFinished();
}

void UpdateCheckWindow::startUpdater()
{
    trapped(QStringLiteral("cmdUpdate_Click"), kForm, [&] {
        m_updateCheck->cancel();
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
