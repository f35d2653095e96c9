#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "items/Database.h"
#include "items/ItemRecordSet.h"
#include "mainwindow/ItemBinding.h"
#include "mainwindow/ItemEditor.h"
#include "mainwindow/ItemNavigator.h"
#include "mainwindow/PickListCombo.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

using namespace tv;
using tv::test::makeRow;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

namespace {

// The main window's fields, combo boxes and item commands over a real file.
struct Window
{
    explicit Window(TestFolder &folder) : records(folder.databasePath())
    {
        records.open();
        auto *layout = new QVBoxLayout(&widget);
        ItemEditor::Widgets w;
        for (int i = 3; i <= 8; ++i) {
            w.txtfield[i] = new QLineEdit(&widget);
            w.txtfield[i]->setObjectName(QStringLiteral("txtfield"));
            layout->addWidget(w.txtfield[i]);
        }
        w.cboDate = new PickListCombo(&widget);
        w.cboVendor = new PickListCombo(&widget);
        w.cboInvNum = new PickListCombo(&widget);
        for (QComboBox *c : {w.cboDate, w.cboVendor, w.cboInvNum}) {
            c->setEditable(true);
            layout->addWidget(c);
        }
        fields = w.txtfield;
        vendor = w.cboVendor;
        binding = std::make_unique<ItemBinding>(records);
        for (int i = 3; i <= 8; ++i)
            binding->bindField(i, w.txtfield[i]);
        binding->bindCombo(Column::InvDate, w.cboDate);
        binding->bindCombo(Column::Vendor, w.cboVendor);
        binding->bindCombo(Column::InvNum, w.cboInvNum);
        ItemEditor::Hooks hooks;
        hooks.view = [this] { ++views; };
        hooks.setTitle = [this](bool lastRowDeleted) { titles << lastRowDeleted; };
        hooks.dialogFolder = [] { return QStringLiteral("/tmp"); };
        editor = std::make_unique<ItemEditor>(records, *binding, w, hooks);
        widget.show();
        if (!QTest::qWaitForWindowActive(&widget)) qWarning("window not active: focus checks may fail");
    }

    QLineEdit *field(int i) const { return fields[static_cast<size_t>(i)]; }
    // Types into a field and leaves it the way a user does, by focusing another one.
    void type(int i, const QString &text, int leaveTo = 3)
    {
        field(i)->setFocus();
        field(i)->selectAll();
        QTest::keyClick(field(i), Qt::Key_Backspace);
        QTest::keyClicks(field(i), text);
        field(leaveTo)->setFocus();
    }

    ItemRecordSet records;
    QWidget widget;
    std::array<QLineEdit *, 11> fields{};
    QComboBox *vendor = nullptr;
    std::unique_ptr<ItemBinding> binding;
    std::unique_ptr<ItemEditor> editor;
    int views = 0;
    QList<bool> titles;
};

// What the file holds in a column of the first row, type and bytes.
QString storedCell(const TestFolder &folder, const QString &column)
{
    return tv::test::querySql(
               folder.databasePath(),
               QStringLiteral("select typeof(%1) || ':' || hex(%1) from Items order by rowid limit 1")
                   .arg(column))
        .value(0);
}

// A message box takes the focus from the field the user was typing in.
class FocusTakingPrompts : public ScriptedPrompts
{
public:
    MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon icon, const QString &title) override
    {
        if (QWidget *w = QApplication::focusWidget()) {
            QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            QApplication::sendEvent(w, &out);
        }
        return ScriptedPrompts::message(text, buttons, icon, title);
    }
};

ItemRow fileRow(const TestFolder &folder, int index)
{
    ItemRecordSet rs(folder.databasePath());
    rs.open();
    return rs.row(index);
}

int fileCount(const TestFolder &folder)
{
    ItemRecordSet rs(folder.databasePath());
    rs.open();
    return rs.recordCount();
}

} // namespace

class TestItemEditor : public QObject
{
    Q_OBJECT
private slots:
    void emptyTableRefusesSaveAndDelete()
    {
        TestFolder folder;
        ScriptedPrompts prompts;
        Window w(folder);
        w.editor->saveItem();
        w.editor->deleteItem();
        w.editor->findItem();
        QCOMPARE(prompts.shown().size(), 3);
        for (const auto &shown : prompts.shown()) {
            QCOMPARE(shown.text, QStringLiteral("RecordSet is Empty"));
            QCOMPARE(shown.title, QStringLiteral("No Records"));
            QCOMPARE(shown.icon, MsgIcon::Stop);
        }
        QVERIFY(w.titles.isEmpty());
        QCOMPARE(fileCount(folder), 0);
    }

    void deletingTheOnlyRow()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1")});
        ScriptedPrompts prompts;
        Window w(folder);
        w.editor->deleteItem();
        QCOMPARE(prompts.texts(), QStringList{QStringLiteral("All Records Have Been Deleted!!")});
        QCOMPARE(prompts.last().icon, MsgIcon::Exclamation);
        QCOMPARE(prompts.last().title, QStringLiteral("No Records"));
        QCOMPARE(w.titles, (QList<bool>{false, true}));
        QCOMPARE(w.views, 1);
        QCOMPARE(fileCount(folder), 0);
    }

    void deletingAMiddleRowMakesTheFirstCurrent()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1"), makeRow("B", "2"), makeRow("C", "3")});
        ScriptedPrompts prompts;
        Window w(folder);
        w.records.moveNext();
        w.editor->deleteItem();
        QVERIFY(prompts.shown().isEmpty());
        QCOMPARE(w.records.position(), 0);
        QCOMPARE(w.field(3)->text(), QStringLiteral("A"));
        QCOMPARE(w.titles, QList<bool>{false});
        QCOMPARE(fileCount(folder), 2);
        QCOMPARE(fileRow(folder, 1).itemDesc, QStringLiteral("C"));
    }

    void addNewEntryFocusesTheVendorAndEmptiesTheFields()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1", 2, "3", "Acme")});
        ScriptedPrompts prompts;
        Window w(folder);
        QCOMPARE(w.field(3)->text(), QStringLiteral("A"));
        w.editor->addItem();
        QCOMPARE(QApplication::focusWidget(), w.vendor);
        QCOMPARE(w.records.recordCount(), 2);
        for (int i = 3; i <= 8; ++i)
            QVERIFY2(w.field(i)->text().isEmpty(), qPrintable(w.field(i)->text()));
        QVERIFY(w.vendor->currentText().isEmpty());
        QVERIFY(w.titles.isEmpty());
        QCOMPARE(w.views, 1);
    }

    void addPicture_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("chosen"); // empty: the dialog is cancelled
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("views");
        QTest::addColumn<bool>("dialogShown");
        QTest::newRow("no") << int(MsgAnswer::No) << ""
                            << "0" << 0 << false;
        QTest::newRow("cancel") << int(MsgAnswer::Yes) << ""
                                << "0" << 0 << true;
        QTest::newRow("file") << int(MsgAnswer::Yes) << "/home/shop/pictures/bolt 6.jpg"
                              << "/home/shop/pictures/bolt 6.jpg" << 1 << true;
    }
    void addPicture()
    {
        QFETCH(int, answer);
        QFETCH(QString, chosen);
        QFETCH(QString, path);
        QFETCH(int, views);
        QFETCH(bool, dialogShown);
        TestFolder folder;
        ItemRow row = makeRow("A", "1");
        row.image = QStringLiteral("/old/picture.png");
        folder.addRows({row});
        ScriptedPrompts prompts;
        prompts.answer(static_cast<MsgAnswer>(answer));
        prompts.fileAnswer(chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen));
        Window w(folder);
        w.editor->addPicture();
        QCOMPARE(prompts.shown().first().text, QStringLiteral("Add Item Image"));
        QCOMPARE(prompts.shown().first().title, QStringLiteral("Add Item Image"));
        QCOMPARE(prompts.shown().first().icon, MsgIcon::Question);
        QCOMPARE(prompts.shown().first().buttons, MsgButtons::YesNo);
        QCOMPARE(prompts.shown().size(), dialogShown ? 2 : 1);
        if (dialogShown) {
            QCOMPARE(prompts.last().file.title, QStringLiteral("Add Item Image"));
            QCOMPARE(prompts.last().file.filter,
                     QStringLiteral("All Image Files|*.jpg;*.jpeg;*.gif;*.bmp;*.ico;*.wmf"));
            QVERIFY(prompts.last().file.fileName.isEmpty());
        }
        QCOMPARE(w.field(7)->text(), path);
        QCOMPARE(w.views, views);
        w.editor->saveItem();
        QCOMPARE(fileRow(folder, 0).image, path);
    }

    void costKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("refused");
        QTest::newRow("digit") << int(Qt::Key_7) << 0 << "7" << false;
        QTest::newRow("dollar") << int(Qt::Key_Dollar) << 0 << "$" << false;
        QTest::newRow("comma") << int(Qt::Key_Comma) << 0 << "," << false;
        QTest::newRow("letter") << int(Qt::Key_A) << 0 << "a" << true;
        QTest::newRow("minus") << int(Qt::Key_Minus) << 0 << "-" << true;
        QTest::newRow("blank") << int(Qt::Key_Space) << 0 << " " << true;
        QTest::newRow("ctrl+v") << int(Qt::Key_V) << int(Qt::ControlModifier) << QString(QChar(22)) << true;
        QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << QString(QChar(27)) << true;
    }
    void costKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(bool, refused);
        TestFolder folder;
        folder.addRows({makeRow("A", "1")});
        ScriptedPrompts prompts;
        Window w(folder);
        QApplication::clipboard()->setText(QStringLiteral("abc"));
        w.field(6)->setFocus();
        w.field(6)->setText(QStringLiteral("1"));
        w.field(6)->end(false);
        QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
        QApplication::sendEvent(w.field(6), &press);
        if (refused) {
            QCOMPARE(prompts.texts(), QStringList{QStringLiteral(
                                          "You can only Enter the Symbols $  .  , and Numbers here!!")});
            QCOMPARE(prompts.last().title, QStringLiteral("Data Entry Error"));
            QCOMPARE(prompts.last().icon, MsgIcon::Exclamation);
            QCOMPARE(w.field(6)->text(), QStringLiteral("1"));
        } else {
            QVERIFY(prompts.shown().isEmpty());
            QCOMPARE(w.field(6)->text(), QStringLiteral("1") + text);
        }
    }

    // The total value is count times cost, on screen and in the file, whichever of the two changes
    // and however the change reaches the row (the field left, or Save straight away). Leaving the
    // cost also rounds it to cents. Steps: "N=text" types into field N and leaves it, "N~text"
    // types and stays. The row starts as 101 units at $0.25.
    void theTotalFollowsTheCountAndTheCost_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("costShown");  // before the save
        QTest::addColumn<QString>("totalShown"); // before the save
        QTest::addColumn<QString>("totalSaved"); // after the save
        QTest::addColumn<qlonglong>("storedCost");
        QTest::addColumn<qlonglong>("storedTotal"); // -1: no value
        QTest::newRow("12.345 x 3") << QStringList{"5=3", "6=12.345"} << "12.34"
                                    << "37.02"
                                    << "$37.02" << 123400LL << 370200LL;
        QTest::newRow("12.5 x 4") << QStringList{"5=4", "6=$12.5"} << "12.5"
                                  << "50"
                                  << "$50.00" << 125000LL << 500000LL;
        QTest::newRow("1,234.50 x 2") << QStringList{"5=2", "6=1,234.50"} << "1234.5"
                                      << "2469"
                                      << "$2,469.00" << 12345000LL << 24690000LL;
        QTest::newRow("count 101 to 5, left") << QStringList{"5=5"} << "$0.25"
                                              << "$1.25"
                                              << "$1.25" << 2500LL << 12500LL;
        QTest::newRow("count 101 to 5, saved at once") << QStringList{"5~5"} << "$0.25"
                                                       << "$25.25"
                                                       << "$1.25" << 2500LL << 12500LL;
        QTest::newRow("cost, saved at once") << QStringList{"6~2"} << "2"
                                             << "$25.25"
                                             << "$202.00" << 20000LL << 2020000LL;
        QTest::newRow("cost left, then the count") << QStringList{"6=12.345", "5=2"} << "12.34"
                                                   << "$24.69"
                                                   << "$24.68" << 123400LL << 246800LL;
        QTest::newRow("count emptied") << QStringList{"5="} << "$0.25"
                                       << ""
                                       << "" << 2500LL << -1LL;
    }
    void theTotalFollowsTheCountAndTheCost()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, costShown);
        QFETCH(QString, totalShown);
        QFETCH(QString, totalSaved);
        QFETCH(qlonglong, storedCost);
        QFETCH(qlonglong, storedTotal);
        TestFolder folder;
        folder.addRows({makeRow("A", "1", 101, "0.25")});
        ScriptedPrompts prompts;
        Window w(folder);
        QCOMPARE(w.field(8)->text(), QStringLiteral("$25.25"));
        for (const QString &step : std::as_const(steps)) {
            const int index = step.left(1).toInt();
            const QString text = step.mid(2);
            if (step.at(1) == QLatin1Char('=')) {
                w.type(index, text);
            } else {
                w.field(index)->setFocus();
                w.field(index)->selectAll();
                QTest::keyClick(w.field(index), Qt::Key_Backspace);
                QTest::keyClicks(w.field(index), text);
            }
        }
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join('|')));
        QCOMPARE(w.field(6)->text(), costShown);
        QCOMPARE(w.field(8)->text(), totalShown);
        w.editor->saveItem();
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join('|')));
        QCOMPARE(w.field(8)->text(), totalSaved);
        const ItemRow saved = fileRow(folder, 0);
        QCOMPARE(saved.itemCst->raw(), storedCost);
        QCOMPARE(saved.totItemCst ? saved.totItemCst->raw() : -1LL, storedTotal);
    }

    void costLeftWithoutCountChangesNothing()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1", 2, "5")});
        ScriptedPrompts prompts;
        Window w(folder);
        w.type(5, QString()); // the count emptied
        const QString totalBefore = w.field(8)->text();
        w.type(6, QStringLiteral("7"));
        QCOMPARE(w.field(8)->text(), totalBefore);
        QVERIFY(prompts.shown().isEmpty());
    }

    void badCountIsRefusedAndTheLeaveRuleFails()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1", 2, "5")});
        ScriptedPrompts prompts;
        Window w(folder);
        w.type(5, QStringLiteral("ten"), 6);
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(prompts.last().title, QStringLiteral("Data Entry Error"));
        QVERIFY(prompts.last().text.contains(QLatin1String("\"ten\"")));
        QCOMPARE(w.field(5)->text(), QStringLiteral("ten")); // kept for correction
        w.type(6, QStringLiteral("3"));
        QCOMPARE(prompts.last().text,
                 QStringLiteral(
                     "Error 13 (Type mismatch) at line 4. In procedure txtfield_LostFocus of Form frmMain"));
        // Save refuses the count again and writes nothing.
        prompts.clear();
        w.editor->saveItem();
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(prompts.last().title, QStringLiteral("Data Entry Error"));
        QCOMPARE(fileRow(folder, 0).itemCnt, std::optional<qint64>(2));
        QCOMPARE(w.field(5)->text(), QStringLiteral("ten"));
    }

    void badDateIsRefusedAtSave()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1", 1, "1", "Acme", "2024-03-07")});
        ScriptedPrompts prompts;
        Window w(folder);
        QComboBox *date = w.widget.findChildren<QComboBox *>().at(0);
        date->lineEdit()->selectAll();
        QTest::keyClicks(date->lineEdit(), QStringLiteral("2/30/2024"));
        w.editor->saveItem();
        QCOMPARE(prompts.last().title, QStringLiteral("Data Entry Error"));
        QCOMPARE(fileRow(folder, 0).invDate, QStringLiteral("2024-03-07"));
        date->lineEdit()->selectAll();
        QTest::keyClicks(date->lineEdit(), QStringLiteral("12/1/2025"));
        w.editor->saveItem();
        QCOMPARE(fileRow(folder, 0).invDate, QStringLiteral("2025-12-01"));
    }

    void find_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<QString>("message");
        QTest::newRow("ab in XAB1") << "ab" << 1 << 1 << 2 << "";
        QTest::newRow("trimmed") << "  b-1 " << 2 << 0 << 3 << "";
        QTest::newRow("no match") << "zzz" << 0 << -1 << 0 << "Record not found";
        QTest::newRow("blanks only") << "   " << 0 << -1 << 0 << "";
    }
    void find()
    {
        QFETCH(QString, answer);
        QFETCH(int, row);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(QString, message);
        TestFolder folder;
        folder.addRows({makeRow("A", "Q1"), makeRow("B", "XAB1"), makeRow("C", "B-10")});
        ScriptedPrompts prompts;
        prompts.inputAnswer(answer);
        Window w(folder);
        w.records.moveLast();
        w.editor->findItem();
        QCOMPARE(prompts.shown().first().text, QStringLiteral("Enter an Item Number."));
        QCOMPARE(prompts.shown().first().title, QStringLiteral("Tallyvane"));
        QCOMPARE(w.records.position(), row);
        QCOMPARE(w.field(4)->selectionStart(), selStart);
        QCOMPARE(w.field(4)->selectedText().size(), selLength);
        if (message.isEmpty()) {
            QCOMPARE(prompts.shown().size(), 1);
        } else {
            QCOMPARE(prompts.last().text, message);
            QCOMPARE(prompts.last().icon, MsgIcon::None);
        }
    }

    void vendorListIsFilledAtEachDropDown()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1", 1, "1", "Acme"), makeRow("B", "2", 1, "1", "ACME"),
                        makeRow("C", "3", 1, "1", "Bolt Co"), makeRow("D", "4", 1, "1", QString())});
        ScriptedPrompts prompts;
        Window w(folder);
        w.editor->dropDown(PickList::Vendor);
        QStringList items;
        for (int i = 0; i < w.vendor->count(); ++i)
            items << w.vendor->itemText(i);
        QCOMPARE(items, (QStringList{"Acme", "Bolt Co"}));
        QCOMPARE(w.vendor->currentText(), QStringLiteral("Acme")); // the current row's value stays
        folder.addRows({makeRow("E", "5", 1, "1", "Nuts & Co")});
        w.editor->dropDown(PickList::Vendor);
        QCOMPARE(w.vendor->count(), 3);
        QVERIFY(prompts.shown().isEmpty());
    }

    // Values written by other tools that the fields cannot hold stay as stored when the user
    // edits another field of the row, tabs through the cost field and saves.
    void storedValuesStayUnlessReplaced_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("stored"); // SQL
        QTest::addColumn<int>("field");      // where the value shows; -1 for the vendor box
        QTest::addColumn<bool>("marked");
        QTest::newRow("count as text") << "ItemCnt"
                                       << "'abc'" << 5 << true;
        QTest::newRow("count with a fraction") << "ItemCnt"
                                               << "3.75" << 5 << true;
        QTest::newRow("cost as a real") << "ItemCst"
                                        << "12.5" << 6 << true;
        QTest::newRow("cost beyond range") << "ItemCst"
                                           << "1.5e30" << 6 << true;
        QTest::newRow("name not UTF-8") << "ItemDesc"
                                        << "cast(x'41ff42' as text)" << 3 << true;
        QTest::newRow("vendor as a blob") << "Vendor"
                                          << "x'00ff01'" << -1 << true;
        QTest::newRow("name of a million characters") << "ItemDesc"
                                                      << "printf('%.*c', 1048576, 'x')" << 3 << false;
    }
    void storedValuesStayUnlessReplaced()
    {
        QFETCH(QString, column);
        QFETCH(QString, stored);
        QFETCH(int, field);
        QFETCH(bool, marked);
        TestFolder folder;
        folder.addRows({makeRow("A", "1", 2, "3", "Acme", "2024-03-07")});
        const QString error = tv::test::execSql(
            folder.databasePath(), {QStringLiteral("update Items set %1 = %2").arg(column, stored)});
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QString before = storedCell(folder, column);
        ScriptedPrompts prompts;
        Window w(folder);
        const QString shown = field < 0 ? w.vendor->currentText() : w.field(field)->text();
        QCOMPARE(shown.contains(QStringLiteral("kept as stored")), marked);
        if (!marked) QCOMPARE(shown.size(), 1048576);
        const int typeInto = field == 4 ? 3 : 4;
        w.type(typeInto, QStringLiteral("NEW-1"), 6);
        w.field(3)->setFocus(); // through the cost field and out again
        w.editor->saveItem();
        QCOMPARE(prompts.texts(), QStringList());
        QCOMPARE(storedCell(folder, column), before);
        QCOMPARE(fileRow(folder, 0).itemNum, QStringLiteral("NEW-1"));
    }

    // Dropping a list down and closing it without a choice leaves the row as it is; a pick
    // reaches it.
    void pickListReachesTheRowOnlyByAChoice_data()
    {
        QTest::addColumn<bool>("pick");
        QTest::addColumn<QString>("stored");
        QTest::newRow("Escape") << false << "ACME";
        QTest::newRow("picked") << true << "Acme";
    }
    void pickListReachesTheRowOnlyByAChoice()
    {
        QFETCH(bool, pick);
        QFETCH(QString, stored);
        TestFolder folder;
        folder.addRows({makeRow("A", "1", 1, "1", "Acme"), makeRow("B", "2", 1, "1", "ACME"),
                        makeRow("C", "3", 1, "1", "acme")});
        ScriptedPrompts prompts;
        Window w(folder);
        w.records.moveTo(1);
        w.vendor->setFocus();
        w.editor->dropDown(PickList::Vendor);
        w.vendor->showPopup();
        QAbstractItemView *list = w.vendor->view();
        if (pick) list->setCurrentIndex(list->model()->index(0, 0));
        QTest::keyClick(list, pick ? Qt::Key_Return : Qt::Key_Escape);
        w.field(3)->setFocus();
        w.records.moveNext();
        QCOMPARE(fileRow(folder, 1).vendor, stored);
        QVERIFY(prompts.shown().isEmpty());
    }

    // Text a field refuses, then a move by access key while it still has the focus: one box.
    void refusedTextGivesOneMessage()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1"), makeRow("B", "2")});
        FocusTakingPrompts prompts;
        Window w(folder);
        w.field(5)->setFocus();
        w.field(5)->selectAll();
        QTest::keyClicks(w.field(5), QStringLiteral("abc"));
        ItemNavigator navigator(w.records, [] {});
        navigator.moveNext();
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(prompts.last().title, QStringLiteral("Data Entry Error"));
        QCOMPARE(w.records.position(), 0);
        QCOMPARE(w.field(5)->text(), QStringLiteral("abc"));
    }
};

QTEST_MAIN(TestItemEditor)
#include "tst_itemeditor.moc"
