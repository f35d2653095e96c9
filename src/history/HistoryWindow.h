#pragma once

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace tv {

class HistoryList;
class ItemRecordSet;
class Prompts;

// "Item History": the changes of the main window's current item, following it while open, or
// of every item; Undo Change reverses the selected one. Deletes itself when closed.
class HistoryWindow : public QWidget
{
    Q_OBJECT
public:
    HistoryWindow(ItemRecordSet &records, Prompts &prompts, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    HistoryList &list() { return *m_list; }

public slots:
    void undoSelected();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildWindow();
    void followRecords();
    // Reads the lines again soon: changes come in bursts (typing, an import, a server's news).
    void reloadSoon();
    void reload();
    void showState();
    std::optional<qint64> currentKey() const;

    ItemRecordSet &m_records;
    Prompts &m_prompts;
    HistoryList *m_list = nullptr;
    QLineEdit *m_filter = nullptr;
    QCheckBox *m_allItems = nullptr;
    QTreeView *m_lines = nullptr;
    QLabel *m_state = nullptr;
    QPushButton *m_undo = nullptr;
    QPushButton *m_close = nullptr;
    QTimer m_reload;
};

} // namespace tv
