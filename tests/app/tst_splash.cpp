#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "app/SplashScreen.h"
#include "app/TipOfTheDay.h"
#include "common/EndProgram.h"
#include "mainwindow/MainWindow.h"

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
        tv::test::useTestSettings();
        TipOfTheDay(nullptr).setShowAtStartup(false);
    }

    void labelsAndPlace()
    {
        ScriptedPrompts prompts;
        SplashScreen splash({});
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
        std::unique_ptr<MainWindow> mainWindow;
        QPointer<SplashScreen> splash = new SplashScreen([&] {
            mainWindow = makeMainWindow();
            mainWindow->show();
        });
        splash->show();
        QVERIFY(splash->showTimer().isActive());
        QCOMPARE(splash->showTimer().interval(), 1000);
        QVERIFY(!splash->closeTimer().isActive());
        QCOMPARE(splash->closeTimer().interval(), 2000);
        splash->showSplash();
        QVERIFY(splash->closeTimer().isActive());
        // A second tick leaves the running closing timer alone rather than starting it over.
        QTest::qWait(300);
        const int left = splash->closeTimer().remainingTime();
        splash->showSplash();
        QVERIFY2(splash->closeTimer().remainingTime() <= left, "the closing timer was started over");
        QVERIFY(!mainWindow);
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow != nullptr, 5000);
        QVERIFY(clock.elapsed() >= 1200);
        QVERIFY(mainWindow->isVisible());
        QCOMPARE(mainWindow->txtfield(3)->text(), QStringLiteral("Alpha"));
        QTRY_VERIFY(splash.isNull()); // closed and unloaded
        QVERIFY(prompts.shown().isEmpty());
        setEndProgramHandler([] {});
        mainWindow.reset();
        setEndProgramHandler({});
    }
};

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
