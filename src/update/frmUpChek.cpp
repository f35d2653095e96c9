#include "frmUpChek.h"

#include "ReleaseKey.h"
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
    // The window takes its fixed size from its contents; the labels the server fills have fixed widths.
    constexpr int kWidth = 320;
    lblAppVer->setMinimumWidth(kWidth);

    cmdCheck = new QPushButton(QStringLiteral("&Check for Update"), this);
    cmdCheck->setObjectName(QStringLiteral("cmdCheck"));
    cmdCheck->setAccessibleName(QStringLiteral("Check for Update"));
    cmdCheck->setAccessibleDescription(QStringLiteral("Asks the update server for the latest version"));
    cmdCheck->setDefault(true);

    lblstat = makeLabel(this, "lblstat", Qt::red);
    lblstat->setAlignment(Qt::AlignCenter);
    lblstat->setFont(bold);
    // Room for "Update Available to " above a version, and for the one long sentence it may show.
    lblstat->setWordWrap(true);
    const QFontMetrics statMetrics = lblstat->fontMetrics();
    lblstat->setFixedSize(kWidth, std::max(2 * statMetrics.lineSpacing(),
                                           statMetrics
                                               .boundingRect(QRect(0, 0, kWidth, QWIDGETSIZE_MAX),
                                                             Qt::TextWordWrap, noReleaseKeyText())
                                               .height()));
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
    lblVer->setFixedWidth(std::max(60, kWidth - Label1->sizeHint().width() - 6));

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
    showWithin(lblstat, QString());
    lblstat->setVisible(false);
    showWithin(lblVer, QString());
    cmdUpdate->setVisible(false);
    // Whatever such a copy found, its updater would install nothing.
    const bool keyed = !releaseKey().isEmpty();
    cmdCheck->setEnabled(keyed);
    if (!keyed) {
        showWithin(lblstat, noReleaseKeyText());
        lblstat->setVisible(true);
    }
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
    if (releaseKey().isEmpty()) {
        endCheck();
        return;
    }
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
        showWithin(lblstat, QStringLiteral("Checking for Updates"));
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
            showWithin(lblstat, checkFailedText());
            throw AppError(Err::InvalidFileFormat,
                           QStringLiteral("The version file on the update server holds no version number"));
        }
        showWithin(lblVer, *latest);
        if (isNewerVersion(*latest, versionText()).value_or(false)) {
            showWithin(lblstat, QStringLiteral("Update Available to ") + *latest);
            cmdUpdate->setVisible(true);
        } else {
            showWithin(lblstat, QStringLiteral("No Updates Available"));
        }
    });
    endCheck();
}

void frmUpChek::onFetchFailed(int number, const QString &description)
{
    showWithin(lblstat, checkFailedText());
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
