#include "Controls.h"
#include "PgTestServer.h"
#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "WindowInput.h"
#include "app/AboutDialog.h"
#include "app/ManualWindow.h"
#include "app/TipOfTheDay.h"
#include "common/EndProgram.h"
#include "items/SqliteConnection.h"
#include "mainwindow/ItemBinding.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/ReorderStatusLine.h"
#include "report/ReportWindow.h"
#include "report/ReportWriter.h"
#include "scanner/KeyboardScan.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBrowser>
#include <QToolBar>
#include <QtTest>
#include <memory>
#include <optional>
#include <qpa/qwindowsysteminterface.h>
#include <sqlite3.h>
#include <unistd.h>

using namespace tv;
using tv::test::clickInWindow;
using tv::test::makeRow;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

namespace {
int g_ended = 0;

ItemRow rowWithPicture(const QString &name, const QString &num, const QString &picture)
{
    ItemRow r = makeRow(name, num, 2, QStringLiteral("1.25"), QStringLiteral("Hartwell"),
                        QStringLiteral("2024-03-07"), QStringLiteral("INV-1"));
    r.image = picture;
    return r;
}

// A network path to the test server that can start swallowing everything, as a router or a
// server that stops answering does: connections are still taken, nothing reaches either side.
class SilentPath : public QObject
{
public:
    explicit SilentPath(int target) : m_target(static_cast<quint16>(target))
    {
        if (!m_listener.listen(QHostAddress::LocalHost)) qFatal("cannot listen on 127.0.0.1");
        connect(&m_listener, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = m_listener.nextPendingConnection())
                take(client);
        });
    }
    int port() const { return m_listener.serverPort(); }
    // Connections made while silent stay silent for good, as those of a vanished peer do.
    void setForwarding(bool on)
    {
        m_forwarding = on;
        if (!on) ++m_generation;
    }

private:
    void take(QTcpSocket *client)
    {
        const int generation = m_generation;
        const auto live = [this, generation] { return m_forwarding && generation == m_generation; };
        if (!m_forwarding) {
            connect(client, &QTcpSocket::readyRead, client, [client] { client->readAll(); });
            return;
        }
        auto *server = new QTcpSocket(client);
        server->connectToHost(QHostAddress::LocalHost, m_target);
        connect(client, &QTcpSocket::readyRead, server, [client, server, live] {
            const QByteArray data = client->readAll();
            if (live()) server->write(data);
        });
        connect(server, &QTcpSocket::readyRead, client, [client, server, live] {
            const QByteArray data = server->readAll();
            if (live()) client->write(data);
        });
        connect(server, &QTcpSocket::disconnected, client, [client, live] {
            if (live()) client->disconnectFromHost();
        });
        connect(client, &QTcpSocket::disconnected, server, [server] { server->disconnectFromHost(); });
    }

    QTcpServer m_listener;
    quint16 m_target;
    bool m_forwarding = true;
    int m_generation = 0;
};

// Clicks and keys the way the window system delivers them: to the window, at the control's place.
void typeInWindow(QWidget *top, const QString &text)
{
    QTest::keyClick(top->windowHandle(), Qt::Key_End);
    for (const QChar c : text)
        QTest::keyClick(top->windowHandle(), c.toLatin1());
}

QString writePicture(const TestFolder &folder, const QString &name, QColor colour)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = folder.file(name);
    if (!image.save(path)) qFatal("cannot write a test picture");
    return path;
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { tv::test::useTestSettings(); }
    void init()
    {
        TipOfTheDay tips(nullptr);
        tips.setShowAtStartup(false);
        g_ended = 0;
        setEndProgramHandler([] { ++g_ended; });
    }
    void cleanup() { setEndProgramHandler({}); }

    void titleText_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("lastRowDeleted");
        QTest::addColumn<QString>("title");
        QTest::newRow("0") << 0 << false << "  Tallyvane     Total Entries Is:  0  Record";
        QTest::newRow("1") << 1 << false << "  Tallyvane     Total Entries Is:  1  Record";
        QTest::newRow("2") << 2 << false << "  Tallyvane     Total Entries Are:  2  Records";
        QTest::newRow("1234 ungrouped")
            << 1234 << false << "  Tallyvane     Total Entries Are:  1234  Records";
        QTest::newRow("0 after last delete") << 0 << true << "  Tallyvane     Total Entries Is:  0  Records";
    }
    void titleText()
    {
        QFETCH(int, count);
        QFETCH(bool, lastRowDeleted);
        QFETCH(QString, title);
        QCOMPARE(MainWindow::recordCountTitle(count, lastRowDeleted), title);
    }

    void titleAndFirstItemAfterLoad_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << 0 << "  Tallyvane     Total Entries Is:  0  Record"
                               << "Click 'Create New Entry' Button to Begin";
        QTest::newRow("one") << 1 << "  Tallyvane     Total Entries Is:  1  Record"
                             << "Item 0";
        QTest::newRow("two") << 2 << "  Tallyvane     Total Entries Are:  2  Records"
                             << "Item 0";
        QTest::newRow("1234") << 1234 << "  Tallyvane     Total Entries Are:  1234  Records"
                              << "Item 0";
    }
    void titleAndFirstItemAfterLoad()
    {
        QFETCH(int, rows);
        QFETCH(QString, title);
        QFETCH(QString, name);
        TestFolder folder;
        std::vector<ItemRow> items;
        for (int i = 0; i < rows; ++i)
            items.push_back(makeRow(QStringLiteral("Item %1").arg(i), QStringLiteral("N%1").arg(i)));
        folder.addRows(items);
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        QCOMPARE(w.objectName(), QStringLiteral("frmMain"));
        QCOMPARE(w.windowTitle(), title);
        QCOMPARE(w.txtfield(3)->text(), name);
        QCOMPARE(w.grid()->model()->rowCount(), rows);
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join('\n')));
        QCOMPARE(w.cdl1InitDir(), QDir::currentPath());
    }

    void titleAfterTheLastRowWasDeleted()
    {
        TestFolder folder;
        folder.addRows({makeRow("Only", "1")});
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        w.recordSet().deleteCurrent();
        w.refreshTitle(true);
        QCOMPARE(w.windowTitle(), QStringLiteral("  Tallyvane     Total Entries Is:  0  Records"));
        QCOMPARE(w.grid()->model()->rowCount(), 0);
    }

    void loadFailuresAreTrappedAndTheWindowStillShows_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("missing") << "missing"
                                 << "Could not find file";
        QTest::newRow("old file of another program") << "foreign"
                                                     << "Unrecognized database format";
        QTest::newRow("database without Items") << "noitems"
                                                << "no Items table";
        QTest::newRow("locked by another program") << "locked"
                                                   << "file already in use";
        QTest::newRow("read-only") << "readonly"
                                   << "read-only";
        // A server that cannot be used never falls back to the file beside the program.
        QTest::newRow("server address of another kind") << "badaddress"
                                                        << "cannot be used";
        QTest::newRow("no server at the address") << "noserver"
                                                  << "cannot be reached";
    }
    void loadFailuresAreTrappedAndTheWindowStillShows()
    {
        QFETCH(QString, kind);
        QFETCH(QString, fragment);
        if (kind == QLatin1String("readonly") && geteuid() == 0)
            QSKIP("file permissions do not bind the superuser");
        TestFolder folder(kind != QLatin1String("missing") && kind != QLatin1String("foreign") &&
                          kind != QLatin1String("noitems"));
        const auto unsetServer = qScopeGuard([] { qunsetenv("TALLYVANE_DATABASE"); });
        if (kind == QLatin1String("badaddress"))
            qputenv("TALLYVANE_DATABASE", "mysql://kim@127.0.0.1/shop");
        else if (kind == QLatin1String("noserver"))
            qputenv("TALLYVANE_DATABASE", "postgresql://kim@127.0.0.1:1/shop");
        std::optional<SqliteConnection> lock;
        if (kind == QLatin1String("foreign")) {
            QFile f(folder.databasePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2000, '\x7f'));
        } else if (kind == QLatin1String("noitems")) {
            sqlite3 *db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(folder.databasePath()).constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, "create table Other (x)", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        } else if (kind == QLatin1String("locked")) {
            lock.emplace(folder.databasePath(), SqliteConnection::Access::Unchecked);
            QVERIFY(lock->tryExec("BEGIN EXCLUSIVE"));
        } else if (kind == QLatin1String("readonly")) {
            QFile::setPermissions(folder.databasePath(), QFileDevice::ReadOwner);
        }
        {
            ScriptedPrompts prompts;
            auto wWindow = makeMainWindow();
            MainWindow &w = *wWindow;
            QTRY_COMPARE(prompts.shown().size(), 1); // a server is asked once the window runs
            const QString text = prompts.last().text;
            QVERIFY2(text.contains(fragment), qPrintable(text));
            QVERIFY2(text.endsWith(QLatin1String(". In procedure Form_Load of Form frmMain")),
                     qPrintable(text));
            QVERIFY(text.startsWith(QLatin1String("Error ")));
            w.show();
            QVERIFY(w.isVisible());
            QVERIFY(!w.recordSet().isOpen());
            // Nothing to save: Exit ends the program without asking.
            w.button(QStringLiteral("cmdExit"))->click();
            QCOMPARE(g_ended, 1);
            QCOMPARE(prompts.shown().size(), 1);
        }
        lock.reset();
        if (kind == QLatin1String("missing")) QVERIFY(!QFile::exists(folder.databasePath()));
    }

    // With a server: the title names it and follows other workstations; the file-level backup
    // and restore refuse; the about box and the manual say where the items are kept.
    void onAServer()
    {
        test::PgTestServer server;
        const QString error = server.setUp();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(server.psql(QStringLiteral("insert into items (ItemDesc, ItemNum) values ('Hinge', 'H1'), "
                                            "('Shelf', 'S2')")),
                 QString());
        TestFolder folder;
        qputenv("TALLYVANE_DATABASE", server.url().toUtf8());
        const auto unsetServer = qScopeGuard([] { qunsetenv("TALLYVANE_DATABASE"); });
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        const QString suffix = QStringLiteral("  -  ") + server.url();
        QTRY_COMPARE(w.windowTitle(),
                     QStringLiteral("  Tallyvane     Total Entries Are:  2  Records") + suffix);
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join('\n')));
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Hinge"));

        QCOMPARE(server.psql(QStringLiteral("insert into items (ItemDesc, ItemNum) values ('Hook', 'K3')")),
                 QString());
        QTRY_COMPARE(w.windowTitle(),
                     QStringLiteral("  Tallyvane     Total Entries Are:  3  Records") + suffix);
        QCOMPARE(w.grid()->model()->rowCount(), 3);

        const auto fileBytes = [&folder] {
            QFile f(folder.databasePath());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray fileBefore = fileBytes();
        for (const char *key : {"first", "second"}) { // Backup, Restore
            const qsizetype before = prompts.shown().size();
            w.toolbarButtonClicked(QString::fromLatin1(key));
            QCOMPARE(prompts.shown().size(), before + 1);
            QVERIFY2(prompts.last().text.contains(QLatin1String("pg_dump")), qPrintable(prompts.last().text));
        }
        QCOMPARE(fileBytes(), fileBefore);
        QVERIFY(!QFile::exists(folder.file(QStringLiteral("Backup"))));
        w.toolbarButtonClicked(QStringLiteral("fifth"));
        const auto *about = w.findChild<AboutDialog *>();
        QVERIFY(about);
        const QString aboutText = control<QTextBrowser>(*about, "RichTextBox1")->toPlainText();
        QVERIFY2(aboutText.contains(QStringLiteral("the server ") + server.url()), qPrintable(aboutText));
        w.toolbarButtonClicked(QStringLiteral("third"));
        const auto *manual = w.findChild<ManualWindow *>();
        QVERIFY(manual);
        QVERIFY(control<QLabel>(*manual, "lblDatabase")->text().contains(server.url()));

        QCOMPARE(server.psql(QStringLiteral("delete from items where ItemNum = 'H1'")), QString());
        QTRY_COMPARE(prompts.shown().size(), 3);
        QVERIFY2(prompts.last().text.contains(QLatin1String("deleted at another workstation")),
                 qPrintable(prompts.last().text));
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Shelf"));

        // The server goes away: the save says so and the typed text stays; once it is back, the
        // window finds it by itself and the same save goes through.
        QCOMPARE(server.stop(), QString());
        QTest::mouseClick(w.txtfield(3), Qt::LeftButton);
        QTest::keyClicks(w.txtfield(3), QStringLiteral(" 2"));
        const qsizetype before = prompts.shown().size();
        QTest::mouseClick(w.button(QStringLiteral("cmdSave")), Qt::LeftButton);
        QCOMPARE(prompts.shown().size(), before + 1);
        QVERIFY2(prompts.last().text.contains(QLatin1String("cannot be reached")),
                 qPrintable(prompts.last().text));
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Shelf 2"));
        QCOMPARE(server.start(), QString());
        QTest::mouseClick(w.button(QStringLiteral("cmdSave")), Qt::LeftButton);
        QCOMPARE(prompts.shown().size(), before + 1);
        QCOMPARE(server.psql(QStringLiteral("select ItemDesc from items where ItemNum = 'S2'")).trimmed(),
                 QStringLiteral("Shelf 2"));
    }

    // A server that does not answer never holds the window up: while a command waits for it the
    // window's events run and typing goes on, the line under the window says the server is away,
    // and what was typed is kept and saved once the server answers again.
    void aServerThatDoesNotAnswer_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("silent from the start") << "load";
        QTest::newRow("stops answering while in use") << "silent";
        QTest::newRow("item locked by another workstation") << "locked";
    }
    void aServerThatDoesNotAnswer()
    {
        QFETCH(QString, fault);
        test::PgTestServer server;
        const QString error = server.setUp();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(server.psql(QStringLiteral("insert into items (ItemDesc, ItemNum) values ('Hinge', 'H1'), "
                                            "('Shelf', 'S2')")),
                 QString());
        SilentPath path(server.port());
        path.setForwarding(fault != QLatin1String("load"));
        ServerAddress address = server.address();
        address.port = path.port();
        TestFolder folder;
        qputenv("TALLYVANE_DATABASE", address.url().toUtf8());
        qputenv("TALLYVANE_SERVER_TIMEOUT_MS", "1000");
        const auto unset = qScopeGuard([] {
            qunsetenv("TALLYVANE_DATABASE");
            qunsetenv("TALLYVANE_SERVER_TIMEOUT_MS");
        });
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        auto *state = w.findChild<QLabel *>(QStringLiteral("lblServerState"));
        QVERIFY(state);
        const QString title =
            QStringLiteral("  Tallyvane     Total Entries Are:  2  Records  -  ") + address.url();

        // Beats of the window's event loop, and keys typed through the window, while a command waits.
        int beatsWhileWaiting = 0;
        bool typed = false;
        QStringList statesWhileWaiting; // what the line under the window said meanwhile
        QTimer beat;
        beat.setInterval(20);
        connect(&beat, &QTimer::timeout, &w, [&] {
            if (!w.recordSet().isBusy()) return;
            ++beatsWhileWaiting;
            const QString said = state->isVisible() ? state->text() : QString();
            if (statesWhileWaiting.isEmpty() || statesWhileWaiting.constLast() != said)
                statesWhileWaiting << said;
            if (typed || !w.recordSet().isOpen()) return;
            typed = true;
            w.txtfield(4)->setFocus();
            typeInWindow(&w, QStringLiteral("Z"));
        });
        beat.start();
        w.show(); // the rows are read once it shows

        if (fault == QLatin1String("load")) {
            QTRY_COMPARE_WITH_TIMEOUT(prompts.shown().size(), 1, 20000);
            QVERIFY2(prompts.last().text.contains(QLatin1String("cannot be reached")),
                     qPrintable(prompts.last().text));
            QVERIFY(beatsWhileWaiting > 0);
            QVERIFY2(statesWhileWaiting.constFirst().startsWith(
                         QLatin1String("Connecting to the inventory server")),
                     qPrintable(statesWhileWaiting.join('|')));
            QVERIFY(state->isVisible());
            QVERIFY2(state->text().contains(QLatin1String("not answering")), qPrintable(state->text()));
            path.setForwarding(true);
            QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), title, 20000);
            QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Hinge"));
            QTRY_VERIFY(!state->isVisible());
            QCOMPARE(prompts.shown().size(), 1);
            return;
        }

        QTRY_COMPARE(w.windowTitle(), title);
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        clickInWindow(w.button(QStringLiteral("cmdNext")));
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Shelf"));
        beatsWhileWaiting = 0; // from here on, only the save waits
        statesWhileWaiting.clear();
        clickInWindow(w.txtfield(3));
        typeInWindow(&w, QStringLiteral(" 2"));
        std::optional<QSqlDatabase> holder;
        const auto dropHolder = qScopeGuard([&holder] {
            if (!holder) return;
            const QString name = holder->connectionName();
            holder->close();
            holder.reset();
            QSqlDatabase::removeDatabase(name);
        });
        if (fault == QLatin1String("locked")) {
            // Another workstation holds the row in a transaction of its own.
            holder = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("holder"));
            holder->setHostName(server.address().host);
            holder->setPort(server.port());
            holder->setUserName(server.address().user);
            holder->setDatabaseName(server.address().database);
            QVERIFY2(holder->open(), qPrintable(holder->lastError().text()));
            QVERIFY(holder->transaction());
            QSqlQuery hold(*holder);
            QVERIFY2(hold.exec(QStringLiteral("update items set ItemCnt = 7 where ItemNum = 'S2'")),
                     qPrintable(hold.lastError().text()));
        } else {
            path.setForwarding(false);
        }
        clickInWindow(w.button(QStringLiteral("cmdSave")));
        QTRY_COMPARE_WITH_TIMEOUT(prompts.shown().size(), 1, 20000);
        const QString said = prompts.last().text;
        QVERIFY2(said.contains(fault == QLatin1String("locked")
                                   ? QLatin1String("changing this item right now")
                                   : QLatin1String("cannot be reached")),
                 qPrintable(said));
        QVERIFY(beatsWhileWaiting > 0);
        QVERIFY(typed);
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Shelf 2"));
        QCOMPARE(w.txtfield(4)->text(), QStringLiteral("S2Z"));
        if (fault == QLatin1String("silent")) {
            QVERIFY2(
                statesWhileWaiting.contains(QStringLiteral("Waiting for the inventory server to answer...")),
                qPrintable(statesWhileWaiting.join('|')));
            QTRY_VERIFY(state->isVisible() && state->text().contains(QLatin1String("not answering")));
        }
        QTest::keyClick(w.windowHandle(), Qt::Key_Tab); // leaves the number: it is taken in too

        if (fault == QLatin1String("locked")) {
            QVERIFY(holder->rollback());
            clickInWindow(w.button(QStringLiteral("cmdSave")));
        } else {
            path.setForwarding(true); // saved by itself once the server answers again
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            server
                .psql(QStringLiteral("select ItemDesc || '/' || ItemNum from items where ItemNum like 'S2%'"))
                .trimmed(),
            QStringLiteral("Shelf 2/S2Z"), 20000);
        QTRY_VERIFY(!state->isVisible());
        QCOMPARE(prompts.shown().size(), 1);
        QVERIFY(!w.recordSet().isDirty());
    }

    // Exit and the close box ask the same question; a save that fails after "Yes" (a field refuses
    // its text, another program holds the file) keeps the window open with the typed text.
    void exitFlows_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("byClose");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("failure"); // "count": a refused unit count; "locked": the file held
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<QString>("stored"); // the first row's name in the file afterwards
        const int yes = int(MsgAnswer::Yes), no = int(MsgAnswer::No), cancel = int(MsgAnswer::Cancel);
        QTest::newRow("empty table, Exit") << 0 << false << yes << "" << false << true << QString();
        QTest::newRow("empty table, close") << 0 << true << yes << "" << false << true << QString();
        QTest::newRow("Exit, Yes writes typed text") << 2 << false << yes << "" << true << true << "typed";
        QTest::newRow("close, Yes writes typed text") << 2 << true << yes << "" << true << true << "typed";
        QTest::newRow("Exit, No") << 2 << false << no << "" << true << true << "Item A";
        QTest::newRow("close, No") << 2 << true << no << "" << true << true << "Item A";
        QTest::newRow("Exit, Cancel") << 2 << false << cancel << "" << true << false << "Item A";
        QTest::newRow("close, Cancel") << 2 << true << cancel << "" << true << false << "Item A";
        QTest::newRow("Exit, Yes, count refused")
            << 2 << false << yes << "count" << true << false << "Item A";
        QTest::newRow("close, Yes, count refused")
            << 2 << true << yes << "count" << true << false << "Item A";
        QTest::newRow("Exit, Yes, file held") << 2 << false << yes << "locked" << true << false << "Item A";
        QTest::newRow("close, Yes, file held") << 2 << true << yes << "locked" << true << false << "Item A";
    }
    void exitFlows()
    {
        QFETCH(int, rows);
        QFETCH(bool, byClose);
        QFETCH(int, answer);
        QFETCH(QString, failure);
        QFETCH(bool, asked);
        QFETCH(bool, ended);
        QFETCH(QString, stored);
        TestFolder folder;
        if (rows > 0) folder.addRows({makeRow("Item A", "A1"), makeRow("Item B", "B1")});
        ScriptedPrompts prompts;
        prompts.answer(static_cast<MsgAnswer>(answer));
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        if (rows > 0) w.txtfield(3)->setText(QStringLiteral("typed"));
        if (failure == QLatin1String("count")) w.txtfield(5)->setText(QStringLiteral("many"));
        std::optional<SqliteConnection> lock;
        if (failure == QLatin1String("locked")) {
            lock.emplace(folder.databasePath(), SqliteConnection::Access::Unchecked);
            QVERIFY(lock->tryExec("BEGIN EXCLUSIVE"));
        }
        if (byClose) // the close box, as the window system reports it
            QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
                w.windowHandle());
        else
            w.button(QStringLiteral("cmdExit"))->click();
        QCOMPARE(g_ended, ended ? 1 : 0);
        if (asked) {
            QCOMPARE(prompts.shown().size(), failure.isEmpty() ? 1 : 2);
            const auto &question = prompts.shown().first();
            QCOMPARE(question.text, QStringLiteral("Ready to Exit, Do You Want to Save your Data?"));
            QCOMPARE(question.buttons, MsgButtons::YesNoCancel);
            QCOMPARE(question.icon, MsgIcon::Question);
            QCOMPARE(question.title, QStringLiteral("Tallyvane"));
        } else {
            QVERIFY(prompts.shown().isEmpty());
        }
        if (failure == QLatin1String("count")) {
            QCOMPARE(
                prompts.last().text,
                QStringLiteral("The Unit Count \"many\" is not a whole number. Type a number of units such "
                               "as 12."));
            QCOMPARE(prompts.last().title, QStringLiteral("Data Entry Error"));
        }
        QCOMPARE(w.isVisible(), !ended || !byClose);
        if (!ended) {
            // The window, the row and the typed text stay as they were.
            QCOMPARE(w.txtfield(3)->text(), QStringLiteral("typed"));
            if (failure == QLatin1String("count")) QCOMPARE(w.txtfield(5)->text(), QStringLiteral("many"));
            QCOMPARE(w.recordSet().position(), 0);
            if (failure.isEmpty()) QVERIFY(w.binding().isPending(w.txtfield(3)));
        }
        lock.reset();
        if (rows > 0) {
            ItemRecordSet again(folder.databasePath());
            again.open();
            QCOMPARE(again.row(0).itemDesc, stored);
        }
    }

    void pictureFollowsTheRows()
    {
        TestFolder folder;
        const QString red = writePicture(folder, QStringLiteral("red.png"), Qt::red);
        const QString blue = writePicture(folder, QStringLiteral("blue.jpg"), Qt::blue);
        const QString gone = folder.file(QStringLiteral("gone.jpg"));
        folder.addRows({rowWithPicture("A", "1", red), rowWithPicture("B", "2", QStringLiteral("0")),
                        rowWithPicture("C", "3", gone), rowWithPicture("D", "4", blue)});
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        w.show();
        QLabel *image = w.picture();
        QVERIFY(image->isVisible());
        QCOMPARE(QColor(image->pixmap().toImage().pixel(10, 10)), QColor(Qt::red));
        QCOMPARE(w.picturePath(), red);
        QPushButton *next = w.button(QStringLiteral("cmdNext"));
        QTest::mouseClick(next, Qt::LeftButton);
        QVERIFY(!image->isVisible()); // "0": no picture
        QCOMPARE(w.picturePath(), QStringLiteral("0"));
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(prompts.texts(),
                 QStringList{"Error 53 (File not found) at line 6. In procedure View of Form frmMain"});
        QVERIFY(!image->isVisible()); // keeps what it had
        QTest::mouseClick(next, Qt::LeftButton);
        QVERIFY(image->isVisible());
        const QColor shown(image->pixmap().toImage().pixel(10, 10));
        QVERIFY2(shown.blue() > 200 && shown.red() < 50, qPrintable(shown.name()));

        // Keys in the grid: a missing picture is noted in the box, not a message at every key.
        prompts.clear();
        QTableView *grid = w.grid();
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Up);
        QCOMPARE(w.recordSet().position(), 2);
        QVERIFY(prompts.shown().isEmpty());
        QVERIFY(image->isVisible());
        QVERIFY2(image->text().contains(QStringLiteral("File not found")), qPrintable(image->text()));
        QTest::keyClick(grid, Qt::Key_Up);
        QVERIFY(!image->isVisible());
        QVERIFY(prompts.shown().isEmpty());
    }

    // A scanner that types like a keyboard, its keys pressed through the window system with the
    // times it stamps on them: capitals come with a Shift press of their own, symbols (on some
    // layouts) with AltGr. Its codes go to the items as Send to Ketbook sends them and leave the
    // field as it was; a person typing, and a scan while a message box is open, change nothing of
    // the kind. What counts is when the keys were pressed, not when a busy window handled them; a
    // code that comes while one is being sent waits for it.
    void keyboardScans_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("gapMs");         // between the stamps of two characters
        QTest::addColumn<int>("handling");      // Handling
        QTest::addColumn<bool>("altGr");        // an AltGr press before each symbol
        QTest::addColumn<QString>("meanwhile"); // a second code while the first is sent
        QTest::addColumn<bool>("boxOpen");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("nameField");
        const int atOnce = AtOnce, late = Late, queued = Queued;
        QTest::newRow("scan into the item name")
            << "xabc-2" << 5 << atOnce << false << "" << false << 1 << 2 << "Beta";
        QTest::newRow("capitals typed with Shift")
            << "XABC-2" << 5 << atOnce << false << "" << false << 1 << 2 << "Beta";
        QTest::newRow("symbols typed with AltGr")
            << "xabc-2" << 5 << atOnce << true << "" << false << 1 << 2 << "Beta";
        QTest::newRow("typist at 60 ms a key")
            << "xabc-2" << 60 << atOnce << false << "" << false << 0 << 2 << "Alphaxabc-2";
        QTest::newRow("unknown code") << "NEW-9" << 5 << atOnce << false << "" << false << 2 << 3 << "";
        QTest::newRow("scan handled late by a busy window")
            << "xabc-2" << 5 << late << false << "" << false << 1 << 2 << "Beta";
        QTest::newRow("typist's keys handled at once after a busy spell")
            << "xabc-2" << 60 << queued << false << "" << false << 0 << 2 << "Alphaxabc-2";
        QTest::newRow("second code while the first is sent")
            << "xabc-2" << 5 << atOnce << false << "NEW-9" << false << 2 << 3 << "";
        QTest::newRow("scan while a box is open")
            << "XABC-2" << 5 << atOnce << false << "" << true << 0 << 2 << "Alpha";
    }
    void keyboardScans()
    {
        QFETCH(QString, keys);
        QFETCH(int, gapMs);
        QFETCH(int, handling);
        QFETCH(bool, altGr);
        QFETCH(QString, meanwhile);
        QFETCH(bool, boxOpen);
        QFETCH(int, row);
        QFETCH(int, stored);
        QFETCH(QString, nameField);
        TestFolder folder;
        folder.addRows({makeRow("Alpha", "X-100"), makeRow("Beta", "XABC-2")});
        ScriptedPrompts prompts;
        setKeyboardScannersAccepted(true);
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QMessageBox box(QMessageBox::Question, QStringLiteral("Tallyvane"), QStringLiteral("Save?"),
                        QMessageBox::Yes | QMessageBox::No);
        w.txtfield(3)->setFocus();
        w.txtfield(3)->end(false);
        if (boxOpen) {
            box.setWindowModality(Qt::ApplicationModal);
            box.show();
            QVERIFY(QTest::qWaitForWindowActive(&box));
        }
        QWindow *window = QGuiApplication::focusWindow();
        QVERIFY(window);
        const auto mode = static_cast<Handling>(handling);
        ulong at = 100000;
        for (const QChar c : keys) {
            if (mode == Late) QTest::qWait(40);
            typeChar(window, at, c, altGr, mode);
            at += static_cast<ulong>(gapMs);
        }
        if (mode == Late) QTest::qWait(40);
        bool sentMeanwhile = false;
        if (!meanwhile.isEmpty()) {
            // The first scan's search moves to the first row: the next code arrives right then.
            connect(&w.recordSet(), &ItemRecordSet::currentChanged, &w, [&] {
                if (sentMeanwhile) return;
                sentMeanwhile = true;
                w.keyboardScan(meanwhile);
            });
        }
        sendKey(window, QEvent::KeyPress, at, Qt::Key_Return, {}, QStringLiteral("\r"), mode);
        sendKey(window, QEvent::KeyRelease, at + 1, Qt::Key_Return, {}, QStringLiteral("\r"), mode);
        if (mode == Queued) QWindowSystemInterface::flushWindowSystemEvents();
        QCoreApplication::processEvents();
        QCOMPARE(sentMeanwhile, !meanwhile.isEmpty());
        QCOMPARE(box.isVisible(), boxOpen); // the scanner's Enter never answers a box
        QCOMPARE(w.recordSet().position(), row);
        QCOMPARE(w.txtfield(3)->text(), nameField);
        if (row == 2) QCOMPARE(w.txtfield(4)->text(), meanwhile.isEmpty() ? keys : meanwhile);
        w.recordSet().save();
        ItemRecordSet file(folder.databasePath());
        file.open();
        QCOMPARE(file.recordCount(), stored);
        QCOMPARE(file.row(0).itemDesc,
                 nameField.startsWith(QLatin1String("Alpha")) ? nameField : QStringLiteral("Alpha"));
        QVERIFY(prompts.shown().isEmpty());
    }

    void buttonsMoveFieldsAndGrid()
    {
        TestFolder folder;
        folder.addRows({makeRow("Alpha", "A-1", 3, "2.5", "Hartwell", "2024-03-07", "INV-1"),
                        makeRow("Beta", "B-2", 10, "1234", "Carver", "2023-12-31", "INV-2"),
                        makeRow("Gamma", "C-3", 0, "0", "Dunmore", "2022-01-02", "INV-3")});
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        w.show();
        QTableView *grid = w.grid();
        auto gridRow = [grid] { return grid->selectionModel()->currentIndex().row(); };
        auto click = [&w](const char *name) {
            QTest::mouseClick(w.button(QLatin1String(name)), Qt::LeftButton);
        };
        QCOMPARE(gridRow(), 0);

        click("cmdNext");
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Beta"));
        QCOMPARE(w.txtfield(4)->text(), QStringLiteral("B-2"));
        QCOMPARE(w.txtfield(5)->text(), QStringLiteral("10"));
        QCOMPARE(w.txtfield(6)->text(), QStringLiteral("$1,234.00"));
        QCOMPARE(w.txtfield(8)->text(), QStringLiteral("$12,340.00"));
        QCOMPARE(w.cboVendor()->currentText(), QStringLiteral("Carver"));
        QCOMPARE(w.cboDate()->currentText(), QStringLiteral("12/31/2023"));
        QCOMPARE(w.cboInvNum()->currentText(), QStringLiteral("INV-2"));
        QCOMPARE(gridRow(), 1);

        click("cmdLast");
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Gamma"));
        QCOMPARE(gridRow(), 2);
        click("cmdNext"); // one step past the end: no row, no message
        QVERIFY(!w.recordSet().hasCurrent());
        QCOMPARE(w.txtfield(3)->text(), QString());
        QCOMPARE(gridRow(), -1);
        click("cmdPrev");
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Gamma"));
        click("cmdFirst");
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Alpha"));
        QCOMPARE(gridRow(), 0);

        // Typed text travels with a move into the file and into the grid.
        w.txtfield(3)->setFocus();
        w.txtfield(3)->selectAll();
        QTest::keyClicks(w.txtfield(3), QStringLiteral("Alpha Prime"));
        click("cmdNext");
        QCOMPARE(grid->model()->index(0, 0).data().toString(), QStringLiteral("Alpha Prime"));

        // Selecting a line in the grid makes that row current.
        grid->selectionModel()->setCurrentIndex(
            grid->model()->index(2, 1), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QCOMPARE(w.recordSet().position(), 2);
        QCOMPARE(w.txtfield(4)->text(), QStringLiteral("C-3"));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(1, 0)).center());
        QCOMPARE(w.recordSet().position(), 1);
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Beta"));
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join('\n')));

        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(again.row(0).itemDesc, QStringLiteral("Alpha Prime"));
    }

    void typingANewItemIntoTheRealFields()
    {
        TestFolder folder;
        folder.addRows({makeRow("Alpha", "A-1", 3, "2.5", "Hartwell", "2024-03-07", "INV-1")});
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto click = [&w](const char *name) {
            QTest::mouseClick(w.button(QLatin1String(name)), Qt::LeftButton);
        };
        auto typeInto = [](QWidget *field, const QString &text) {
            QTest::mouseClick(field, Qt::LeftButton);
            QTest::keyClicks(field, text);
        };

        click("cmdAdd");
        QCOMPARE(QApplication::focusWidget(), w.cboVendor());
        QTest::keyClicks(w.cboVendor(), QStringLiteral("Carver & Sons"));
        typeInto(w.txtfield(3), QStringLiteral("Wing Nut M6"));
        typeInto(w.txtfield(4), QStringLiteral("WN-6"));
        typeInto(w.txtfield(5), QStringLiteral("3"));
        typeInto(w.txtfield(6), QStringLiteral("12x.345")); // the letter is refused
        QCOMPARE(prompts.texts(),
                 QStringList{QStringLiteral("You can only Enter the Symbols $  .  , and Numbers here!!")});
        QCOMPARE(w.txtfield(6)->text(), QStringLiteral("12.345"));
        w.cboDate()->setFocus();
        QCOMPARE(w.txtfield(6)->text(), QStringLiteral("12.34"));
        QCOMPARE(w.txtfield(8)->text(), QStringLiteral("37.02"));
        QTest::keyClicks(w.cboDate(), QStringLiteral("3/9/2025"));
        QCOMPARE(w.windowTitle(), QStringLiteral("  Tallyvane     Total Entries Is:  1  Record"));

        click("cmdSave");
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(w.windowTitle(), QStringLiteral("  Tallyvane     Total Entries Are:  2  Records"));
        QCOMPARE(w.grid()->model()->index(1, 4).data().toString(), QStringLiteral("$37.02"));

        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(again.recordCount(), 2);
        const ItemRow &saved = again.row(1);
        QCOMPARE(saved.itemDesc, QStringLiteral("Wing Nut M6"));
        QCOMPARE(saved.itemNum, QStringLiteral("WN-6"));
        QCOMPARE(saved.itemCnt, std::optional<qint64>(3));
        QCOMPARE(saved.itemCst->raw(), 123400);
        QCOMPARE(saved.totItemCst->raw(), 370200);
        QCOMPARE(saved.vendor, QStringLiteral("Carver & Sons"));
        QCOMPARE(saved.invDate, QStringLiteral("2025-03-09"));
    }

    // Another copy of the program on the same file, a real process: what it saves reaches the
    // grid, the title and the fields by itself, text typed here and not yet left stays; a change
    // it made to the item whose typed values were taken here refuses the save with a message.
    void anotherProgramOnTheSameFile_data()
    {
        QTest::addColumn<QString>("command"); // for the other program
        QTest::addColumn<QString>("typed");   // into the name here first: "", "kept" in the field, "taken"
        QTest::addColumn<QString>("save");    // "", "after" the change showed, "at once"
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name"); // the name and count fields afterwards
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("message");    // a fragment of the one message shown; empty for none
        QTest::addColumn<QStringList>("stored"); // ItemDesc:ItemCnt of each row in the file afterwards
        const QString two = QStringLiteral("  Tallyvane     Total Entries Are:  2  Records");
        QTest::newRow("item added there") << "add C3 Gamma 4"
                                          << "kept"
                                          << ""
                                          << "  Tallyvane     Total Entries Are:  3  Records"
                                          << "Alpha typed"
                                          << "3"
                                          << "" << QStringList{"Alpha:3", "Beta:5", "Gamma:4"};
        QTest::newRow("current item changed there, typing kept")
            << "count A1 9"
            << "kept"
            << "after" << two << "Alpha typed"
            << "9"
            << "" << QStringList{"Alpha typed:9", "Beta:5"};
        QTest::newRow("current item deleted there")
            << "delete A1"
            << ""
            << ""
            << "  Tallyvane     Total Entries Is:  1  Record"
            << "Beta"
            << "5"
            << "deleted at another workstation" << QStringList{"Beta:5"};
        QTest::newRow("current item changed there after typing here: save refused")
            << "count A1 9"
            << "taken"
            << "at once" << two << "Alpha"
            << "9" << ItemConflict::changedText() << QStringList{"Alpha:9", "Beta:5"};
    }
    void anotherProgramOnTheSameFile()
    {
        QFETCH(QString, command);
        QFETCH(QString, typed);
        QFETCH(QString, save);
        QFETCH(QString, title);
        QFETCH(QString, name);
        QFETCH(QString, count);
        QFETCH(QString, message);
        QFETCH(QStringList, stored);
        TestFolder folder;
        folder.addRows({makeRow("Alpha", "A1", 3), makeRow("Beta", "B2", 5)});
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        if (!typed.isEmpty()) {
            QTest::mouseClick(w.txtfield(3), Qt::LeftButton);
            QTest::keyClick(w.txtfield(3), Qt::Key_End);
            QTest::keyClicks(w.txtfield(3), QStringLiteral(" typed"));
            if (typed == QLatin1String("taken")) QTest::mouseClick(w.txtfield(4), Qt::LeftButton);
        }

        QProcess other;
        other.start(QStringLiteral(ITEM_WRITER), {QStringLiteral("edit"), folder.databasePath()});
        QVERIFY(other.waitForStarted());
        other.write(command.toUtf8() + '\n');
        other.closeWriteChannel();
        QVERIFY(other.waitForFinished());
        QCOMPARE(other.readAll().trimmed(), QByteArray("ok"));

        const auto clickSave = [&w] {
            QTest::mouseClick(w.button(QStringLiteral("cmdSave")), Qt::LeftButton);
        };
        if (save == QLatin1String("at once")) clickSave();
        QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), title, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(w.txtfield(5)->text(), count, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(prompts.shown().size(), message.isEmpty() ? 0 : 1, 2000);
        if (!message.isEmpty())
            QVERIFY2(prompts.last().text.contains(message), qPrintable(prompts.last().text));
        QCOMPARE(w.txtfield(3)->text(), name);
        QCOMPARE(w.grid()->model()->rowCount(), stored.size());
        if (save == QLatin1String("after")) {
            clickSave();
            QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join('\n')));
        }
        QCOMPARE(
            tv::test::querySql(folder.databasePath(),
                               QStringLiteral("select ItemDesc || ':' || ItemCnt from Items order by rowid")),
            stored);
    }

    void gridClickOnAnEmptyTable()
    {
        TestFolder folder;
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        w.show();
        QTest::mouseClick(w.grid()->viewport(), Qt::LeftButton);
        QCOMPARE(prompts.texts(), QStringList{"RecordSet is Empty"});
        QCOMPARE(prompts.last().title, QStringLiteral("No Records"));
        QCOMPARE(prompts.last().icon, MsgIcon::Stop);
    }

    void controlsCaptionsAndAccessibleNames()
    {
        TestFolder folder;
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        const QMap<QString, QString> captions{{"cmdAdd", "Add New Entry"},
                                              {"cmdSave", "Save Entry"},
                                              {"cmdDelete", "Delete Entry"},
                                              {"cmdFind", "Find Entry"},
                                              {"cmdFirst", "First Record"},
                                              {"cmdPrev", "Previous Record"},
                                              {"cmdNext", "Next Record"},
                                              {"cmdLast", "Last Record"},
                                              {"command1", "Add Picture"},
                                              {"command2", "Delete Picture"},
                                              {"cmdReport", "View Report"},
                                              {"cmdGenerate", "Generate Barcode"},
                                              {"cmdScan", "Scan Barcode"},
                                              {"cmdUpdate", "Check for Update"},
                                              {"cmdExit", "Exit"}};
        for (auto it = captions.cbegin(); it != captions.cend(); ++it) {
            QPushButton *b = w.button(it.key());
            QVERIFY2(b, qPrintable(it.key()));
            QCOMPARE(b->text().remove(QLatin1Char('&')), it.value());
            QVERIFY(b->isEnabled());
        }
        QStringList labels;
        for (const char *name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label8",
                                 "Label9", "lblReorderAt", "lblOrderQty"})
            labels << w.findChild<QLabel *>(QLatin1String(name))->text().remove(QLatin1Char('&'));
        QCOMPARE(labels,
                 QStringList({"Item Name :", "Item ID :", "Unit Count:", "Unit Cost :", "Total Unit Value :",
                              "Invoice ID :", "Vendor :", "Date :", "Reorder At :", "Order Qty :"}));
        QCOMPARE(w.findChild<QWidget *>(QStringLiteral("Frame1"))->property("title").toString(),
                 QStringLiteral("Item Image"));
        QVERIFY(w.txtfield(8)->isReadOnly());
        QVERIFY(w.txtfield(7)->isHidden());
        QVERIFY(w.txtfield(2) == nullptr && w.txtfield(11) == nullptr);
        QStringList keys, texts;
        for (QAction *a : w.toolbar()->actions()) {
            keys << a->data().toString();
            texts << a->text();
            QVERIFY(!a->icon().isNull());
        }
        QCOMPARE(keys, QStringList({"first", "second", "third", "fourth", "fifth", "export", "import",
                                    "history", "labels", "stocktake", "reorder"}));
        QCOMPARE(texts, QStringList({"Backup", "Restore", "Manual", "Tips", "About", "Export", "Import",
                                     "History", "Labels", "Stocktake", "Reorder"}));

        // Every control can be found by its name.
        const auto controls = w.findChildren<QWidget *>();
        for (QWidget *c : controls) {
            const bool control = qobject_cast<QAbstractButton *>(c) || qobject_cast<QLineEdit *>(c) ||
                                 qobject_cast<QComboBox *>(c) || qobject_cast<QTableView *>(c);
            if (!control || !c->isVisibleTo(&w) || (c->parent() && qobject_cast<QComboBox *>(c->parent())))
                continue;
            QVERIFY2(!c->accessibleName().isEmpty(),
                     qPrintable(c->objectName() + QLatin1Char(' ') + c->metaObject()->className()));
        }
        // Tab order follows the layout: the fields from top to bottom, then the buttons.
        QList<QWidget *> chain;
        QWidget *at = w.txtfield(3);
        for (int i = 0; i < 11; ++i) {
            chain << at;
            do
                at = at->nextInFocusChain();
            while (!(at->focusPolicy() & Qt::TabFocus) || at->isHidden() ||
                   qobject_cast<QComboBox *>(at->parentWidget()));
        }
        QCOMPARE(chain, (QList<QWidget *>{w.txtfield(3), w.txtfield(4), w.txtfield(5), w.txtfield(6),
                                          w.txtfield(8), w.cboInvNum(), w.cboVendor(), w.cboDate(),
                                          w.txtfield(9), w.txtfield(10), w.button("command1")}));
    }

    // "Reorder At :" typed and saved marks the item in the grid and in the line under it, whose
    // click (like the toolbar's "Reorder") shows reorder.html with the items at or below their
    // level; the CSV for the supplier is saved from the viewer. report.html does not change.
    void reorderLevelMarksAndLists_data()
    {
        QTest::addColumn<QStringList>("levels"); // typed into "Reorder At :" of the rows, in order
        QTest::addColumn<QString>("line");
        QTest::addColumn<QList<bool>>("marked");
        QTest::addColumn<bool>("byToolbar");
        QTest::newRow("one item") << QStringList{"10"} << "1 item needs reordering"
                                  << QList<bool>{true, false} << false;
        QTest::newRow("two items, from the toolbar")
            << QStringList{"10", "50"} << "2 items need reordering" << QList<bool>{true, true} << true;
        QTest::newRow("above its level") << QStringList{"3"} << "" << QList<bool>{false, false} << true;
    }

    void reorderLevelMarksAndLists()
    {
        QFETCH(QStringList, levels);
        QFETCH(QString, line);
        QFETCH(QList<bool>, marked);
        QFETCH(bool, byToolbar);
        TestFolder folder;
        folder.addRows({makeRow("Bolt", "B-10", 4, "0.25", "Acme", "2004-03-01"),
                        makeRow("Nut", "N-7", 50, "1.5", "Carver", "2004-03-02")});
        const QByteArray reportBefore = ReportWriter(SortChoice::Vendor).build(folder.databasePath());
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(!w.reorderLine()->isVisible());
        for (int row = 0; row < levels.size(); ++row) {
            if (row > 0) clickInWindow(w.button(QStringLiteral("cmdNext")));
            clickInWindow(w.txtfield(9));
            typeInWindow(&w, levels[row]);
            clickInWindow(w.button(QStringLiteral("cmdSave")));
        }
        QCOMPARE(w.recordSet().row(0).reorderLevel, std::optional<qint64>(levels[0].toLongLong()));
        QTRY_COMPARE(w.reorderLine()->text(), line);
        QCOMPARE(w.reorderLine()->isVisible(), !line.isEmpty());
        for (int row = 0; row < 2; ++row) {
            const QModelIndex name = w.grid()->model()->index(row, 0);
            QCOMPARE(name.data(Qt::BackgroundRole).isValid(), marked[row]);
            QCOMPARE(name.data(Qt::AccessibleTextRole).toString().endsWith(QLatin1String("needs reordering")),
                     marked[row]);
        }
        // The file's report stays byte for byte what it was.
        QCOMPARE(ReportWriter(SortChoice::Vendor).build(folder.databasePath()), reportBefore);

        if (byToolbar)
            clickInWindow(
                w.toolbar()->widgetForAction(w.toolbar()->findChild<QAction *>(QStringLiteral("reorder"))));
        else
            clickInWindow(w.reorderLine());
        ReportWindow *viewer = ReportWindow::openInstance();
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(viewer->shownPath(), folder.file("reorder.html"));
        const QString shown = viewer->shownText();
        QCOMPARE(shown.contains(QLatin1String("Bolt")), marked[0]);
        QCOMPARE(shown.contains(QLatin1String("Nut")), marked[1]);
        prompts.fileAnswer(folder.file("for the supplier.csv"));
        QVERIFY(viewer->saveCsv());
        QFile csv(folder.file("for the supplier.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll().count('\n'), 1 + marked.count(true));
        QVERIFY2(prompts.shown().size() == 1, qPrintable(prompts.texts().join('\n'))); // the file dialog
        viewer->close();
    }

    // "Labels" on the toolbar and "Labels..." in the barcode window open the one labels window,
    // which prints the rows selected in the grid.
    void labelsOfTheSelectedRows()
    {
        TestFolder folder;
        folder.addRows({makeRow("Alpha", "A-1"), makeRow("Beta", "B-2"), makeRow("Gamma", "C-3")});
        ScriptedPrompts prompts;
        auto wWindow = makeMainWindow();
        MainWindow &w = *wWindow;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTableView *grid = w.grid();
        const auto rowCentre = [grid](int row) {
            return grid->visualRect(grid->model()->index(row, 0)).center();
        };
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rowCentre(0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(2));
        QCOMPARE(w.txtfield(4)->text(), QStringLiteral("C-3"));
        QCOMPARE(grid->selectionModel()->selectedRows().size(), 2);

        QWidget *labelsButton =
            w.toolbar()->widgetForAction(w.toolbar()->findChild<QAction *>(QStringLiteral("labels")));
        clickInWindow(labelsButton);
        auto *labels = w.findChild<QWidget *>(QStringLiteral("frmLabels"));
        QVERIFY(labels && labels->isVisible());
        QCOMPARE(labels->windowTitle(), QStringLiteral("Print Labels"));
        QVERIFY(control<QRadioButton>(*labels, "optSelected")->isChecked());
        QTRY_COMPARE(control<QLabel>(*labels, "lblTotal")->text(), QStringLiteral("2 labels on 1 page"));

        clickInWindow(w.button(QStringLiteral("cmdGenerate")));
        auto *barcode = w.findChild<QWidget *>(QStringLiteral("frmBarCodeGen"));
        QVERIFY(barcode && barcode->isVisible());
        labels->hide();
        clickInWindow(control<QPushButton>(*barcode, "cmdLabels"));
        QVERIFY(labels->isVisible());
        QCOMPARE(w.findChildren<QWidget *>(QStringLiteral("frmLabels")).size(), 1);
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join('\n')));
    }

    void tipsAtStartAndFromTheToolbar()
    {
        TestFolder folder;
        QFile tips(folder.file(QStringLiteral("tips.tip")));
        QVERIFY(tips.open(QIODevice::WriteOnly));
        tips.write("First tip\nSecond tip\n");
        tips.close();
        ScriptedPrompts prompts;
        {
            auto wWindow = makeMainWindow();
            MainWindow &w = *wWindow;
            QVERIFY(!w.tipTimer().isActive());
            QCOMPARE(w.tipOfTheDay().tipsFile(), folder.file(QStringLiteral("tips.tip")));
            QCOMPARE(w.tipOfTheDay().tips().size(), 2);
            w.toolbarButtonClicked(QStringLiteral("FOURTH")); // keys are compared exactly
            w.toolbarButtonClicked(QStringLiteral("sixth"));
            QVERIFY(!w.tipOfTheDay().dialog());
            w.toolbarButtonClicked(QStringLiteral("fourth"));
            QVERIFY(w.tipOfTheDay().dialog() && w.tipOfTheDay().dialog()->isVisible());
            QCOMPARE(w.tipOfTheDay().dialog()->windowTitle(), QStringLiteral("Needful Knowledge"));
        }
        w_tipOn();
        {
            auto wWindow = makeMainWindow();
            MainWindow &w = *wWindow;
            QVERIFY(w.tipTimer().isActive());
            QCOMPARE(w.tipTimer().interval(), 1000);
            QTRY_VERIFY_WITH_TIMEOUT(w.tipOfTheDay().dialog() && w.tipOfTheDay().dialog()->isVisible(), 3000);
            QVERIFY(!w.tipTimer().isActive());
        }
        QVERIFY(prompts.shown().isEmpty());
    }

private:
    // How the window gets the key presses: each as it comes; each 40 ms after the one before
    // (a window busy in between); or all at once after a busy spell.
    enum Handling { AtOnce, Late, Queued };
    static void sendKey(QWindow *window, QEvent::Type type, ulong at, int key, Qt::KeyboardModifiers mods,
                        const QString &text, Handling mode)
    {
        if (mode == Queued)
            QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
                window, at, type, key, mods, text);
        else
            QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::SynchronousDelivery>(
                window, at, type, key, mods, text);
    }
    // One character as a keyboard sends it: Shift held for a capital, AltGr for a symbol.
    static void typeChar(QWindow *window, ulong at, QChar c, bool altGr, Handling mode)
    {
        const bool shift = c.isUpper();
        const bool level3 = altGr && !c.isLetterOrNumber();
        const int key = c.toUpper().unicode(); // the key codes of Latin-1 characters
        Qt::KeyboardModifiers mods;
        if (shift) {
            sendKey(window, QEvent::KeyPress, at, Qt::Key_Shift, {}, QString(), mode);
            mods |= Qt::ShiftModifier;
        }
        if (level3) sendKey(window, QEvent::KeyPress, at, Qt::Key_AltGr, mods, QString(), mode);
        sendKey(window, QEvent::KeyPress, at + 1, key, mods, QString(c), mode);
        sendKey(window, QEvent::KeyRelease, at + 2, key, mods, QString(c), mode);
        if (level3) sendKey(window, QEvent::KeyRelease, at + 2, Qt::Key_AltGr, mods, QString(), mode);
        if (shift) sendKey(window, QEvent::KeyRelease, at + 3, Qt::Key_Shift, mods, QString(), mode);
    }

    static void w_tipOn()
    {
        TipOfTheDay t(nullptr);
        t.setShowAtStartup(true);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
