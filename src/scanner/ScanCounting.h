#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class QLineEdit;

namespace tv {

class ItemRecordSet;

// What a scan does: finds the item (or adds it), or adds to or takes from its count.
enum class ScanMode { Find, Add, Take };
inline constexpr int kMaxScanQuantity = 9999;

// The choice of the Barcode Reader window, kept between runs.
ScanMode scanMode();
int scanQuantity(); // 1 to 9,999
void setScanMode(ScanMode mode, int quantity);

// What the main window says while scans change counts ("Scanning adds 1 to the count"); empty
// while a scan only finds the item.
QString scanModeNotice(ScanMode mode, int quantity);

// The rows whose item number is the code, without regard to letter case.
std::vector<int> rowsNumbered(const ItemRecordSet &records, const QString &code);

// The row of the item the code is the number of: the only one, or the one the user picks when
// several items have it; nullopt when none has it (`noneHasIt` is then set) or the user cancelled.
std::optional<int> pickNumbered(const ItemRecordSet &records, const QString &code, bool &noneHasIt);

enum class CountOutcome { Nothing, Counted, Added, Refused };

// Adds `delta` (negative: takes) to the count of the item whose number is the code, saved at once
// and recorded in the history. A code that is no item's number asks whether to add it as a new
// item (with `delta` as its count when that is more than none). A refused change beeps and says
// why; nothing changes then.
CountOutcome countScan(ItemRecordSet &records, const QString &code, qint64 delta);

// Takes every scan, from the serial scanner and from scanners that type like a keyboard, one at
// a time in the order they came: a scan that arrives while one is at work (or a question is
// open) waits for it. What a scan does is the mode's; while a stocktake counts, every scan is
// counted there.
class ScanRouter : public QObject
{
    Q_OBJECT
public:
    // itemNumberField: the main window's item number field, which shows a found or added item.
    ScanRouter(ItemRecordSet &records, QLineEdit *itemNumberField, QObject *parent = nullptr);

    ScanMode mode() const { return m_mode; }
    int quantity() const { return m_quantity; }
    void setMode(ScanMode mode, int quantity);
    QString notice() const;

    // While set, every scan goes to the stocktake; an empty function ends that.
    void setStocktake(std::function<void(const QString &code)> count);
    bool countsForStocktake() const { return static_cast<bool>(m_stocktake); }
    // Whether a code from the serial scanner is taken at once, without Send to Ketbook.
    bool takesSerialCodes() const { return m_mode != ScanMode::Find || countsForStocktake(); }

public slots:
    void keyboardScan(const QString &code);
    void serialScan(const QString &code);

signals:
    void modeChanged();
    void scanTaken(); // a scan was dealt with, whatever its outcome

private:
    struct Scan
    {
        QString code;
        bool fromKeyboard = false;
    };
    void take(Scan scan);
    void apply(const Scan &scan);

    ItemRecordSet &m_records;
    QPointer<QLineEdit> m_field;
    ScanMode m_mode;
    int m_quantity;
    std::function<void(const QString &)> m_stocktake;
    QList<Scan> m_waiting;
    bool m_working = false;
};

} // namespace tv
