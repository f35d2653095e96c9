#include "Controls.h"
#include "PtyPair.h"
#include "ScriptedPrompts.h"
#include "TestFolder.h"

#include "items/Database.h"
#include "items/ItemRecordSet.h"
#include "mainwindow/ItemBinding.h"
#include "scanner/ScanCounting.h"
#include "scanner/ScannerPort.h"
#include "scanner/ScannerWindow.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

using namespace tv;
using tv::test::PtyPair;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

namespace {

// Counts the times a widget gets the focus: the main window's focus rule runs on each.
class FocusCounter : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn) ++count;
        return false;
    }
};

// What the reader needs of the main window: the record set and the bound item number field.
struct MainWindow
{
    explicit MainWindow(const std::vector<ItemRow> &rows = {})
    {
        folder.addRows(rows);
        records = std::make_unique<ItemRecordSet>(folder.databasePath());
        records->open();
        binding = std::make_unique<ItemBinding>(*records);
        auto *layout = new QVBoxLayout(&window);
        name = new QLineEdit(&window);
        itemNumber = new QLineEdit(&window);
        layout->addWidget(name);
        layout->addWidget(itemNumber);
        binding->bindField(3, name);
        binding->bindField(4, itemNumber);
        itemNumber->installEventFilter(&focusIns);
    }
    bool showActive()
    {
        window.show();
        window.activateWindow();
        name->setFocus();
        return QTest::qWaitForWindowActive(&window);
    }
    ScannerWindow *reader() { return new ScannerWindow(*records, itemNumber, &window); }

    TestFolder folder;
    std::unique_ptr<ItemRecordSet> records;
    std::unique_ptr<ItemBinding> binding;
    QWidget window;
    QLineEdit *name = nullptr;
    QLineEdit *itemNumber = nullptr;
    FocusCounter focusIns;
};

// The reader's controls, found by object name.
QPushButton *buttonOf(const ScannerWindow &w, const char *name)
{
    return control<QPushButton>(w, name);
}
QLabel *statusOf(const ScannerWindow &w)
{
    return control<QLabel>(w, "lblStatus");
}
QLineEdit *codeOf(const ScannerWindow &w)
{
    return control<QLineEdit>(w, "txtBarcode");
}
ScannerPort *portOf(const ScannerWindow &w)
{
    return control<ScannerPort>(w, "ComPort");
}
// The choice of COM1 to COM4 by its index 0 to 3.
QRadioButton *choiceOf(const ScannerWindow &w, int index)
{
    return control<QRadioButton>(w, ("optComPort_" + QByteArray::number(index)).constData());
}

QStringList enabledPorts(const ScannerWindow &w)
{
    QStringList on;
    for (int i = 0; i < 4; ++i)
        if (choiceOf(w, i)->isEnabled()) on << choiceOf(w, i)->accessibleName();
    return on;
}

std::vector<ItemRow> rowsNumbered(const QStringList &numbers)
{
    std::vector<ItemRow> rows;
    for (const QString &n : numbers)
        rows.push_back(test::makeRow(QStringLiteral("Item ") + n, n));
    return rows;
}

} // namespace

class tst_ScannerWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startsIdle();
    void probe_data();
    void probe();
    void connectAndDisconnect();
    void exitClosesPortKeepsStatus();
    void showsScannedCode_data();
    void showsScannedCode();
    void clearKeepsPartialCode();
    void connectFailures_data();
    void connectFailures();
    void farEndClosing();
    void send_data();
    void send();
    void sendFailureIsTrapped();
    void closeBoxUnloads();
    void countingScans_data();
    void countingScans();

private:
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<ScriptedPrompts> m_prompts;
};

void tst_ScannerWindow::init()
{
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(m_pty->isValid());
    qputenv("TALLYVANE_SERIAL_PORTS", m_pty->slavePath().toLocal8Bit());
    m_prompts = std::make_unique<ScriptedPrompts>();
}

void tst_ScannerWindow::cleanup()
{
    tv::setScanMode(tv::ScanMode::Find, 1);
    m_prompts.reset();
    m_pty.reset();
    qputenv("TALLYVANE_SERIAL_PORTS", "");
}

void tst_ScannerWindow::startsIdle()
{
    MainWindow main;
    std::unique_ptr<ScannerWindow> w(main.reader());
    QCOMPARE(w->windowTitle(), QStringLiteral("Barcode Reader"));
    QCOMPARE(statusOf(*w)->text(), QStringLiteral("Idle"));
    QVERIFY(buttonOf(*w, "cmdConnect")->isEnabled());
    QVERIFY(buttonOf(*w, "cmdDisconnect")->isEnabled());
    QVERIFY(choiceOf(*w, 0)->isChecked());
    QVERIFY(codeOf(*w)->isReadOnly());
    QVERIFY(codeOf(*w)->text().isEmpty());
    QVERIFY(!portOf(*w)->isOpen());
    QCOMPARE(control<QGroupBox>(*w, "fraFrames_0")->title(), QStringLiteral("Barcode Reader Options"));
    QCOMPARE(control<QGroupBox>(*w, "fraFrames_1")->title(), QStringLiteral("Barcode Scanned"));
    const QList<QPair<QAbstractButton *, QString>> captions = {
        {choiceOf(*w, 0), "COM1"},
        {choiceOf(*w, 3), "COM4"},
        {buttonOf(*w, "cmdConnect"), "Connect ComPort"},
        {buttonOf(*w, "cmdDisconnect"), "DisConnect ComPort"},
        {buttonOf(*w, "cmdClear"), "Clear Barcode"},
        {buttonOf(*w, "cmdSend"), "Send to Ketbook"},
        {buttonOf(*w, "cmdExit"), "Exit"},
    };
    for (const auto &[button, caption] : captions)
        QCOMPARE(button->text().remove(QLatin1Char('&')), caption);
    // The status label is read as the status it shows.
    for (QWidget *child : w->findChildren<QWidget *>())
        QVERIFY2(!QAccessible::queryAccessibleInterface(child)->text(QAccessible::Name).isEmpty(),
                 qPrintable(child->objectName()));
}

void tst_ScannerWindow::probe_data()
{
    // "pty" is the test's pseudo-terminal, "gone" a device path that does not exist.
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("enabled");

    QTest::newRow("one port, COM2 to COM4 missing") << QStringList{"pty"} << QStringList{"COM1"};
    QTest::newRow("COM1 unplugged") << QStringList{"gone", "pty"} << QStringList{"COM2"};
    QTest::newRow("no ports at all") << QStringList{} << QStringList{};
    QTest::newRow("four ports") << QStringList{"pty", "pty2", "gone", "pty3"}
                                << QStringList{"COM1", "COM2", "COM4"};
}

void tst_ScannerWindow::probe()
{
    QFETCH(QStringList, ports);
    QFETCH(QStringList, enabled);
    PtyPair second, third;
    QStringList paths;
    for (const QString &p : ports)
        paths << (p == "pty"    ? m_pty->slavePath()
                  : p == "pty2" ? second.slavePath()
                  : p == "pty3" ? third.slavePath()
                                : QStringLiteral("/nonexistent/ttyACM7"));
    qputenv("TALLYVANE_SERIAL_PORTS", paths.join(QLatin1Char(',')).toLocal8Bit());

    MainWindow main;
    std::unique_ptr<ScannerWindow> w(main.reader());
    QCOMPARE(enabledPorts(*w), enabled);
    QVERIFY(choiceOf(*w, 0)->isChecked());
    QCOMPARE(statusOf(*w)->text(), QStringLiteral("Idle"));
    QVERIFY(m_prompts->shown().isEmpty());
    QVERIFY(!portOf(*w)->isOpen());
    for (int i = 0; i < 4; ++i)
        QCOMPARE(choiceOf(*w, i)->toolTip(),
                 i < paths.size() ? paths.at(i) : QStringLiteral("No serial port"));
}

void tst_ScannerWindow::connectAndDisconnect()
{
    MainWindow main;
    std::unique_ptr<ScannerWindow> w(main.reader());
    buttonOf(*w, "cmdConnect")->click();
    QVERIFY(portOf(*w)->isOpen());
    QCOMPARE(statusOf(*w)->text(), QStringLiteral("Connected..."));
    QVERIFY(!buttonOf(*w, "cmdConnect")->isEnabled());
    QVERIFY(buttonOf(*w, "cmdDisconnect")->isEnabled());

    buttonOf(*w, "cmdDisconnect")->click();
    QVERIFY(!portOf(*w)->isOpen());
    QCOMPARE(statusOf(*w)->text(), QStringLiteral("DisConnected..."));
    QVERIFY(buttonOf(*w, "cmdConnect")->isEnabled());
    QVERIFY(!buttonOf(*w, "cmdDisconnect")->isEnabled());

    // Codes sent while disconnected are not taken; after a new Connect they are.
    buttonOf(*w, "cmdConnect")->click();
    QVERIFY(portOf(*w)->isOpen());
    QVERIFY(m_pty->send("R2\r\n"));
    QTRY_COMPARE(codeOf(*w)->text(), QStringLiteral("R2"));
    QVERIFY(m_prompts->shown().isEmpty());
}

void tst_ScannerWindow::exitClosesPortKeepsStatus()
{
    MainWindow main;
    std::unique_ptr<ScannerWindow> w(main.reader());
    w->show();
    buttonOf(*w, "cmdConnect")->click();
    buttonOf(*w, "cmdExit")->click();
    QVERIFY(!portOf(*w)->isOpen());
    QVERIFY(!w->isVisible());
    QVERIFY(!w->isUnloaded());
    QCOMPARE(statusOf(*w)->text(), QStringLiteral("Connected..."));
    QVERIFY(!buttonOf(*w, "cmdConnect")->isEnabled());
    QVERIFY(buttonOf(*w, "cmdDisconnect")->isEnabled());
}

void tst_ScannerWindow::showsScannedCode_data()
{
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ABC123 and CR LF") << QList<QByteArray>{"ABC123\r\n"} << "ABC123";
    QTest::newRow("split over several writes") << QList<QByteArray>{"AB", "C1", "23", "\r", "\n"} << "ABC123";
    QTest::newRow("CR alone, then CR LF") << QList<QByteArray>{"AB\r", "CD\r\n"} << "ABCD";
    QTest::newRow("NUL and control bytes dropped") << QList<QByteArray>{QByteArray("\0AB\x01"
                                                                                   "C\r\n",
                                                                                   7)}
                                                   << "ABC";
    QTest::newRow("two codes, the last one stays") << QList<QByteArray>{"X1\r\nY2\r\n"} << "Y2";
}

void tst_ScannerWindow::showsScannedCode()
{
    QFETCH(QList<QByteArray>, writes);
    QFETCH(QString, shown);
    MainWindow main;
    std::unique_ptr<ScannerWindow> w(main.reader());
    buttonOf(*w, "cmdConnect")->click();
    for (qsizetype i = 0; i < writes.size(); ++i) {
        QVERIFY(m_pty->send(writes.at(i)));
        QTest::qWait(30);
        // Nothing shows before the line ends.
        if (i + 1 < writes.size()) {
            QCOMPARE(statusOf(*w)->text(), QStringLiteral("Connected..."));
            QVERIFY(codeOf(*w)->text().isEmpty());
        }
    }
    QTRY_COMPARE(codeOf(*w)->text(), shown);
    QCOMPARE(statusOf(*w)->text(), QStringLiteral("Barcode Scanned"));
    // Scanning changes neither button.
    QVERIFY(!buttonOf(*w, "cmdConnect")->isEnabled());
    QVERIFY(buttonOf(*w, "cmdDisconnect")->isEnabled());
}

void tst_ScannerWindow::clearKeepsPartialCode()
{
    MainWindow main;
    ScannerWindow *w = ScannerWindow::scan(*main.records, main.itemNumber, &main.window);
    buttonOf(*w, "cmdConnect")->click();
    QVERIFY(m_pty->send("FIRST\r\nAB"));
    QTRY_COMPARE(codeOf(*w)->text(), QStringLiteral("FIRST"));
    QTRY_COMPARE(portOf(*w)->line().buffer(), QStringLiteral("AB"));
    buttonOf(*w, "cmdClear")->click();
    QVERIFY(codeOf(*w)->text().isEmpty());
    QVERIFY(m_pty->send("C\r\n"));
    QTRY_COMPARE(codeOf(*w)->text(), QStringLiteral("ABC"));

    // Scan Barcode again: the same window, its code box emptied, still connected.
    w->hide();
    QCOMPARE(ScannerWindow::scan(*main.records, main.itemNumber, &main.window), w);
    QVERIFY(w->isVisible());
    QVERIFY(codeOf(*w)->text().isEmpty());
    QVERIFY(portOf(*w)->isOpen());
}

void tst_ScannerWindow::connectFailures_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("inMessage");
    QTest::newRow("port in use") << "busy"
                                 << "is in use by another program";
    QTest::newRow("COM1 unplugged, greyed but selected") << "gone"
                                                         << "was not found";
    QTest::newRow("no port at all") << "none"
                                    << "There is no serial port for COM1";
}

void tst_ScannerWindow::connectFailures()
{
    QFETCH(QString, situation);
    QFETCH(QString, inMessage);
    if (situation == "gone")
        qputenv("TALLYVANE_SERIAL_PORTS", "/nonexistent/ttyACM7");
    else if (situation == "none")
        qputenv("TALLYVANE_SERIAL_PORTS", "");
    MainWindow main;
    std::unique_ptr<ScannerWindow> w(main.reader());
    QSerialPort other(m_pty->slavePath());
    if (situation == "busy") QVERIFY(other.open(QIODevice::ReadOnly));

    buttonOf(*w, "cmdConnect")->click();
    QCOMPARE(m_prompts->shown().size(), 1);
    QVERIFY2(m_prompts->last().text.contains(inMessage), qPrintable(m_prompts->last().text));
    QCOMPARE(m_prompts->last().icon, MsgIcon::Exclamation);
    QCOMPARE(m_prompts->last().buttons, MsgButtons::Ok);
    QVERIFY(!portOf(*w)->isOpen());
    QCOMPARE(statusOf(*w)->text(), QStringLiteral("Idle"));
    QVERIFY(buttonOf(*w, "cmdConnect")->isEnabled());
    QVERIFY(buttonOf(*w, "cmdDisconnect")->isEnabled());
}

void tst_ScannerWindow::farEndClosing()
{
    MainWindow main;
    std::unique_ptr<ScannerWindow> w(main.reader());
    buttonOf(*w, "cmdConnect")->click();
    QVERIFY(m_pty->send("LAST\r\n"));
    QTRY_COMPARE(codeOf(*w)->text(), QStringLiteral("LAST"));

    m_pty->closeMaster();
    QTRY_COMPARE(m_prompts->shown().size(), 1);
    QVERIFY(m_prompts->last().text.contains(QLatin1String("stopped answering")));
    QCOMPARE(m_prompts->last().icon, MsgIcon::Exclamation);
    QVERIFY(!portOf(*w)->isOpen());
    QCOMPARE(statusOf(*w)->text(), QStringLiteral("DisConnected..."));
    QVERIFY(buttonOf(*w, "cmdConnect")->isEnabled());
    QVERIFY(!buttonOf(*w, "cmdDisconnect")->isEnabled());
    QCOMPARE(codeOf(*w)->text(), QStringLiteral("LAST"));
    QTest::qWait(200);
    QCOMPARE(m_prompts->shown().size(), 1);
}

void tst_ScannerWindow::send_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("outcome"); // found, added or nothing
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");

    QTest::newRow("12 over A120 and 12: first containing wins") << QStringList{"A120", "12"} << "12"
                                                                << "found" << 0 << 1 << 2;
    QTest::newRow("abc finds XABC") << QStringList{"XYZ", "XABC"} << "abc"
                                    << "found" << 1 << 1 << 3;
    QTest::newRow("whole number") << QStringList{"A1", "B2"} << "B2"
                                  << "found" << 1 << 0 << 2;
    QTest::newRow("blanks around the code are not searched") << QStringList{"B7", "QA77"} << "  a7 "
                                                             << "found" << 1 << 1 << 2;
    QTest::newRow("unknown code appended") << QStringList{"A1", "B2"} << "Q9"
                                           << "added" << 2 << 0 << 0;
    QTest::newRow("empty table: first item") << QStringList{} << "Q9"
                                             << "added" << 0 << 0 << 0;
    QTest::newRow("new item number as the box has it") << QStringList{"A1"} << " Q9 "
                                                       << "added" << 1 << 0 << 0;
    QTest::newRow("blanks only") << QStringList{"A1", "B2"} << "   "
                                 << "nothing" << 0 << 0 << 0;
    QTest::newRow("empty box") << QStringList{"A1"} << ""
                               << "nothing" << 0 << 0 << 0;
}

void tst_ScannerWindow::send()
{
    QFETCH(QStringList, items);
    QFETCH(QString, box);
    QFETCH(QString, outcome);
    QFETCH(int, row);
    QFETCH(int, selStart);
    QFETCH(int, selLength);

    MainWindow main(rowsNumbered(items));
    QVERIFY(main.showActive());
    if (!items.isEmpty()) main.records->moveLast();
    const int before = main.records->position();
    ScannerWindow *w = ScannerWindow::scan(*main.records, main.itemNumber, &main.window);
    QVERIFY(QTest::qWaitForWindowActive(w));
    codeOf(*w)->setText(box);
    const int focusBefore = main.focusIns.count;

    buttonOf(*w, "cmdSend")->click();
    QVERIFY(m_prompts->shown().isEmpty());
    if (outcome == "nothing") {
        QVERIFY(w->isVisible());
        QCOMPARE(main.records->position(), before);
        QCOMPARE(main.records->recordCount(), items.size());
        QCOMPARE(main.focusIns.count, focusBefore);
        return;
    }
    QVERIFY(!w->isVisible());
    QCOMPARE(main.records->position(), row);
    QTRY_VERIFY(main.itemNumber->hasFocus());
    QVERIFY(main.focusIns.count > focusBefore);
    if (outcome == "found") {
        QCOMPARE(main.records->recordCount(), items.size());
        QCOMPARE(main.itemNumber->text(), items.at(row));
        QCOMPARE(main.itemNumber->selectionStart(), selStart);
        QCOMPARE(main.itemNumber->selectedText().size(), selLength);
        QCOMPARE(main.name->text(), QStringLiteral("Item ") + items.at(row));
    } else {
        QCOMPARE(main.records->recordCount(), items.size() + 1);
        QCOMPARE(main.itemNumber->text(), box);
        QVERIFY(main.name->text().isEmpty());
        // Written at once: another connection sees it in the file.
        QCOMPARE(tv::test::querySql(main.folder.databasePath(),
                                    QStringLiteral("select ItemNum from Items order by rowid")),
                 items + QStringList{box});
    }
}

void tst_ScannerWindow::sendFailureIsTrapped()
{
    MainWindow main(rowsNumbered({"A1"}));
    ScannerWindow *w = ScannerWindow::scan(*main.records, main.itemNumber, &main.window);
    codeOf(*w)->setText(QStringLiteral("A1"));
    main.records->close();
    buttonOf(*w, "cmdSend")->click();
    QCOMPARE(m_prompts->shown().size(), 1);
    QCOMPARE(m_prompts->last().text,
             QStringLiteral("Error 3704 (Operation is not allowed when the object is closed.). "
                            "In procedure cmdSend_Click of Form frmReadCode"));
    QCOMPARE(m_prompts->last().icon, MsgIcon::None);
    QVERIFY(w->isVisible());
    QCOMPARE(codeOf(*w)->text(), QStringLiteral("A1"));
}

void tst_ScannerWindow::closeBoxUnloads()
{
    MainWindow main;
    QPointer<ScannerWindow> first = ScannerWindow::scan(*main.records, main.itemNumber, &main.window);
    buttonOf(*first, "cmdConnect")->click();
    QVERIFY(portOf(*first)->isOpen());
    first->close();
    QVERIFY(first->isUnloaded());
    QVERIFY(!first->isVisible());
    QVERIFY(!portOf(*first)->isOpen());
    // The next Scan Barcode makes a new window, which probes the ports again.
    ScannerWindow *second = ScannerWindow::scan(*main.records, main.itemNumber, &main.window);
    QVERIFY(second != first.data());
    QCOMPARE(statusOf(*second)->text(), QStringLiteral("Idle"));
    QVERIFY(buttonOf(*second, "cmdDisconnect")->isEnabled());
    QTRY_VERIFY(first.isNull());
    // Escape hides like Exit and keeps the window.
    QTest::keyClick(second, Qt::Key_Escape);
    QVERIFY(!second->isVisible());
    QVERIFY(!second->isUnloaded());
}

QTEST_MAIN(tst_ScannerWindow)
#include "tst_scannerwindow.moc"

void tst_ScannerWindow::countingScans_data()
{
    QTest::addColumn<QStringList>("items"); // number:count, each at $1.25
    QTest::addColumn<int>("modeKey");       // the option's access key
    QTest::addColumn<QString>("quantity");  // typed into Quantity
    QTest::addColumn<QStringList>("scans");
    QTest::addColumn<QString>("answer");     // to the question or the list of items, if one is shown
    QTest::addColumn<QStringList>("counts"); // number:count after the scans, in row order
    QTest::addColumn<QString>("shown");      // part of the one message shown, if any

    QTest::newRow("add 1: three scans, any letter case")
        << QStringList{"A-1:0", "W-1:2"} << int(Qt::Key_A) << "1" << QStringList{"w-1", "W-1", "w-1"} << ""
        << QStringList{"A-1:0", "W-1:5"} << QString();
    QTest::newRow("take 5 of 7") << QStringList{"W-1:7"} << int(Qt::Key_T) << "5" << QStringList{"W-1"} << ""
                                 << QStringList{"W-1:2"} << QString();
    QTest::newRow("take from an item at 0: refused, unchanged")
        << QStringList{"Z-0:0"} << int(Qt::Key_T) << "1" << QStringList{"Z-0"} << "" << QStringList{"Z-0:0"}
        << "There are none of";
    QTest::newRow("part of a number is no match: asks, Yes adds it")
        << QStringList{"W-10:1"} << int(Qt::Key_A) << "3" << QStringList{"W-1"} << "yes"
        << QStringList{"W-10:1", "W-1:3"} << "No item has the number";
    QTest::newRow("two items with the number: asks which")
        << QStringList{"D-1:1", "D-1:4"} << int(Qt::Key_A) << "1" << QStringList{"d-1"} << "second"
        << QStringList{"D-1:1", "D-1:5"} << "2 items have the number";
    QTest::newRow("No adds nothing") << QStringList{"W-10:1"} << int(Qt::Key_A) << "1" << QStringList{"X"}
                                     << "no" << QStringList{"W-10:1"} << "No item has the number";
}

void tst_ScannerWindow::countingScans()
{
    QFETCH(QStringList, items);
    QFETCH(int, modeKey);
    QFETCH(QString, quantity);
    QFETCH(QStringList, scans);
    QFETCH(QString, answer);
    QFETCH(QStringList, counts);
    QFETCH(QString, shown);

    std::vector<ItemRow> rows;
    for (const QString &spec : items)
        rows.push_back(test::makeRow(QStringLiteral("Item ") + spec.section(':', 0, 0),
                                     spec.section(':', 0, 0), spec.section(':', 1).toLongLong(),
                                     QStringLiteral("1.25")));
    MainWindow main(rows);
    QVERIFY(main.showActive());
    if (answer == "second")
        m_prompts->choiceAnswer(1);
    else if (!answer.isEmpty())
        m_prompts->answer(answer == "yes" ? MsgAnswer::Yes : MsgAnswer::No);
    ScannerWindow *w = ScannerWindow::scan(*main.records, main.itemNumber, &main.window);
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTest::keyClick(w->windowHandle(), Qt::Key(modeKey), Qt::AltModifier);
    const char *option = modeKey == Qt::Key_A ? "optScanMode_1" : "optScanMode_2";
    QTRY_VERIFY(control<QRadioButton>(*w, option)->isChecked()); // an access key clicks after a moment
    QTest::keyClick(w->windowHandle(), Qt::Key_Q, Qt::AltModifier);
    auto *spin = control<QSpinBox>(*w, "txtQuantity");
    QTRY_VERIFY(spin->hasFocus());
    QTest::keyClick(w->windowHandle(), Qt::Key_A, Qt::ControlModifier);
    for (const QChar c : quantity)
        QTest::keyClick(w->windowHandle(), c.toLatin1());
    QCOMPARE(spin->value(), quantity.toInt());
    buttonOf(*w, "cmdConnect")->click();

    // No Send to Ketbook: each code counts as it comes.
    for (const QString &code : scans)
        QVERIFY(m_pty->send(code.toLatin1() + "\r\n"));
    if (!shown.isEmpty()) QTRY_COMPARE(m_prompts->shown().size(), 1);
    const auto stored = [&main] {
        return tv::test::querySql(
            main.folder.databasePath(),
            QStringLiteral("select ItemNum || ':' || ItemCnt from Items order by rowid"));
    };
    QTRY_COMPARE(stored(), counts);
    if (shown.isEmpty())
        QVERIFY(m_prompts->shown().isEmpty());
    else
        QVERIFY2(m_prompts->last().text.contains(shown), qPrintable(m_prompts->last().text));
    // The total follows the count, and each change is in the history.
    QCOMPARE(tv::test::querySql(
                 main.folder.databasePath(),
                 QStringLiteral("select count(*) from Items where TotItemCst is not ItemCnt * ItemCst")),
             QStringList{"0"});
    const QStringList kinds =
        tv::test::querySql(main.folder.databasePath(),
                           QStringLiteral("select Change from ItemHistory where Change like 'count%'"));
    int changed = 0;
    for (int i = 0; i < counts.size() && i < items.size(); ++i)
        changed += counts[i] != items[i];
    QCOMPARE(kinds.size(), changed == 0 ? 0 : scans.size());
    QVERIFY(w->isVisible());
}
