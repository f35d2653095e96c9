#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;

namespace tv {

class ItemRecordSet;
class ScanRouter;
class StocktakeCount;
class StocktakeTableModel;

// "Stocktake": Start Count, then every scan (or a typed count) counts an item; Finish Count
// writes stocktake.html, shows it and asks whether to set the counts. While the window is open
// on a count in progress, every scan counts here and not in the main window.
class StocktakeWindow : public QWidget
{
    Q_OBJECT
public:
    StocktakeWindow(ItemRecordSet &records, ScanRouter &router, QWidget *parent = nullptr);
    ~StocktakeWindow() override;

    StocktakeCount &count() const { return *m_count; }

public slots:
    void startCount();
    void finishCount();
    void cancelCount();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildWindow();
    void showState();
    void showSummary();
    void takeScans(bool on);
    void scanned(const QString &code);

    ItemRecordSet &m_records;
    QPointer<ScanRouter> m_router; // the main window's, which may go first when both close
    StocktakeCount *m_count = nullptr;
    StocktakeTableModel *m_model = nullptr;
    QLabel *m_state = nullptr;
    QTableView *m_list = nullptr;
    QLabel *m_summary = nullptr;
    QCheckBox *m_zeroRest = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_finish = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_close = nullptr;
    QTimer m_look; // for counts from other workstations
};

} // namespace tv
