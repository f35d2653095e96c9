#include "Controls.h"
#include "PtyPair.h"
#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "WindowInput.h"
#include "app/TipOfTheDay.h"
#include "common/EndProgram.h"
#include "mainwindow/MainWindow.h"
#include "report/ReportWindow.h"
#include "scanner/KeyboardScan.h"
#include "scanner/ScanCounting.h"
#include "scanner/ScannerWindow.h"
#include "stocktake/StocktakeCount.h"
#include "stocktake/StocktakeTableModel.h"
#include "stocktake/StocktakeWindow.h"

#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QToolBar>
#include <QWindow>
#include <QtTest>
#include <qpa/qwindowsysteminterface.h>

using namespace tv;
using tv::test::clickInWindow;
using tv::test::makeRow;
using tv::test::PtyPair;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

namespace {

// A scanner that types like a keyboard: a few milliseconds a key, Shift for each capital, Enter.
void scanKeys(QWindow *window, const QString &code)
{
    static ulong at = 500000;
    const auto send = [window](QEvent::Type type, int key, Qt::KeyboardModifiers mods, const QString &text) {
        QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::SynchronousDelivery>(window, at, type,
                                                                                            key, mods, text);
        at += 2;
    };
    for (const QChar c : code) {
        const Qt::KeyboardModifiers mods = c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
        if (c.isUpper()) send(QEvent::KeyPress, Qt::Key_Shift, {}, {});
        send(QEvent::KeyPress, c.toUpper().unicode(), mods, QString(c));
        send(QEvent::KeyRelease, c.toUpper().unicode(), mods, QString(c));
        if (c.isUpper()) send(QEvent::KeyRelease, Qt::Key_Shift, mods, {});
    }
    send(QEvent::KeyPress, Qt::Key_Return, {}, QStringLiteral("\r"));
    send(QEvent::KeyRelease, Qt::Key_Return, {}, QStringLiteral("\r"));
    at += 1000;
    QCoreApplication::processEvents();
}

} // namespace

class TestStocktakeWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        tv::test::useTestSettings();
        TipOfTheDay tips(nullptr);
        tips.setShowAtStartup(false);
        setEndProgramHandler([] {});
        setKeyboardScannersAccepted(true);
    }

    // Two items counted (by keyboard scans, a typed correction and the serial scanner), one not:
    // the report lists the differences and the item not counted, and Yes sets the counts.
    void countFinishAndSet()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        qputenv("TALLYVANE_SERIAL_PORTS", pty.slavePath().toLocal8Bit());
        const auto unset = qScopeGuard([] {
            qputenv("TALLYVANE_SERIAL_PORTS", "");
            setScanMode(ScanMode::Find, 1);
        });
        setScanMode(ScanMode::Find, 4);
        TestFolder folder;
        folder.addRows({makeRow(QStringLiteral("Anchor"), QStringLiteral("A-100"), 10, QStringLiteral("1")),
                        makeRow(QStringLiteral("Bolt"), QStringLiteral("B-200"), 5, QStringLiteral("2")),
                        makeRow(QStringLiteral("Cleat"), QStringLiteral("C-300"), 3, QStringLiteral("4"))});
        ScriptedPrompts prompts;
        auto window = makeMainWindow();
        MainWindow &w = *window;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTRY_COMPARE(w.recordSet().isOpen() ? w.recordSet().recordCount() : -1, 3);

        QAction *stocktake = w.toolbar()->findChild<QAction *>(QStringLiteral("stocktake"));
        QVERIFY(stocktake);
        QCOMPARE(stocktake->text(), QStringLiteral("Stocktake"));
        clickInWindow(w.toolbar()->widgetForAction(stocktake));
        auto *st = w.findChild<StocktakeWindow *>();
        QVERIFY(st && st->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(st));
        QCOMPARE(st->windowTitle(), QStringLiteral("Stocktake"));
        QTest::keyClick(st->windowHandle(), Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(st->count().inProgress());
        QCOMPARE(w.scanNotice()->text(), QStringLiteral("Scanning counts 4 for the stocktake"));
        auto *list = control<QTableView>(*st, "lstCount");
        QTRY_VERIFY(list->hasFocus());
        QCOMPARE(list->verticalHeader()->count(), 3); // the rows the list shows

        // The anchor: two keyboard scans of 4, then the count typed over as 7.
        scanKeys(st->windowHandle(), QStringLiteral("A-100"));
        scanKeys(st->windowHandle(), QStringLiteral("a-100"));
        QTRY_COMPARE(st->count().counted(0), std::optional<qint64>(8));
        QCOMPARE(list->currentIndex().row(), 0);
        QTest::keyClick(st->windowHandle(), Qt::Key_F2);
        QTest::keyClick(st->windowHandle(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(st->windowHandle(), Qt::Key_7);
        QTest::keyClick(st->windowHandle(), Qt::Key_Return);
        QTRY_COMPARE(st->count().counted(0), std::optional<qint64>(7));

        // The bolt: the serial scanner, without Send to Ketbook.
        clickInWindow(w.button(QStringLiteral("cmdScan")));
        auto *reader = w.findChild<ScannerWindow *>();
        QVERIFY(reader && reader->isVisible());
        control<QPushButton>(*reader, "cmdConnect")->click();
        QVERIFY(pty.send("b-200\r\n"));
        QTRY_COMPARE(st->count().counted(1), std::optional<qint64>(4));
        QVERIFY(prompts.shown().isEmpty());

        // Finish: the report, shown, then the question; Yes sets the counts.
        st->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(st));
        prompts.answer(MsgAnswer::Yes);
        QTest::keyClick(st->windowHandle(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(!st->count().inProgress());
        QCOMPARE(prompts.last().text, QStringLiteral("Set the counts to what was counted?"));
        QFile file(folder.path() + QStringLiteral("/stocktake.html"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromLatin1(file.readAll());
        const auto row = [](QStringList cells) {
            for (QString &c : cells)
                c = QStringLiteral(R"(<td align = "center"><b> &nbsp;)") + c + QStringLiteral("  </b></td>");
            return QStringLiteral("<tr>") + cells.join(QString()) + QStringLiteral("</tr>");
        };
        const QString differences = html.section(QStringLiteral("Not Counted"), 0, 0);
        const QString notCounted = html.section(QStringLiteral("Not Counted"), 1);
        QVERIFY2(differences.contains(row({"Anchor", "A-100", "10", "7", "-3", "$1.00", "-$3.00"})),
                 qPrintable(html));
        QVERIFY(differences.contains(row({"Bolt", "B-200", "5", "4", "-1", "$2.00", "-$2.00"})));
        QVERIFY(!differences.contains(QStringLiteral("C-300")));
        QVERIFY(notCounted.contains(row({"Cleat", "C-300", "3", "$4.00", "$12.00"})));
        QVERIFY(!notCounted.contains(QStringLiteral("A-100")));
        QVERIFY(html.contains(QStringLiteral("-$5.00")));
        QVERIFY(html.contains(QStringLiteral("Counted by ") + loginName()));
        ReportWindow *viewer = ReportWindow::openInstance();
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(QFileInfo(viewer->shownPath()).fileName(), QStringLiteral("stocktake.html"));
        viewer->close();

        QCOMPARE(test::querySql(
                     folder.databasePath(),
                     QStringLiteral("select ItemNum || ':' || ItemCnt || ':' || TotItemCst from Items")),
                 (QStringList{"A-100:7:70000", "B-200:4:80000", "C-300:3:120000"}));
        QCOMPARE(
            test::querySql(folder.databasePath(),
                           QStringLiteral("select NewItemNum from ItemHistory where Change = 'stocktake' "
                                          "order by EntryId")),
            (QStringList{"A-100", "B-200"}));
        QTRY_COMPARE(w.txtfield(5)->text(),
                     QString::number(*w.recordSet().row(w.recordSet().position()).itemCnt));
        QCOMPARE(w.scanNotice()->isVisible(), false);
    }
};

QTEST_MAIN(TestStocktakeWindow)
#include "tst_stocktakewindow.moc"
