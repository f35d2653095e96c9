#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "TipOfTheDay.h"
#include "common/EndProgram.h"
#include "frmMain.h"
#include "frmSplash.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

using namespace tv;
using tv::test::makeRow;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

class TestSplash : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Tallyvane"));
        QCoreApplication::setApplicationName(QStringLiteral("KetbookTest"));
        TipOfTheDay(nullptr).setShowAtStartup(false);
    }

    void labelsAndPlace()
    {
        ScriptedPrompts prompts;
        frmSplash splash;
        QCOMPARE(splash.objectName(), QStringLiteral("frmSplash"));
        QCOMPARE(splash.windowTitle(), QString());
        QCOMPARE(splash.lblVersion()->text(), QStringLiteral("Version 1.2.0"));
        QCOMPARE(splash.lblProductName()->text(), QStringLiteral("Tallyvane"));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(splash.x(), (screen.width() - splash.width()) / 2);
        QCOMPARE(splash.y(), (screen.height() - splash.height()) / 2);
        QVERIFY(prompts.shown().isEmpty());
    }

    void timersThenMainWindow()
    {
        TestFolder folder;
        folder.addRows({makeRow("Alpha", "A-1")});
        ScriptedPrompts prompts;
        QPointer<frmSplash> splash = new frmSplash;
        splash->show();
        QVERIFY(splash->Timer2().isActive());
        QCOMPARE(splash->Timer2().interval(), 1000);
        QVERIFY(!splash->Timer1().isActive());
        QCOMPARE(splash->Timer1().interval(), 2000);
        splash->Timer2_Timer();
        QVERIFY(splash->Timer1().isActive());
        // A second tick leaves the running Timer1 alone rather than starting it over.
        QTest::qWait(300);
        const int left = splash->Timer1().remainingTime();
        splash->Timer2_Timer();
        QVERIFY2(splash->Timer1().remainingTime() <= left, "Timer1 was started over");
        QVERIFY(frmMain::instance() == nullptr);
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(frmMain::instance() != nullptr, 5000);
        QVERIFY(clock.elapsed() >= 1200);
        QVERIFY(frmMain::instance()->isVisible());
        QCOMPARE(frmMain::instance()->txtfield(3)->text(), QStringLiteral("Alpha"));
        QTRY_VERIFY(splash.isNull()); // closed and unloaded
        QVERIFY(prompts.shown().isEmpty());
        setEndProgramHandler([] {});
        delete frmMain::instance();
        setEndProgramHandler({});
    }
};

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
