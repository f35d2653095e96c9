#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "common/AppError.h"
#include "items/ItemRecordSet.h"
#include "mainwindow/ItemBinding.h"
#include "mainwindow/ItemTableModel.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

using namespace tv;
using tv::test::makeRow;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

namespace {
// Six fields and three combo boxes bound like the main window's.
struct Bound
{
    explicit Bound(ItemRecordSet &rs) : binding(rs)
    {
        for (int i = 3; i <= 8; ++i) {
            fields[i] = std::make_unique<QLineEdit>();
            fields[i]->setObjectName(QStringLiteral("txtfield"));
            binding.bindField(i, fields[i].get());
        }
        for (QComboBox *c : {&date, &vendor, &invNum})
            c->setEditable(true); // as the main window has them
        binding.bindCombo(Column::InvDate, &date);
        binding.bindCombo(Column::Vendor, &vendor);
        binding.bindCombo(Column::InvNum, &invNum);
    }
    QLineEdit &field(int i) { return *fields[i]; }
    std::unique_ptr<QLineEdit> fields[9];
    QComboBox date, vendor, invNum;
    ItemBinding binding;
};

ItemRow fullRow()
{
    return makeRow(QStringLiteral("Brass hinge"), QStringLiteral("HG-1"), 1234, QStringLiteral("1234.5"),
                   QStringLiteral("Hartwell"), QStringLiteral("2024-03-07"), QStringLiteral("INV-9"));
}

} // namespace

class TestItemBinding : public QObject
{
    Q_OBJECT
private slots:
    void displayFormats_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("count without grouping") << int(Column::ItemCnt) << "1234567"
                                                << "1234567";
        QTest::newRow("count zero") << int(Column::ItemCnt) << "0"
                                    << "0";
        QTest::newRow("count NULL") << int(Column::ItemCnt) << QString() << "";
        QTest::newRow("cost 12.5") << int(Column::ItemCst) << "12.5"
                                   << "$12.50";
        QTest::newRow("cost 1234") << int(Column::ItemCst) << "1234"
                                   << "$1,234.00";
        QTest::newRow("cost 0") << int(Column::ItemCst) << "0"
                                << "$0.00";
        QTest::newRow("total grouped") << int(Column::TotItemCst) << "1234567.891"
                                       << "$1,234,567.89";
        QTest::newRow("cost NULL") << int(Column::ItemCst) << QString() << "";
        QTest::newRow("date without zeros") << int(Column::InvDate) << "2024-03-07"
                                            << "3/7/2024";
        QTest::newRow("date two digits") << int(Column::InvDate) << "1999-12-31"
                                         << "12/31/1999";
        QTest::newRow("date NULL") << int(Column::InvDate) << QString() << "";
        QTest::newRow("text as stored") << int(Column::ItemDesc) << "  Oak  shelf "
                                        << "  Oak  shelf ";
    }
    void displayFormats()
    {
        QFETCH(int, column);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        ItemRow row;
        const Column c = static_cast<Column>(column);
        if (!stored.isNull()) {
            if (c == Column::ItemCnt)
                row.itemCnt = stored.toLongLong();
            else if (c == Column::ItemCst)
                row.itemCst = Money::parse(stored);
            else if (c == Column::TotItemCst)
                row.totItemCst = Money::parse(stored);
            else
                row.setValue(c, stored);
        }
        QCOMPARE(ItemBinding::displayText(row, c), shown);
    }

    void parseTypedText_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("shownAfter");
        QTest::newRow("count") << int(Column::ItemCnt) << "42" << true << "42";
        QTest::newRow("count grouped") << int(Column::ItemCnt) << "1,200" << true << "1200";
        QTest::newRow("count empty is NULL") << int(Column::ItemCnt) << "" << true << "";
        QTest::newRow("count letters") << int(Column::ItemCnt) << "12abc" << false << "";
        QTest::newRow("count too big") << int(Column::ItemCnt) << "99999999999" << false << "";
        QTest::newRow("cost plain") << int(Column::ItemCst) << "12.5" << true << "$12.50";
        QTest::newRow("cost as shown") << int(Column::ItemCst) << "$1,234.00" << true << "$1,234.00";
        QTest::newRow("cost letters") << int(Column::ItemCst) << "twelve" << false << "";
        QTest::newRow("date typed") << int(Column::InvDate) << "03/07/2024" << true << "3/7/2024";
        QTest::newRow("date no date") << int(Column::InvDate) << "2/30/2024" << false << "";
        QTest::newRow("text kept") << int(Column::Vendor) << " Carver & Sons" << true << " Carver & Sons";
    }
    void parseTypedText()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, shownAfter);
        const Column c = static_cast<Column>(column);
        try {
            const QVariant v = ItemBinding::parseText(c, typed);
            QVERIFY2(accepted, "refused text was taken");
            ItemRow row;
            row.setValue(c, v);
            QCOMPARE(ItemBinding::displayText(row, c), shownAfter);
        } catch (const AppError &e) {
            QVERIFY2(!accepted, "good text was refused");
            QCOMPARE(e.number(), int(Err::TypeMismatch));
        }
    }

    void widgetsFollowTheCurrentRow()
    {
        TestFolder folder;
        folder.addRows({fullRow(), makeRow(QStringLiteral("Shelf"), QStringLiteral("SB-2"))});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        Bound b(rs);
        b.binding.refresh();
        QCOMPARE(b.field(3).text(), QStringLiteral("Brass hinge"));
        QCOMPARE(b.field(4).text(), QStringLiteral("HG-1"));
        QCOMPARE(b.field(5).text(), QStringLiteral("1234"));
        QCOMPARE(b.field(6).text(), QStringLiteral("$1,234.50"));
        QCOMPARE(b.field(8).text(), QStringLiteral("$1,523,373.00"));
        QCOMPARE(b.date.currentText(), QStringLiteral("3/7/2024"));
        QCOMPARE(b.vendor.currentText(), QStringLiteral("Hartwell"));
        QCOMPARE(b.invNum.currentText(), QStringLiteral("INV-9"));
        rs.moveNext();
        QCOMPARE(b.field(3).text(), QStringLiteral("Shelf"));
        QCOMPARE(b.vendor.currentText(), QString());
        rs.moveNext(); // after the last row: nothing to show
        QCOMPARE(b.field(3).text(), QString());
        QCOMPARE(b.field(7).text(), QString());
        QVERIFY(!b.binding.anyPending());
    }

    void typedTextReachesTheFileWithTheNextMove()
    {
        TestFolder folder;
        folder.addRows({fullRow(), makeRow(QStringLiteral("Shelf"), QStringLiteral("SB-2"))});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        Bound b(rs);
        b.binding.refresh();
        b.field(3).setText(QStringLiteral("Brass hinge, 3 inch"));
        b.field(6).setText(QStringLiteral("2.45"));
        b.vendor.lineEdit()->selectAll();
        QTest::keyClicks(b.vendor.lineEdit(),
                         QStringLiteral("Carver & Sons")); // typed, as only the user does
        QVERIFY(b.binding.isPending(&b.field(3)));
        rs.moveNext(); // the record set takes pending text in before it moves
        QCOMPARE(b.field(3).text(), QStringLiteral("Shelf"));
        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(again.row(0).itemDesc, QStringLiteral("Brass hinge, 3 inch"));
        QCOMPARE(again.row(0).itemCst->raw(), 24500);
        QCOMPARE(again.row(0).vendor, QStringLiteral("Carver & Sons"));
        QCOMPARE(again.row(0).itemNum, QStringLiteral("HG-1")); // untouched fields keep their values
    }

    void refusedTextStopsTheMoveAndStaysInTheField()
    {
        TestFolder folder;
        folder.addRows({fullRow(), makeRow(QStringLiteral("Shelf"), QStringLiteral("SB-2"))});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        Bound b(rs);
        b.binding.refresh();
        b.field(5).setText(QStringLiteral("lots"));
        QVERIFY_THROWS_EXCEPTION(AppError, rs.moveNext());
        QCOMPARE(rs.position(), 0);
        QCOMPARE(b.field(5).text(), QStringLiteral("lots"));
        QVERIFY(b.binding.isPending(&b.field(5)));
        // The user mends it; now the move goes ahead and the count is stored.
        b.field(5).setText(QStringLiteral("7"));
        rs.moveNext();
        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(*again.row(0).itemCnt, 7);
    }

    void aParserCanRefuseText()
    {
        TestFolder folder;
        folder.addRows({fullRow()});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        Bound b(rs);
        b.binding.setParser([](Column c, const QString &text) {
            if (c == Column::ItemNum && text.contains(QLatin1Char(' ')))
                throw AppError(Err::InvalidPropertyValue, QStringLiteral("No blanks in item numbers"));
            return ItemBinding::parseText(c, text);
        });
        b.field(4).setText(QStringLiteral("HG 1"));
        try {
            b.binding.commitAll();
            QFAIL("taken");
        } catch (const AppError &e) {
            QCOMPARE(e.number(), int(Err::InvalidPropertyValue));
        }
        QCOMPARE(rs.value(Column::ItemNum).toString(), QStringLiteral("HG-1"));
        b.field(4).setText(QStringLiteral("HG-7"));
        QVERIFY(b.binding.commitAll());
        QCOMPARE(rs.value(Column::ItemNum).toString(), QStringLiteral("HG-7"));
        QCOMPARE(b.field(4).text(), QStringLiteral("HG-7"));
    }

    void leavingAFieldTakesItsTextIn()
    {
        TestFolder folder;
        folder.addRows({fullRow()});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        Bound b(rs);
        QSignalSpy left(&b.binding, &ItemBinding::widgetLeft);
        ScriptedPrompts prompts;
        b.field(6).setText(QStringLiteral("3.5"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(&b.field(6), &out);
        QCOMPARE(rs.value(u"ItemCst").value<Money>().raw(), 35000); // read back by name at once
        QCOMPARE(b.field(6).text(), QStringLiteral("$3.50"));
        QCOMPARE(left.count(), 1);
        // A refused text is reported as what it is, and nothing is taken.
        b.field(5).setText(QStringLiteral("x"));
        QCoreApplication::sendEvent(&b.field(5), &out);
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(
            prompts.last().text,
            QStringLiteral("The Unit Count \"x\" is not a whole number. Type a number of units such as 12."));
        QCOMPARE(prompts.last().title, QStringLiteral("Data Entry Error"));
        QCOMPARE(*rs.row(0).itemCnt, 1234);
        QCOMPARE(left.count(), 1);
        // A popup taking the focus is no leave.
        b.field(5).setText(QStringLiteral("8"));
        QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
        QCoreApplication::sendEvent(&b.field(5), &popup);
        QVERIFY(b.binding.isPending(&b.field(5)));
    }

    void editsOfOneFieldDoNotWipeAnotherPendingField()
    {
        TestFolder folder;
        folder.addRows({fullRow()});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        Bound b(rs);
        b.field(3).setText(QStringLiteral("typed name"));
        b.field(8).setText(QStringLiteral("99")); // as the program writes the total
        QVERIFY(b.binding.commit(&b.field(8)));
        QCOMPARE(b.field(3).text(), QStringLiteral("typed name"));
        QVERIFY(b.binding.isPending(&b.field(3)));
        QCOMPARE(b.field(8).text(), QStringLiteral("$99.00"));
    }

    void addNewShowsEmptyFieldsAndHintGoesAway()
    {
        TestFolder folder;
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        Bound b(rs);
        b.field(3).setText(QStringLiteral("Click 'Create New Entry' Button to Begin"));
        rs.addNew();
        QCOMPARE(b.field(3).text(), QString());
        b.field(3).setText(QStringLiteral("First item"));
        rs.update();
        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(again.recordCount(), 1);
        QCOMPARE(again.row(0).itemDesc, QStringLiteral("First item"));
    }

    void gridModelHeadersAndFormats()
    {
        TestFolder folder;
        folder.addRows(
            {fullRow(), makeRow(QStringLiteral("Shelf"), QStringLiteral("SB-2"), 0, QStringLiteral("0"))});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        ItemTableModel model(rs);
        QCOMPARE(model.columnCount(), 9);
        QStringList headers;
        for (int c = 0; c < model.columnCount(); ++c)
            headers << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers,
                 QStringList({"Item Name", "Item Number", "Amount In Stock", "Unit Cost", "Total Unit Cost",
                              "Vendor Name", "Invoice Date", "Reorder At", "Order Qty"}));
        QStringList first;
        for (int c = 0; c < model.columnCount(); ++c)
            first << model.index(0, c).data().toString();
        QCOMPARE(first, QStringList({"Brass hinge", "HG-1", "1234", "$1,234.50", "$1,523,373.00", "Hartwell",
                                     "3/7/2024", "", ""}));
        QCOMPARE(model.index(1, 3).data().toString(), QStringLiteral("$0.00"));
        QVERIFY(!model.index(2, 0).data().isValid());
    }

    void gridModelFollowsAddDeleteAndEdits()
    {
        TestFolder folder;
        folder.addRows({fullRow(), makeRow(QStringLiteral("Shelf"), QStringLiteral("SB-2"))});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        ItemTableModel model(rs);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        rs.addNew();
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(inserted.count(), 1);
        rs.setValue(Column::ItemDesc, QStringLiteral("Screws"));
        QCOMPARE(model.index(2, 0).data().toString(), QStringLiteral("Screws"));
        QVERIFY(changed.count() >= 1);
        rs.moveFirst();
        rs.deleteCurrent();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Shelf"));
        rs.close();
        QCOMPARE(model.rowCount(), 0);
        rs.open();
        QCOMPARE(model.rowCount(), 2);
    }
};

QTEST_MAIN(TestItemBinding)
#include "tst_itembinding.moc"
