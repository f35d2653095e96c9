// Counting with the scanner: 100 scans in a row, 50 ms apart, from the serial port and from a
// scanner that types like a keyboard, each adding one to an item's count in a database of
// 10,000 items. Prints how many changes were made and how long each scan took to be shown.
#include "BenchDb.h"
#include "PtyPair.h"
#include "SilentPrompts.h"

#include "items/ItemRecordSet.h"
#include "scanner/KeyboardScan.h"
#include "scanner/ScanCounting.h"
#include "scanner/ScannerWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <cstdio>
#include <qpa/qwindowsysteminterface.h>

using namespace tv;

namespace {
constexpr int kScans = 100;
constexpr int kGapMs = 50;

struct Figures
{
    int changes = 0;
    int boxes = 0;
    std::vector<double> shownMs;
};

class CountingPrompts : public bench::SilentPrompts
{
public:
    int shown = 0;
    MsgAnswer message(const QString &, MsgButtons, MsgIcon, const QString &) override
    {
        ++shown;
        return MsgAnswer::Ok;
    }
};

// The item numbers scanned, one each of these in turn: numbers no other item shares.
QStringList scannedNumbers(const ItemRecordSet &records)
{
    QStringList numbers;
    for (int row = 0; row < records.recordCount() && numbers.size() < 5; row += 997)
        if (rowsNumbered(records, records.row(row).itemNum).size() == 1) numbers << records.row(row).itemNum;
    return numbers;
}

qint64 totalCount(const ItemRecordSet &records, const QStringList &numbers)
{
    qint64 sum = 0;
    for (const QString &n : numbers)
        sum += records.row(rowsNumbered(records, n).front()).itemCnt.value_or(0);
    return sum;
}

void print(const char *what, const Figures &f)
{
    std::vector<double> sorted = f.shownMs;
    std::sort(sorted.begin(), sorted.end());
    const double worst = sorted.empty() ? 0 : sorted.back();
    std::printf(
        "%-9s scans %d, changes %d, boxes %d; shown after: median %.1f ms, 95th %.1f ms, slowest %.1f ms\n",
        what, kScans, f.changes, f.boxes, bench::median(f.shownMs),
        sorted.empty() ? 0 : sorted[sorted.size() * 95 / 100], worst);
}

// Measures from when each code was sent to when the record set showed the count it made.
Figures measure(ItemRecordSet &records, const QStringList &numbers, CountingPrompts &prompts,
                const std::function<void(const QString &)> &send)
{
    Figures f;
    const qint64 before = totalCount(records, numbers);
    const int boxesBefore = prompts.shown;
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> sentAt;
    int shown = 0;
    const auto watch = QObject::connect(&records, &ItemRecordSet::rowChanged, [&] {
        // Each scan changes one row once: the n-th change shows the n-th scan.
        if (shown < static_cast<int>(sentAt.size()))
            f.shownMs.push_back(static_cast<double>(clock.elapsed() - sentAt[static_cast<size_t>(shown)]));
        ++shown;
    });
    for (int i = 0; i < kScans; ++i) {
        const qint64 due = static_cast<qint64>(i) * kGapMs;
        while (clock.elapsed() < due)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        sentAt.push_back(clock.elapsed());
        send(numbers[i % numbers.size()]);
    }
    QElapsedTimer settle;
    settle.start();
    while (totalCount(records, numbers) - before < kScans && settle.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QObject::disconnect(watch);
    f.changes = static_cast<int>(totalCount(records, numbers) - before);
    f.boxes = prompts.shown - boxesBefore;
    return f;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("TallyvaneBench"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("InventoryDb.mdb"));
    bench::generateInventory(path, 10000);
    CountingPrompts prompts;
    setPrompts(&prompts);
    setKeyboardScannersAccepted(true);

    ItemRecordSet records(path);
    records.open();
    const QStringList numbers = scannedNumbers(records);
    QWidget window;
    auto *field = new QLineEdit(&window);
    auto *other = new QLineEdit(&window);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(field);
    layout->addWidget(other);
    ScanRouter router(records, field);
    router.setMode(ScanMode::Add, 1);
    KeyboardScanDetector keyboard(&window);
    QObject::connect(&keyboard, &KeyboardScanDetector::scanned, &router, &ScanRouter::keyboardScan);
    window.show();
    window.activateWindow();
    other->setFocus();

    test::PtyPair pty;
    qputenv("TALLYVANE_SERIAL_PORTS", pty.slavePath().toLocal8Bit());
    ScannerWindow reader(records, field, &window, &router);
    reader.findChild<QPushButton *>(QStringLiteral("cmdConnect"))->click();

    // The scanner sends on its own, whatever the program is doing.
    print("serial", measure(records, numbers, prompts,
                            [&pty](const QString &code) { pty.send(code.toLatin1() + "\r\n"); }));

    ulong stamp = 1000000;
    QWindow *handle = window.windowHandle();
    print("keyboard", measure(records, numbers, prompts, [&](const QString &code) {
              for (const QChar c : code + QLatin1Char('\r')) {
                  const int key = c == QLatin1Char('\r') ? int(Qt::Key_Return) : int(c.toUpper().unicode());
                  const Qt::KeyboardModifiers mods = c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
                  QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
                      handle, stamp, QEvent::KeyPress, key, mods, QString(c));
                  QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
                      handle, stamp + 1, QEvent::KeyRelease, key, mods, QString(c));
                  stamp += 3;
              }
              stamp += kGapMs;
          }));
    setPrompts(nullptr);
    return 0;
}
