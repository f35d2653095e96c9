#include "app/SplashScreen.h"

#include "app/AppResources.h"
#include "common/ErrorTrap.h"
#include "common/Version.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace tv {

namespace {
QFont face(const QFont &base, const QString &family, qreal points, bool bold)
{
    QFont f = base;
    f.setFamilies({family, base.family()});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}
} // namespace

SplashScreen::SplashScreen(std::function<void()> whenDone, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), m_whenDone(std::move(whenDone))
{
    initAppResources();
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QString());
    setAccessibleName(appTitle());

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    m_frame = new QFrame(this);
    m_frame->setObjectName(QStringLiteral("fraMainFrame"));
    m_frame->setFrameShape(QFrame::Box);
    m_frame->setLineWidth(1);
    outer->addWidget(m_frame);

    auto *grid = new QGridLayout(m_frame);
    grid->setContentsMargins(24, 20, 24, 16);
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(6);

    auto *imgLogo = new QLabel(m_frame);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setPixmap(QPixmap(QStringLiteral(":/tallyvane/aboutlogo.jpg")));
    imgLogo->setFixedSize(160, 160);
    imgLogo->setScaledContents(true);
    imgLogo->setAccessibleName(QStringLiteral("Tallyvane logo"));
    grid->addWidget(imgLogo, 0, 0, 5, 1, Qt::AlignTop);

    auto label = [&](const char *name, const QString &text, const QString &family, qreal points, bool bold) {
        auto *l = new QLabel(text, m_frame);
        l->setObjectName(QLatin1String(name));
        l->setFont(face(font(), family, points, bold));
        return l;
    };
    const QString tahoma = QStringLiteral("Tahoma");
    m_lblProductName = label("lblProductName", QString(), tahoma, 15.75, true);
    m_lblVersion = label("lblVersion", QStringLiteral("Version"), tahoma, 14.25, true);
    QLabel *lblPlatform = label("lblPlatform", QStringLiteral("Windows ME, 2000, XP"),
                                QStringLiteral("MS Sans Serif"), 13.5, true);
    QLabel *lblCompany = label("lblCompany", QStringLiteral("Tallyvane Software"), tahoma, 9, false);
    QLabel *lblCopyright = label(
        "lblCopyright", QStringLiteral("Copyright \u00A9 2026 Tallyvane Software. All rights reserved."),
        tahoma, 9, false);
    grid->addWidget(m_lblProductName, 0, 1);
    grid->addWidget(m_lblVersion, 1, 1);
    grid->addWidget(lblPlatform, 2, 1);
    grid->setRowStretch(3, 1);
    grid->addWidget(lblCompany, 4, 1, Qt::AlignBottom);
    grid->addWidget(lblCopyright, 5, 0, 1, 2, Qt::AlignRight);
    setFixedSize(560, 280);

    m_showTimer.setInterval(1000);
    m_closeTimer.setInterval(2000);
    connect(&m_showTimer, &QTimer::timeout, this, &SplashScreen::showSplash);
    connect(&m_closeTimer, &QTimer::timeout, this, &SplashScreen::finish);
    load();
    m_showTimer.start();
}

void SplashScreen::load()
{
    ErrorTrap trap(QStringLiteral("Form_Load"), QStringLiteral("frmSplash"));
    trap.run([&] {
        trap.line(1);
        m_lblVersion->setText(QStringLiteral("Version ") + versionText());
        trap.line(2);
        m_lblProductName->setText(appTitle());
        trap.line(3);
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect s = screen->geometry();
            move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
        }
    });
}

void SplashScreen::showSplash()
{
    show();
    // Switching on a running timer leaves it running; it must not start over.
    if (!m_closeTimer.isActive()) m_closeTimer.start();
}

void SplashScreen::finish()
{
    ErrorTrap trap(QStringLiteral("Timer1_Timer"), QStringLiteral("frmSplash"));
    trap.run([&] {
        trap.line(1);
        m_closeTimer.stop();
        m_showTimer.stop();
        close();
        deleteLater();
        trap.line(2);
        if (m_whenDone) m_whenDone();
    });
}

} // namespace tv
