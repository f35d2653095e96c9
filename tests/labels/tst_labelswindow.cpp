#include "BarcodeTestUtil.h"
#include "Controls.h"
#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "items/ItemRecordSet.h"
#include "labels/LabelsWindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>
#include <qpa/qwindowsysteminterface.h>

using namespace tv;
using tv::test::makeRow;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

namespace {
const QString kSixty = QStringLiteral("ABCDEFGHIJ0123456789").repeated(3);
const QString kLongName =
    QStringLiteral("Stainless steel hex bolt, fully threaded, for outdoor use, box of 50");

// Keys as the window system delivers them, so that access keys work as they do for a user.
void press(QWidget &w, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(w.windowHandle(), key, modifiers);
}

// A button's access key: the button goes down and comes up again as if clicked, and acts then.
void pressButton(QWidget &w, Qt::Key accessKey, const char *button)
{
    auto *b = control<QAbstractButton>(w, button);
    press(w, accessKey, Qt::AltModifier);
    QVERIFY(b->isDown() || b->isChecked());
    QTRY_VERIFY(!b->isDown());
}

void chooseSheet(QWidget &w, const QString &key)
{
    const auto *sheets = control<QComboBox>(w, "cboSheet");
    press(w, Qt::Key_H, Qt::AltModifier);
    press(w, Qt::Key_Home);
    for (int i = 0; i < sheets->findData(key); ++i)
        press(w, Qt::Key_Down);
}

// Focuses a number field through its access key and types the number over what it held.
void typeNumber(QWidget &w, Qt::Key accessKey, int number)
{
    press(w, accessKey, Qt::AltModifier);
    QTest::keyClicks(w.focusWidget(), QString::number(number));
}

// The messages shown, file dialogs left out.
QStringList messages(const ScriptedPrompts &prompts)
{
    QStringList texts;
    for (const ScriptedPrompts::Shown &shown : prompts.shown())
        if (shown.kind == ScriptedPrompts::Kind::Message) texts << shown.text;
    return texts;
}

// What zbarimg reads from each label of the rendered first page, keyed by slot; empty labels left out.
QMap<int, QStringList> decodedLabels(const QString &png, const LabelSheet &sheet, const QString &folder)
{
    const QImage page(png);
    const double pixelsPerMm = 300 / 25.4;
    QMap<int, QStringList> found;
    for (int slot = 0; slot < sheet.perPage(); ++slot) {
        const QRectF mm = sheet.labelRect(slot);
        const QRect cell = QRectF(mm.topLeft() * pixelsPerMm, mm.size() * pixelsPerMm).toAlignedRect();
        const QString path = QDir(folder).filePath(QStringLiteral("cell-%1.png").arg(slot));
        page.copy(cell & page.rect()).save(path);
        const QStringList read = test::decodeCode39(path);
        if (!read.isEmpty()) found.insert(slot, read);
    }
    return found;
}
} // namespace

class TestLabelsWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("TallyvaneTest"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_labelswindow"));
    }

    // The page a run makes, read back: its size, and the item number each label's barcode gives.
    void pagesDecodeInTheirPlaces_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<bool>("printed"); // through the printer dialog rather than Save as PDF
        QTest::addColumn<QSizeF>("pagePoints");
        QTest::addColumn<int>("firstSlot");
        QTest::addColumn<QStringList>("leftOut");
        const QStringList three{"HB-1001", "ws-2002", "WN 3003"};
        QStringList thirty;
        for (int i = 1; i <= 30; ++i)
            thirty << QStringLiteral("P-%1").arg(100 + i);
        const QSizeF a4(595.28, 841.89);
        QTest::newRow("three on L7160 from row 2")
            << "L7160" << 2 << 1 << three << false << a4 << 3 << QStringList();
        QTest::newRow("three on L7160, printed")
            << "L7160" << 2 << 1 << three << true << a4 << 3 << QStringList();
        QTest::newRow("thirty on 5160")
            << "5160" << 1 << 1 << thirty << false << QSizeF(612, 792) << 0 << QStringList();
        QTest::newRow("sixty characters on L7651")
            << "L7651" << 1 << 1 << QStringList{kSixty, "L-7"} << false << a4 << 0
            << QStringList{"too long for this label: " + kSixty};
        QTest::newRow("label printer 62 x 29") << "roll-62x29" << 1 << 1 << QStringList{"R-62"} << false
                                               << QSizeF(175.75, 82.2) << 0 << QStringList();
    }
    void pagesDecodeInTheirPlaces()
    {
        QFETCH(QString, sheet);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QStringList, numbers);
        QFETCH(bool, printed);
        QFETCH(QSizeF, pagePoints);
        QFETCH(int, firstSlot);
        QFETCH(QStringList, leftOut);
        TestFolder folder;
        std::vector<ItemRow> rows;
        for (const QString &number : std::as_const(numbers))
            rows.push_back(makeRow(number == numbers.last() ? kLongName : QStringLiteral("Item ") + number,
                                   number, 1, "2.5"));
        folder.addRows(rows);
        ItemRecordSet records(folder.databasePath());
        records.open();
        ScriptedPrompts prompts;
        LabelsWindow w(records, {});
        const QString pdf = folder.file(QStringLiteral("labels.pdf"));
        w.setPrinterDialog([&pdf](QPrinter &printer) {
            printer.setOutputFileName(pdf); // "Print to file" chosen in the dialog
            return true;
        });
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));

        pressButton(w, Qt::Key_A, "optAll");
        chooseSheet(w, sheet);
        if (row > 1) typeNumber(w, Qt::Key_R, row);
        if (column > 1) typeNumber(w, Qt::Key_U, column);
        auto *leftOutList = control<QListWidget>(w, "lstLeftOut");
        QTRY_COMPARE(leftOutList->count(), leftOut.size());
        for (int i = 0; i < leftOut.size(); ++i)
            QCOMPARE(leftOutList->item(i)->text(), leftOut[i]);

        prompts.fileAnswer(pdf);
        pressButton(w, printed ? Qt::Key_P : Qt::Key_V, printed ? "cmdPrint" : "cmdSavePdf");
        QVERIFY2(messages(prompts).isEmpty(), qPrintable(messages(prompts).join('\n')));

        const test::PdfPages pages = test::pdfPages(pdf);
        QCOMPARE(pages.count, 1);
        QVERIFY2(qAbs(pages.size.width() - pagePoints.width()) < 1 &&
                     qAbs(pages.size.height() - pagePoints.height()) < 1,
                 qPrintable(QStringLiteral("%1 x %2").arg(pages.size.width()).arg(pages.size.height())));
        const QString png = test::pdfPageToPng(pdf, 300);
        QVERIFY2(!png.isEmpty(), "pdftoppm failed");
        QMap<int, QStringList> expected;
        int slot = firstSlot;
        for (const QString &number : std::as_const(numbers))
            if (number != kSixty) expected.insert(slot++, {number.toUpper()});
        const LabelSheet chosen = w.currentJob().sheet;
        QCOMPARE(decodedLabels(png, chosen, folder.path()), expected);
        // A name too long for its line is shortened, never run into the next label.
        const QString text = test::pdfText(pdf);
        QVERIFY2(text.contains(QStringLiteral("…")) && !text.contains(kLongName), qPrintable(text));
    }

    // A file that cannot be written is reported, and nothing is left behind.
    void saveFailureIsReported()
    {
        TestFolder folder;
        folder.addRows({makeRow("Washer", "W-1", 1)});
        ItemRecordSet records(folder.databasePath());
        records.open();
        records.moveFirst();
        ScriptedPrompts prompts;
        LabelsWindow w(records, {});
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const QString pdf = folder.file(QStringLiteral("no-such-folder/labels.pdf"));
        prompts.fileAnswer(pdf);
        pressButton(w, Qt::Key_V, "cmdSavePdf");
        QCOMPARE(messages(prompts).size(), 1);
        QVERIFY2(messages(prompts).first().startsWith(QStringLiteral("The labels could not be saved. ")) &&
                     messages(prompts).first().contains(QStringLiteral("no-such-folder")),
                 qPrintable(messages(prompts).first()));
        QCOMPARE(prompts.last().icon, MsgIcon::Exclamation);
        QVERIFY(!QFileInfo::exists(pdf));
    }

    // Closing the window in the middle of a run stops it: the earlier file stays as it was, nothing
    // half-written is left beside it, and the window closes once the run has stopped.
    void closingDuringARunCancelsIt()
    {
        TestFolder folder;
        folder.addRows({makeRow("Washer", "W-1", 900), makeRow("Nut", "N-2", 900)});
        ItemRecordSet records(folder.databasePath());
        records.open();
        const QString pdf = folder.file(QStringLiteral("labels.pdf"));
        QFile earlier(pdf);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();
        ScriptedPrompts prompts;
        QPointer<LabelsWindow> w = new LabelsWindow(records, {});
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        pressButton(*w, Qt::Key_A, "optAll");
        pressButton(*w, Qt::Key_T, "chkInStock"); // as many as in stock: 1,800 labels
        QTRY_VERIFY(control<QLabel>(*w, "lblTotal")->text().startsWith(QStringLiteral("1,800 labels on ")));

        QTimer::singleShot(0, w, [w] {
            QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
                w->windowHandle());
        });
        prompts.fileAnswer(pdf);
        control<QPushButton>(*w, "cmdSavePdf")->click();
        QVERIFY2(messages(prompts).isEmpty(), qPrintable(messages(prompts).join('\n')));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier"));
        QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*labels*")}, QDir::Files | QDir::Hidden),
                 QStringList{"labels.pdf"});
        QTRY_VERIFY(w.isNull());
    }
};

QTEST_MAIN(TestLabelsWindow)
#include "tst_labelswindow.moc"
