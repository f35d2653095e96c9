#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

namespace tv {

class UpdateCheck;

// "Tallyvane Updater": shows the installed version, asks the update server for the latest one
// and, when it is newer, starts the updater and ends the program. One lasting instance, shown
// without blocking the main window.
class frmUpChek : public QDialog
{
    Q_OBJECT
public:
    // Writes the main window's data (its current row's pending edits included); throws AppError
    // on failure.
    using SaveData = std::function<void()>;

    explicit frmUpChek(SaveData saveData, QWidget *parent = nullptr);
    ~frmUpChek() override;

    QLabel *lblAppVer = nullptr;
    QPushButton *cmdCheck = nullptr;
    QLabel *lblstat = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *lblVer = nullptr;
    QPushButton *cmdUpdate = nullptr;
    UpdateCheck *Inet1 = nullptr;

    // True from the press of cmdCheck until the check has ended one way or another.
    bool checking() const { return m_checking; }

public slots:
    void Form_Load();
    void cmdCheck_Click();
    void cmdUpdate_Click();
    void done(int result) override;

signals:
    // Every check ends with this, whatever its outcome (also when the window closed).
    void checkFinished();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onProbeFinished(bool connected);
    void onFetched(const QString &body);
    void onFetchFailed(int number, const QString &description);
    void endCheck();

    SaveData m_saveData;
    QUrl m_versionUrl;
    bool m_checking = false;
    bool m_reloadOnShow = false;
};

} // namespace tv
