// The layout of label runs without a window: places on the sheet, which items get labels and how
// many, and which are left out.
#include "BarcodeTestUtil.h"
#include "TestFolder.h"
#include "items/ItemRecordSet.h"
#include "labels/LabelPlan.h"
#include "labels/LabelPrint.h"
#include "labels/LabelSheet.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace tv;
using tv::test::makeRow;
using tv::test::TestFolder;

namespace {
LabelSheet standard(const QString &key)
{
    for (const LabelSheet &sheet : standardSheets())
        if (sheet.key == key) return sheet;
    qFatal("no sheet %s", qPrintable(key));
}

ItemRow counted(const QString &number, std::optional<qint64> count)
{
    ItemRow row = makeRow(QStringLiteral("Item ") + number, number);
    row.itemCnt = count;
    return row;
}
// The smallest rectangle holding every dark pixel of page 1 of a PDF rendered at 300 dpi, in mm.
QRectF printedArea(const QString &pdf)
{
    const QImage page(test::pdfPageToPng(pdf, 300));
    QRect area;
    for (int y = 0; y < page.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(page.constScanLine(y));
        for (int x = 0; x < page.width(); ++x)
            if (qGray(line[x]) < 128) area |= QRect(x, y, 1, 1);
    }
    const double mmPerPixel = 25.4 / 300;
    return QRectF(area.x() * mmPerPixel, area.y() * mmPerPixel, area.width() * mmPerPixel,
                  area.height() * mmPerPixel);
}
} // namespace

class TestLabelPlan : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("TallyvaneTest"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_labelplan"));
    }

    // A half-used sheet starts at the row and column given; later pages start at their top left.
    void placesOnTheSheet_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("labels");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QRectF>("firstLabel"); // mm from the page's top left
        QTest::addColumn<int>("lastSlot");
        QTest::newRow("L7160 from row 2")
            << "L7160" << 2 << 1 << 3 << 1 << QRectF(7.21, 53.25, 63.5, 38.1) << 5;
        QTest::newRow("5160 last label, then a new page")
            << "5160" << 10 << 3 << 2 << 2 << QRectF(144.4625, 241.3, 66.675, 25.4) << 0;
        QTest::newRow("L7651 full sheet")
            << "L7651" << 1 << 1 << 65 << 1 << QRectF(4.67, 10.7, 38.1, 21.2) << 64;
        QTest::newRow("L7651 one more")
            << "L7651" << 1 << 1 << 66 << 2 << QRectF(4.67, 10.7, 38.1, 21.2) << 0;
        QTest::newRow("beyond the sheet: its last label")
            << "L7160" << 99 << 99 << 1 << 1 << QRectF(139.29, 243.75, 63.5, 38.1) << 20;
        QTest::newRow("label printer: a page each")
            << "roll-2x1" << 3 << 2 << 3 << 3 << QRectF(0, 0, 50.8, 25.4) << 0;
    }
    void placesOnTheSheet()
    {
        QFETCH(QString, sheet);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, labels);
        QFETCH(int, pages);
        QFETCH(QRectF, firstLabel);
        QFETCH(int, lastSlot);
        const LabelSheet s = standard(sheet);
        QVERIFY(s.problem().isEmpty());
        const LabelPlaces places(s, row, column);
        QCOMPARE(places.pages(labels), pages);
        QCOMPARE(places.page(0), 0);
        const QRectF first = s.labelRect(places.slot(0));
        QVERIFY2(qAbs(first.x() - firstLabel.x()) < 0.01 && qAbs(first.y() - firstLabel.y()) < 0.01 &&
                     qAbs(first.width() - firstLabel.width()) < 0.01 &&
                     qAbs(first.height() - firstLabel.height()) < 0.01,
                 qPrintable(QStringLiteral("%1 %2 %3 %4")
                                .arg(first.x())
                                .arg(first.y())
                                .arg(first.width())
                                .arg(first.height())));
        QCOMPARE(places.slot(labels - 1), lastSlot);
        QCOMPARE(places.page(labels - 1), pages - 1);
    }

    // Every item number either fits with its quiet zones and a narrow bar of 0.19 mm or more, on
    // whole dots of the printer, or is listed with the reason and left out.
    void readableOrLeftOut_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("dots"); // of the narrow bar; 0 when left out
        QTest::addColumn<QString>("leftOut");
        const QString sixty = QStringLiteral("ABCDEFGHIJ0123456789").repeated(3);
        QTest::newRow("60 characters on L7651")
            << "L7651" << sixty << 600 << 0 << "too long for this label: " + sixty;
        QTest::newRow("9 characters on L7651") << "L7651"
                                               << "HB-100123" << 600 << 5 << "";
        QTest::newRow("10 characters on L7651")
            << "L7651"
            << "HB-1001234" << 600 << 0 << "too long for this label: HB-1001234";
        QTest::newRow("203 dpi, the narrowest is 2 dots") << "roll-2x1"
                                                          << "SKU-123456" << 203 << 2 << "";
        QTest::newRow("short on 5160: no wider than 0.5 mm") << "5160"
                                                             << "A1" << 600 << 11 << "";
        QTest::newRow("20 characters on 5160") << "5160"
                                               << "ABCDEFGHIJKLMNOPQRST" << 600 << 5 << "";
        QTest::newRow("no symbol") << "5160"
                                   << "A#1@" << 600 << 0 << "characters without a barcode (#, @): A#1@";
        QTest::newRow("asterisk") << "5160"
                                  << "A*1" << 600 << 0 << "characters without a barcode (*): A*1";
        QTest::newRow("no item number") << "5160"
                                        << " " << 600 << 0 << "no item number: Item  ";
    }
    void readableOrLeftOut()
    {
        QFETCH(QString, sheet);
        QFETCH(QString, number);
        QFETCH(int, dpi);
        QFETCH(int, dots);
        QFETCH(QString, leftOut);
        const LabelSheet s = standard(sheet);
        const std::vector<ItemRow> rows{makeRow(QStringLiteral("Item ") + number, number, 1)};
        const LabelPlan plan = planLabels(rows, {}, s, dpi);
        QCOMPARE(plan.leftOut, leftOut.isEmpty() ? QStringList() : QStringList{leftOut});
        QCOMPARE(plan.labels, leftOut.isEmpty() ? 1 : 0);
        if (dots == 0) return;
        const double bar = plan.items.front().narrowBarMm;
        QCOMPARE(qRound(bar / (25.4 / dpi) * 1000), dots * 1000);
        QVERIFY(bar >= kNarrowestBarMm);
        QVERIFY((barModules(number.size()) + 2 * kQuietModules) * bar <= s.label.width() - 2 * kLabelEdgeMm);
    }

    // Copies of each, or as many as in stock with stock beyond the cap counted as the cap.
    void howManyLabels_data()
    {
        QTest::addColumn<int>("copies");
        QTest::addColumn<bool>("inStock");
        QTest::addColumn<qint64>("labels");
        QTest::addColumn<QString>("summary");
        QTest::newRow("one of each") << 1 << false << qint64(4) << "4 labels on 1 page";
        QTest::newRow("3 of each") << 3 << false << qint64(12) << "12 labels on 1 page";
        QTest::newRow("as many as in stock")
            << 1 << true << qint64(1007)
            << "1,007 labels on 34 pages; stock above 1,000 counts as 1,000 (1 item)";
    }
    void howManyLabels()
    {
        QFETCH(int, copies);
        QFETCH(bool, inStock);
        QFETCH(qint64, labels);
        QFETCH(QString, summary);
        const std::vector<ItemRow> rows{counted("A-1", 7), counted("B-2", 0), counted("C-3", std::nullopt),
                                        counted("D-4", 250000)};
        const LabelSheet sheet = standard(QStringLiteral("5160"));
        const LabelPlan plan = planLabels(rows, {copies, inStock}, sheet, kPdfDotsPerInch);
        QCOMPARE(plan.labels, labels);
        QCOMPARE(planSummary(plan, LabelPlaces(sheet, 1, 1).pages(plan.labels)), summary);
    }

    // Which rows each choice takes from the record set.
    void itemChoices_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QStringList>("numbers");
        QTest::newRow("current item") << int(ItemChoice::CurrentItem) << QStringList{"B-2"};
        QTest::newRow("selected rows") << int(ItemChoice::SelectedRows) << QStringList{"A-1", "C-3"};
        QTest::newRow("all items") << int(ItemChoice::AllItems) << QStringList{"A-1", "B-2", "C-3"};
    }
    void itemChoices()
    {
        QFETCH(int, choice);
        QFETCH(QStringList, numbers);
        TestFolder folder;
        folder.addRows({makeRow("Alpha", "A-1"), makeRow("Beta", "B-2"), makeRow("Gamma", "C-3")});
        ItemRecordSet records(folder.databasePath());
        records.open();
        records.moveTo(1);
        QStringList chosen;
        for (const ItemRow &row : chosenRows(records, ItemChoice(choice), {0, 2, 7}))
            chosen << row.itemNum;
        QCOMPARE(chosen, numbers);
    }

    // A printer's offset moves everything printed on it by that much, and nothing else.
    void offsetMovesThePrint_data()
    {
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("down");
        QTest::newRow("left and down") << 5.0 << 10.0;
        QTest::newRow("right and up") << -3.0 << -2.5;
    }
    void offsetMovesThePrint()
    {
        QFETCH(double, left);
        QFETCH(double, down);
        QTemporaryDir dir;
        const std::vector<ItemRow> rows{makeRow("Hinge", "H-75", 1, "3.5")};
        LabelJob job;
        job.sheet = standard(QStringLiteral("L7160"));
        job.content = {true, true};
        job.startRow = 3;
        job.startColumn = 2;
        job.plan = planLabels(rows, {}, job.sheet, kPdfDotsPerInch);
        const QString straight = dir.filePath(QStringLiteral("straight/labels.pdf"));
        const QString moved = dir.filePath(QStringLiteral("moved/labels.pdf"));
        QVERIFY(QDir(dir.path()).mkpath("straight") && QDir(dir.path()).mkpath("moved"));
        QCOMPARE(saveLabelsPdf(straight, job, {}), LabelsResult::Done);
        job.offset = {left, down};
        QCOMPARE(saveLabelsPdf(moved, job, {}), LabelsResult::Done);
        const QRectF before = printedArea(straight);
        const QRectF after = printedArea(moved);
        QVERIFY(job.sheet.labelRect(7).contains(before));
        const QPointF shift = after.topLeft() - before.topLeft();
        const double tolerance = 2 * 25.4 / 300; // bars and text each round to the pixel their own way
        QVERIFY2(qAbs(shift.x() + left) <= tolerance && qAbs(shift.y() - down) <= tolerance &&
                     qAbs(after.width() - before.width()) <= tolerance,
                 qPrintable(QStringLiteral("moved by %1, %2 mm, %3 mm wider")
                                .arg(shift.x())
                                .arg(shift.y())
                                .arg(after.width() - before.width())));
    }

    // The custom sheet and each printer's offset outlast the window; a sheet that cannot hold its
    // labels says why.
    void keptInTheSettings()
    {
        LabelSheet custom = customSheet();
        custom.page = QSizeF(100, 150);
        custom.rows = 4;
        custom.columns = 2;
        custom.label = QSizeF(45, 35);
        custom.left = 4;
        custom.top = 2;
        custom.gapAcross = 2;
        custom.gapDown = 1;
        keepCustomSheet(custom);
        const LabelSheet kept = allSheets().back();
        QCOMPARE(kept.name, QStringLiteral(u"Custom sheet (100 × 150 mm, 2 × 4, 45 × 35 mm)"));
        QCOMPARE(kept.labelRect(7), QRectF(4 + 45 + 2, 2 + 3 * 36, 45, 35));
        QVERIFY(kept.problem().isEmpty());
        custom.rows = 5;
        QVERIFY(custom.problem().startsWith(QStringLiteral("The labels do not fit on the page")));
        custom.rows = 4;
        custom.label = QSizeF(45, 9);
        QVERIFY(sheetProblem(custom, {true, true}).startsWith(QStringLiteral("These labels are too low")));

        keepPrinterOffset(QStringLiteral("Office/Laser"), {1.5, -0.5});
        keepPrinterOffset(QStringLiteral("Shelf printer"), {0, 2});
        QCOMPARE(printerOffset(QStringLiteral("Office/Laser")).shift(), QPointF(-1.5, -0.5));
        QCOMPARE(printerOffset(QStringLiteral("Shelf printer")).shift(), QPointF(0, 2));
        QCOMPARE(printerOffset(QStringLiteral("Another")).shift(), QPointF(0, 0));
    }
};

QTEST_MAIN(TestLabelPlan)
#include "tst_labelplan.moc"
