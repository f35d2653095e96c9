#include "Controls.h"
#include "PgTestServer.h"
#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "WindowInput.h"
#include "app/TipOfTheDay.h"
#include "common/EndProgram.h"
#include "history/HistoryList.h"
#include "history/HistoryWindow.h"
#include "items/ItemHistory.h"
#include "mainwindow/MainWindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>

using namespace tv;
using tv::test::clickInWindow;
using tv::test::makeRow;
using tv::test::PgTestServer;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

namespace {

void typeInWindow(QWidget *top, const QString &text)
{
    for (const QChar c : text)
        QTest::keyClick(top->windowHandle(), c.toLatin1());
}

// Clicks the line of the history whose change text contains `what`; false when none does.
bool clickLine(QTreeView *lines, const QString &what)
{
    for (int row = 0; row < lines->model()->rowCount(); ++row) {
        const QModelIndex index = lines->model()->index(row, HistoryList::Change);
        if (!index.data().toString().contains(what)) continue;
        lines->scrollTo(index);
        clickInWindow(lines->viewport(), lines->visualRect(index).center());
        return lines->currentIndex().row() == row;
    }
    return false;
}

QStringList lineTexts(QTreeView *lines)
{
    QStringList out;
    for (int row = 0; row < lines->model()->rowCount(); ++row)
        out << lines->model()->index(row, 0).data(Qt::AccessibleTextRole).toString();
    return out;
}

} // namespace

class TestHistoryWindow : public QObject
{
    Q_OBJECT
    PgTestServer m_server;

private slots:
    void initTestCase()
    {
        tv::test::useTestSettings();
        TipOfTheDay tips(nullptr);
        tips.setShowAtStartup(false);
        setEndProgramHandler([] {});
        const QString error = m_server.setUp();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    // What a user does: a count from 5 to 7, another item deleted, both undone from the History
    // window; a change made with psql shows too. On a real file and on a real server.
    void undoFromTheWindow_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("file") << false;
        QTest::newRow("server") << true;
    }
    void undoFromTheWindow()
    {
        QFETCH(bool, server);
        TestFolder folder;
        ItemRow counted =
            makeRow(QStringLiteral("Hinge"), QStringLiteral("H-1"), 5, QStringLiteral("2"),
                    QStringLiteral("Acme"), QStringLiteral("2024-03-07"), QStringLiteral("INV-9"));
        ItemRow gone =
            makeRow(QStringLiteral("Shelf"), QStringLiteral("S-2"), 3, QStringLiteral("12.5"),
                    QStringLiteral("Hartwell"), QStringLiteral("2024-02-29"), QStringLiteral("INV-1"));
        gone.image = QStringLiteral("/pictures/shelf.jpg");
        const QStringList columnsBefore = test::querySql(
            folder.databasePath(), QStringLiteral("select name from pragma_table_info('Items')"));
        const auto unsetServer = qScopeGuard([] { qunsetenv("TALLYVANE_DATABASE"); });
        if (server) {
            QCOMPARE(m_server.resetTable(), QString());
            QCOMPARE(m_server.psql(QStringLiteral(
                         "insert into items (ItemDesc, ItemNum, ItemCnt, ItemCst, TotItemCst, Image, InvNum, "
                         "Vendor, InvDate) values ('Hinge', 'H-1', 5, 20000, 100000, '0', 'INV-9', 'Acme', "
                         "'2024-03-07'), ('Shelf', 'S-2', 3, 125000, 375000, '/pictures/shelf.jpg', 'INV-1', "
                         "'Hartwell', '2024-02-29')")),
                     QString());
            qputenv("TALLYVANE_DATABASE", m_server.url().toUtf8());
        } else {
            folder.addRows({counted, gone});
        }
        ScriptedPrompts prompts;
        auto window = makeMainWindow();
        MainWindow &w = *window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.recordSet().isOpen() ? w.recordSet().recordCount() : -1, 2);
        const ItemRow shelf = w.recordSet().row(1);

        // The count: 5 to 7, saved.
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Hinge"));
        clickInWindow(w.txtfield(5));
        QTest::keyClick(w.windowHandle(), Qt::Key_A, Qt::ControlModifier);
        typeInWindow(&w, QStringLiteral("7"));
        clickInWindow(w.button(QStringLiteral("cmdSave")));
        QTRY_COMPARE(w.recordSet().row(0).itemCnt, std::optional<qint64>(7));
        // The shelf: deleted.
        clickInWindow(w.button(QStringLiteral("cmdNext")));
        QTRY_COMPARE(w.txtfield(3)->text(), QStringLiteral("Shelf"));
        clickInWindow(w.button(QStringLiteral("cmdDelete")));
        QTRY_COMPARE(w.recordSet().recordCount(), 1);

        // History, from the toolbar: every item's changes, with who and where.
        QAction *history = w.toolbar()->findChild<QAction *>(QStringLiteral("history"));
        QVERIFY(history);
        QCOMPARE(history->text(), QStringLiteral("History"));
        clickInWindow(w.toolbar()->widgetForAction(history));
        auto *historyWindow = w.findChild<HistoryWindow *>();
        QVERIFY(historyWindow && historyWindow->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(historyWindow));
        QCOMPARE(historyWindow->windowTitle(), QStringLiteral("Item History"));
        auto *lines = control<QTreeView>(*historyWindow, "lstChanges");
        auto *all = control<QCheckBox>(*historyWindow, "chkAllItems");
        QCOMPARE(all->text(), QStringLiteral("&All Items"));
        QTest::keyClick(historyWindow->windowHandle(), Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(all->isChecked()); // an access key clicks after a moment, as a press shows
        const QString user =
            server ? m_server.psql(QStringLiteral("select session_user")).trimmed() : loginName();
        QTRY_COMPARE(lineTexts(lines).size(), 4); // the two items added, then changed and deleted
        const QStringList texts = lineTexts(lines);
        QVERIFY2(texts[0].contains(user + QStringLiteral(" on ") + workstationName()) &&
                     texts[0].endsWith(QStringLiteral("Shelf (S-2): deleted")),
                 qPrintable(texts.join('\n')));
        QVERIFY2(texts[1].endsWith(QString::fromUtf8("Hinge (H-1): Unit Count 5 \u2192 7; Total Unit Value "
                                                     "$10.00 \u2192 $14.00")),
                 qPrintable(texts[1]));

        // Undo the delete: the shelf is back with every value, and shown.
        QVERIFY(clickLine(lines, QStringLiteral("deleted")));
        auto *undo = control<QPushButton>(*historyWindow, "cmdUndo");
        QCOMPARE(undo->accessibleName(), QStringLiteral("Undo Change"));
        clickInWindow(undo);
        QTRY_COMPARE(w.recordSet().recordCount(), 2);
        QCOMPARE(w.txtfield(3)->text(), QStringLiteral("Shelf"));
        const ItemRow back = w.recordSet().row(w.recordSet().position());
        if (server) QVERIFY(back.rowid != shelf.rowid); // a file gives the freed last key again
        for (int c = 0; c < kColumnCount; ++c)
            QVERIFY2(ItemRow::sameValue(back, shelf, static_cast<Column>(c)), columnInfo(Column(c)).name);

        // Another change to the hinge; undoing the count change then asks first, naming it.
        clickInWindow(w.button(QStringLiteral("cmdFirst")));
        QTRY_COMPARE(w.txtfield(3)->text(), QStringLiteral("Hinge"));
        clickInWindow(w.txtfield(3));
        QTest::keyClick(w.windowHandle(), Qt::Key_End);
        typeInWindow(&w, QStringLiteral("s"));
        clickInWindow(w.button(QStringLiteral("cmdSave")));
        QTRY_COMPARE(w.recordSet().row(0).itemDesc, QStringLiteral("Hinges"));
        all->setChecked(false); // the current item's own changes
        QTRY_VERIFY(lineTexts(lines).size() >= 2);
        QVERIFY(clickLine(lines, QStringLiteral("Unit Count 5")));
        prompts.clear();
        prompts.answer(MsgAnswer::No);
        clickInWindow(undo);
        QTRY_COMPARE(prompts.shown().size(), 1);
        QVERIFY2(prompts.last().text.startsWith(user + QStringLiteral(" changed this item again")) &&
                     prompts.last().text.contains(QStringLiteral("Hinge\" \u2192 \"Hinges\"")),
                 qPrintable(prompts.last().text));
        QCOMPARE(w.recordSet().row(0).itemCnt, std::optional<qint64>(7));
        prompts.answer(MsgAnswer::Yes);
        clickInWindow(undo);
        QTRY_COMPARE(w.txtfield(5)->text(), QStringLiteral("5"));
        QCOMPARE(w.recordSet().row(0).itemDesc, QStringLiteral("Hinges"));

        if (server) {
            // A change made with psql is recorded by the server and listed.
            QCOMPARE(m_server.psql(QStringLiteral("update items set Vendor = 'Brill' where ItemNum = 'H-1'")),
                     QString());
            QTRY_VERIFY2(
                lineTexts(lines).value(0).endsWith(QStringLiteral("Vendor \"Acme\" \u2192 \"Brill\"")),
                qPrintable(lineTexts(lines).join('\n')));
        } else {
            QCOMPARE(test::querySql(folder.databasePath(), QStringLiteral("pragma integrity_check")),
                     QStringList{QStringLiteral("ok")});
            QCOMPARE(test::querySql(folder.databasePath(),
                                    QStringLiteral("select name from pragma_table_info('Items')")),
                     columnsBefore);
        }
        // Escape closes the window.
        QTest::keyClick(historyWindow->windowHandle(), Qt::Key_Escape);
        QTRY_VERIFY(!w.findChild<HistoryWindow *>());
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "tst_historywindow.moc"
