#include "Controls.h"
#include "HttpTestServer.h"
#include "ScriptedPrompts.h"
#include "common/AppError.h"
#include "common/EndProgram.h"
#include "common/ProgramFolder.h"
#include "updatecheck/ReleaseKey.h"
#include "updatecheck/UpdateCheck.h"
#include "updatecheck/UpdateCheckWindow.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace tv;
using tv::test::HttpTestServer;
using tv::test::ScriptedPrompts;

namespace {
const QString kVersionPath = QStringLiteral("/versionKetbook.txt");
const QString kNoConnection =
    QStringLiteral("Connection to Update Site Not Available, Check Internet Connection, Try Later");

QString trapText(const QString &error, const QString &procedure)
{
    return QStringLiteral("Error %1. In procedure %2 of Form frmUpChek").arg(error, procedure);
}

// Counts how often a widget is shown, so that "never visible" can be checked.
class ShowCounter : public QObject
{
public:
    explicit ShowCounter(QWidget *w) { w->installEventFilter(this); }
    int shows = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Show) ++shows;
        return false;
    }
};

// The window's controls, found by object name.
QLabel *labelOf(const UpdateCheckWindow &frm, const char *name)
{
    return control<QLabel>(frm, name);
}
QPushButton *buttonOf(const UpdateCheckWindow &frm, const char *name)
{
    return control<QPushButton>(frm, name);
}

// Runs one check to its end.
bool runCheck(UpdateCheckWindow &frm)
{
    QSignalSpy finished(&frm, &UpdateCheckWindow::checkFinished);
    frm.checkNow();
    return finished.count() > 0 || finished.wait(10000);
}

// What a label says in full: the text it shows, or what it is read as when the text was cut short.
QString fullText(QLabel *l)
{
    return l->accessibleName().isEmpty() ? l->text() : l->accessibleName();
}

QColor textColour(QLabel *l)
{
    return l->palette().color(QPalette::WindowText);
}
} // namespace

class tst_UpdateCheckWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        setReleaseKey(updatePublicKeyPem());
        setEndProgramHandler([this] { ++m_ended; });
        m_ended = 0;
    }
    void cleanup()
    {
        qunsetenv("TALLYVANE_UPDATE_URL");
        setEndProgramHandler({});
        setProgramFolder(QString());
    }

    void startState()
    {
        UpdateCheckWindow frm({});
        QCOMPARE(frm.objectName(), QStringLiteral("frmUpChek"));
        QCOMPARE(frm.windowTitle(), QStringLiteral("Tallyvane Updater"));
        QVERIFY(!frm.isModal());
        QCOMPARE(labelOf(frm, "lblAppVer")->text(), QStringLiteral("Your Tallyvane Version is 1.2.0"));
        QCOMPARE(buttonOf(frm, "cmdCheck")->text().remove(QLatin1Char('&')),
                 QStringLiteral("Check for Update"));
        QCOMPARE(labelOf(frm, "Label1")->text(), QStringLiteral("Latest Version is :"));
        QCOMPARE(buttonOf(frm, "cmdUpdate")->text().remove(QLatin1Char('&')),
                 QStringLiteral("Update Tallyvane"));
        QVERIFY(labelOf(frm, "lblstat")->text().isEmpty());
        QVERIFY(labelOf(frm, "lblVer")->text().isEmpty());
        QVERIFY(!labelOf(frm, "lblAppVer")->isHidden());
        QVERIFY(!buttonOf(frm, "cmdCheck")->isHidden());
        QVERIFY(labelOf(frm, "lblstat")->isHidden());
        QVERIFY(!labelOf(frm, "Label1")->isHidden());
        QVERIFY(!labelOf(frm, "lblVer")->isHidden());
        QVERIFY(buttonOf(frm, "cmdUpdate")->isHidden());
        QCOMPARE(control<UpdateCheck>(frm, "Inet1")->fetchTimeout(), 15000);

        QCOMPARE(frm.palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(textColour(labelOf(frm, "lblAppVer")), QColor(128, 255, 255));
        QCOMPARE(textColour(labelOf(frm, "lblstat")), QColor(Qt::red));
        QCOMPARE(textColour(labelOf(frm, "Label1")), QColor(Qt::yellow));
        QCOMPARE(textColour(labelOf(frm, "lblVer")), QColor(Qt::white));
        QCOMPARE(frm.font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(labelOf(frm, "lblAppVer")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        QCOMPARE(labelOf(frm, "lblstat")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);

        // Labels are read as the text they show (tst_accessibility); every other control has a name.
        for (QWidget *w : frm.findChildren<QWidget *>())
            QVERIFY2(qobject_cast<QLabel *>(w) || !w->accessibleName().isEmpty(),
                     qPrintable(w->objectName()));
        QCOMPARE(buttonOf(frm, "cmdCheck")->nextInFocusChain(),
                 static_cast<QWidget *>(buttonOf(frm, "cmdUpdate")));

        // Top to bottom as the user reads them.
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));
        QList<QWidget *> order{labelOf(frm, "lblAppVer"), buttonOf(frm, "cmdCheck"), labelOf(frm, "lblstat"),
                               labelOf(frm, "Label1"), buttonOf(frm, "cmdUpdate")};
        for (int i = 1; i < order.size(); ++i)
            QVERIFY(order[i - 1]->geometry().bottom() < order[i]->geometry().top());
        QVERIFY(labelOf(frm, "Label1")->geometry().right() < labelOf(frm, "lblVer")->geometry().left());
    }

    void check_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("stat");    // lblstat afterwards
        QTest::addColumn<QString>("latest");  // lblVer afterwards
        QTest::addColumn<bool>("offered");    // cmdUpdate visible
        QTest::addColumn<QString>("message"); // the trap's message, empty for none

        const QString none = QStringLiteral("No Updates Available");
        const QString failed = QStringLiteral("Update Check Failed"); // never "Checking" once it is over
        const QString noVersion =
            trapText(QStringLiteral("321 (The version file on the update server holds no version number)"),
                     QStringLiteral("cmdCheck_Click"));

        QTest::newRow("same") << 200 << QByteArray("1.2.0") << none << "1.2.0" << false << "";
        QTest::newRow("newer") << 200 << QByteArray("1.3.0") << "Update Available to 1.3.0"
                               << "1.3.0" << true << "";
        QTest::newRow("same with line end") << 200 << QByteArray("1.2.0\n") << none << "1.2.0" << false << "";
        QTest::newRow("same with crlf") << 200 << QByteArray("1.2.0\r\n") << none << "1.2.0" << false << "";
        QTest::newRow("1.10.0") << 200 << QByteArray("1.10.0") << "Update Available to 1.10.0"
                                << "1.10.0" << true << "";
        QTest::newRow("1.2.10") << 200 << QByteArray("1.2.10") << "Update Available to 1.2.10"
                                << "1.2.10" << true << "";
        QTest::newRow("older") << 200 << QByteArray("1.1.9") << none << "1.1.9" << false << "";
        QTest::newRow("newer with line end") << 200 << QByteArray(" 1.3.0\n") << "Update Available to 1.3.0"
                                             << "1.3.0" << true << "";
        QTest::newRow("empty") << 200 << QByteArray() << failed << "" << false << noVersion;
        QTest::newRow("html page") << 200
                                   << QByteArray("<!DOCTYPE html><html><head><title>Welcome</title></head>"
                                                 "<body><h1>It works</h1></body></html>\n")
                                   << failed << "" << false << noVersion;
        // A hostile version text: never a version, and never wider than the window.
        QTest::newRow("60,000 digits") << 200 << QByteArray(60000, '9') << failed << "" << false << noVersion;
        QTest::newRow("1.2.0, 20,000 zeros and a 1")
            << 200 << QByteArray("1.2.0") + QByteArray(20000, '0') + "1" << failed << "" << false
            << noVersion;
        const QByteArray longest = "1.3." + QByteArray(60, '0');
        QTest::newRow("64 characters, the longest taken")
            << 200 << longest << "Update Available to " + QString::fromLatin1(longest)
            << QString::fromLatin1(longest) << true << "";
        QTest::newRow("65 characters") << 200 << longest + "0" << failed << "" << false << noVersion;
        QTest::newRow("404") << 404 << QByteArray("<html><body>Not Found</body></html>") << failed << ""
                             << false
                             << trapText(QStringLiteral("35756 (The update server answered 404 Not Found)"),
                                         QStringLiteral("cmdCheck_Click"));
        QTest::newRow("500 with a version")
            << 500 << QByteArray("1.3.0") << failed << "" << false
            << trapText(QStringLiteral("35756 (The update server answered 500 "
                                       "Internal Server Error)"),
                        QStringLiteral("cmdCheck_Click"));
    }
    void check()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, stat);
        QFETCH(QString, latest);
        QFETCH(bool, offered);
        QFETCH(QString, message);

        HttpTestServer server;
        server.setBody(kVersionPath, body, status);
        qputenv("TALLYVANE_UPDATE_URL", server.baseUrl().toString().toUtf8());
        ScriptedPrompts prompts;
        UpdateCheckWindow frm({});
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));
        const QSize size = frm.size();

        QVERIFY(runCheck(frm));
        QCOMPARE(server.requests(), QStringList{QStringLiteral("GET /versionKetbook.txt")});
        QCOMPARE(fullText(labelOf(frm, "lblstat")), stat);
        QVERIFY(labelOf(frm, "lblstat")->isVisible());
        QCOMPARE(fullText(labelOf(frm, "lblVer")), latest);
        // What the server sent fits in the labels as they are; the window keeps its size.
        QTest::qWait(50);
        QCOMPARE(frm.size(), size);
        for (QLabel *l : {labelOf(frm, "lblstat"), labelOf(frm, "lblVer")}) {
            const QRect needed = l->fontMetrics().boundingRect(
                QRect(0, 0, l->width(), 100000), l->wordWrap() ? Qt::TextWordWrap : 0, l->text());
            QVERIFY2(needed.width() <= l->width() && needed.height() <= l->height(), qPrintable(l->text()));
            QVERIFY(frm.rect().contains(l->geometry()));
        }
        QCOMPARE(buttonOf(frm, "cmdUpdate")->isVisible(), offered);
        QVERIFY(frm.isVisible());
        if (message.isEmpty()) {
            QVERIFY(prompts.shown().isEmpty());
        } else {
            QCOMPARE(prompts.texts(), QStringList{message});
            QCOMPARE(prompts.last().title, QStringLiteral("Tallyvane"));
            QCOMPARE(prompts.last().icon, MsgIcon::None);
            QCOMPARE(prompts.last().buttons, MsgButtons::Ok);
        }
        QCOMPARE(m_ended, 0);
    }

    // A copy built without a release key offers nothing its updater would refuse to install.
    void releaseKey_data()
    {
        QTest::addColumn<bool>("keyed");
        QTest::newRow("built with a release key") << true;
        QTest::newRow("built without a release key") << false;
    }
    void releaseKey()
    {
        QFETCH(bool, keyed);
        QVERIFY(!updatePublicKeyPem().isEmpty());
        if (!keyed) setReleaseKey(QByteArray());
        HttpTestServer server;
        server.setBody(kVersionPath, "9.0.0");
        qputenv("TALLYVANE_UPDATE_URL", server.baseUrl().toString().toUtf8());
        ScriptedPrompts prompts;
        UpdateCheckWindow frm({});
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));
        const QString off = QStringLiteral("This copy was built without a release key; updates are off.");
        QCOMPARE(buttonOf(frm, "cmdCheck")->isEnabled(), keyed);
        QCOMPARE(labelOf(frm, "lblstat")->isVisible(), !keyed);
        QCOMPARE(labelOf(frm, "lblstat")->text(), keyed ? QString() : off);

        QVERIFY(runCheck(frm));
        QCOMPARE(server.requests().size(), keyed ? 1 : 0);
        QCOMPARE(labelOf(frm, "lblstat")->text(), keyed ? QStringLiteral("Update Available to 9.0.0") : off);
        QCOMPARE(buttonOf(frm, "cmdUpdate")->isVisible(), keyed);
        QVERIFY(prompts.shown().isEmpty());
    }

    void noServerListening()
    {
        QUrl url(QStringLiteral("http://127.0.0.1"));
        url.setPort(HttpTestServer::unusedPort());
        qputenv("TALLYVANE_UPDATE_URL", url.toString().toUtf8());
        ScriptedPrompts prompts;
        UpdateCheckWindow frm({});
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));
        ShowCounter statShown(labelOf(frm, "lblstat"));

        QVERIFY(runCheck(frm));
        QCOMPARE(prompts.texts(), QStringList{kNoConnection});
        QCOMPARE(prompts.last().title, QStringLiteral("Updater Error"));
        QCOMPARE(prompts.last().icon, MsgIcon::Exclamation);
        QCOMPARE(prompts.last().buttons, MsgButtons::Ok);
        QVERIFY(!frm.isVisible());
        QCOMPARE(statShown.shows, 0);
        QVERIFY(labelOf(frm, "lblstat")->text().isEmpty());
    }

    void badServerAddress()
    {
        qputenv("TALLYVANE_UPDATE_URL", "ftp://127.0.0.1/");
        ScriptedPrompts prompts;
        UpdateCheckWindow frm({});
        QVERIFY(runCheck(frm));
        QCOMPARE(
            prompts.texts(),
            QStringList{trapText(QStringLiteral("35752 (The update server address \"ftp://127.0.0.1/\" is "
                                                "not an http or https address)"),
                                 QStringLiteral("cmdCheck_Click"))});
        QVERIFY(labelOf(frm, "lblstat")->isHidden());
    }

    void serverNeverAnswers()
    {
        HttpTestServer server;
        HttpTestServer::Response r;
        r.stall = true;
        server.setResponse(kVersionPath, r);
        qputenv("TALLYVANE_UPDATE_URL", server.baseUrl().toString().toUtf8());
        ScriptedPrompts prompts;
        UpdateCheckWindow frm({});
        control<UpdateCheck>(frm, "Inet1")->setFetchTimeout(600);
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));

        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(20);
        QSignalSpy finished(&frm, &UpdateCheckWindow::checkFinished);
        QElapsedTimer clock;
        clock.start();
        frm.checkNow();
        QVERIFY(frm.checking()); // the press returned while the check goes on
        QTRY_COMPARE(labelOf(frm, "lblstat")->text(), QStringLiteral("Checking for Updates"));
        QVERIFY(labelOf(frm, "lblstat")->isVisible());
        QVERIFY(finished.wait(5000));
        QVERIFY(clock.elapsed() >= 540); // timers may fire a little early
        QVERIFY(ticks >= 10);            // the event loop ran all along
        QCOMPARE(prompts.texts(), QStringList{trapText(QStringLiteral("35761 (Request timed out)"),
                                                       QStringLiteral("cmdCheck_Click"))});
        QVERIFY(frm.isVisible());
        QCOMPARE(labelOf(frm, "lblstat")->text(), QStringLiteral("Update Check Failed"));
        QVERIFY(labelOf(frm, "lblVer")->text().isEmpty());
        QVERIFY(buttonOf(frm, "cmdUpdate")->isHidden());
    }

    void updateButtonStaysThroughLaterChecks()
    {
        HttpTestServer server;
        qputenv("TALLYVANE_UPDATE_URL", server.baseUrl().toString().toUtf8());
        ScriptedPrompts prompts;
        UpdateCheckWindow frm({});
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));

        server.setBody(kVersionPath, "1.3.0");
        QVERIFY(runCheck(frm));
        QCOMPARE(labelOf(frm, "lblstat")->text(), QStringLiteral("Update Available to 1.3.0"));
        QVERIFY(buttonOf(frm, "cmdUpdate")->isVisible());

        server.setBody(kVersionPath, "1.2.0");
        QVERIFY(runCheck(frm));
        QCOMPARE(labelOf(frm, "lblstat")->text(), QStringLiteral("No Updates Available"));
        QCOMPARE(labelOf(frm, "lblVer")->text(), QStringLiteral("1.2.0"));
        QVERIFY(buttonOf(frm, "cmdUpdate")->isVisible());
        QCOMPARE(server.requests().size(), 2);
        QVERIFY(prompts.shown().isEmpty());

        // Closed and opened again, the window starts afresh.
        QTest::keyClick(&frm, Qt::Key_Escape);
        QVERIFY(!frm.isVisible());
        frm.show();
        QVERIFY(buttonOf(frm, "cmdUpdate")->isHidden());
        QVERIFY(labelOf(frm, "lblstat")->isHidden());
        QVERIFY(labelOf(frm, "lblVer")->text().isEmpty());
    }

    void pressAgainWhileChecking()
    {
        HttpTestServer server;
        HttpTestServer::Response slow;
        slow.body = "1.3.0";
        slow.chunkBytes = 1;
        slow.chunkDelayMs = 150;
        server.setResponse(kVersionPath, slow);
        qputenv("TALLYVANE_UPDATE_URL", server.baseUrl().toString().toUtf8());
        ScriptedPrompts prompts;
        UpdateCheckWindow frm({});
        QSignalSpy finished(&frm, &UpdateCheckWindow::checkFinished);
        frm.checkNow();
        QTRY_COMPARE(server.requests().size(), 1);
        server.setBody(kVersionPath, "1.2.0");
        frm.checkNow();
        QVERIFY(finished.wait(5000));
        QTest::qWait(1000); // the first, dropped answer would have arrived by now
        QCOMPARE(finished.count(), 1);
        QCOMPARE(labelOf(frm, "lblstat")->text(), QStringLiteral("No Updates Available"));
        QVERIFY(buttonOf(frm, "cmdUpdate")->isHidden());
        QVERIFY(prompts.shown().isEmpty());
    }

    void updateStartsUpdaterAndEnds()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString ran = folder.filePath(QStringLiteral("ran.txt"));
        writeUpdater(folder.filePath(QStringLiteral("updaterKetbook")),
                     "#!/bin/sh\n{ echo \"args=$#\"; pwd; } > \"$(dirname \"$0\")/ran.tmp\"\n"
                     "mv \"$(dirname \"$0\")/ran.tmp\" \"$(dirname \"$0\")/ran.txt\"\n");
        setProgramFolder(folder.path());

        // A check still waiting on the server when the button is pressed.
        HttpTestServer server;
        HttpTestServer::Response r;
        r.stall = true;
        server.setResponse(kVersionPath, r);
        qputenv("TALLYVANE_UPDATE_URL", server.baseUrl().toString().toUtf8());

        QStringList events;
        setEndProgramHandler([&] { events << QStringLiteral("end"); });
        ScriptedPrompts prompts;
        UpdateCheckWindow frm([&] { events << QStringLiteral("save"); });
        control<UpdateCheck>(frm, "Inet1")->setFetchTimeout(300);
        frm.checkNow();
        QTRY_COMPARE(server.requests().size(), 1);

        frm.startUpdater();
        QCOMPARE(events, (QStringList{QStringLiteral("save"), QStringLiteral("end")}));
        QVERIFY(programEnding());
        QVERIFY(!control<UpdateCheck>(frm, "Inet1")->busy());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ran), 5000);
        QFile f(ran);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QStringLiteral("args=0"));
        QCOMPARE(QFileInfo(lines.value(1)).canonicalFilePath(), QFileInfo(folder.path()).canonicalFilePath());
        QTest::qWait(500); // the cancelled fetch reports nothing
        QVERIFY(prompts.shown().isEmpty());
    }

    void updateFails_data()
    {
        QTest::addColumn<QByteArray>("updater"); // empty: no file
        QTest::addColumn<bool>("executable");
        QTest::addColumn<bool>("saveFails");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("updaterRuns");

        const QByteArray script("#!/bin/sh\ntouch \"$(dirname \"$0\")/ran.txt\"\n");
        QTest::newRow("updater missing")
            << QByteArray() << false << false
            << trapText(QStringLiteral("53 (File not found)"), QStringLiteral("cmdUpdate_Click")) << false
            << false;
        QTest::newRow("updater not executable")
            << script << false << false
            << trapText(QStringLiteral("70 (Permission denied)"), QStringLiteral("cmdUpdate_Click")) << false
            << false;
        // The updater never starts beside a copy whose typed text could not be saved.
        QTest::newRow("save fails") << script << true << true
                                    << trapText(QStringLiteral("61 (Disk full)"),
                                                QStringLiteral("cmdUpdate_Click"))
                                    << false << false;
    }
    void updateFails()
    {
        QFETCH(QByteArray, updater);
        QFETCH(bool, executable);
        QFETCH(bool, saveFails);
        QFETCH(QString, message);
        QFETCH(bool, saved);
        QFETCH(bool, updaterRuns);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("updaterKetbook"));
        if (!updater.isEmpty()) {
            writeUpdater(path, updater);
            if (!executable) QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        }
        setProgramFolder(folder.path());

        ScriptedPrompts prompts;
        bool wrote = false;
        UpdateCheckWindow frm([&] {
            if (saveFails) throw AppError(Err::DiskFull);
            wrote = true;
        });
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));
        frm.startUpdater();
        QCOMPARE(prompts.texts(), QStringList{message});
        QCOMPARE(wrote, saved);
        QCOMPARE(m_ended, 0);
        QVERIFY(!programEnding());
        QVERIFY(frm.isVisible());
        const QString ran = folder.filePath(QStringLiteral("ran.txt"));
        if (updaterRuns)
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ran), 5000);
        else {
            QTest::qWait(200);
            QVERIFY(!QFile::exists(ran));
        }
    }

private:
    static void writeUpdater(const QString &path, const QByteArray &script)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(script);
        f.close();
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    int m_ended = 0;
};

QTEST_MAIN(tst_UpdateCheckWindow)
#include "tst_updatecheckwindow.moc"
