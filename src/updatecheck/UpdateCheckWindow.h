#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QLayout;
class QPushButton;

namespace tv {

class UpdateCheck;

// "Tallyvane Updater": shows the installed version, asks the update server for the latest one
// and, when it is newer, starts the updater and ends the program. One lasting instance, shown
// without blocking the main window.
class UpdateCheckWindow : public QDialog
{
    Q_OBJECT
public:
    // Writes the main window's data (its current row's pending edits included); throws AppError
    // on failure.
    using SaveData = std::function<void()>;

    explicit UpdateCheckWindow(SaveData saveData, QWidget *parent = nullptr);
    ~UpdateCheckWindow() override;

    // True from the press of Check for Update until the check has ended one way or another.
    bool checking() const { return m_checking; }

public slots:
    void load();
    void checkNow();
    void startUpdater();
    void done(int result) override;

signals:
    // Every check ends with this, whatever its outcome (also when the window closed).
    void checkFinished();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setLook();
    void buildInstalledVersion();
    void buildCheckButton();
    void buildStatus();
    QLayout *buildLatestVersion();
    void buildUpdateButton();
    void layOut(QLayout *latest);
    void connectControls();

    void onProbeFinished(bool connected);
    void onFetched(const QString &body);
    void onFetchFailed(int number, const QString &description);
    void endCheck();

    QLabel *m_installedVersion = nullptr;
    QPushButton *m_checkButton = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_latestCaption = nullptr; // "Latest Version is :"
    QLabel *m_latestVersion = nullptr;
    QPushButton *m_updateButton = nullptr;
    UpdateCheck *m_updateCheck = nullptr;

    SaveData m_saveData;
    QUrl m_versionUrl;
    bool m_checking = false;
    bool m_reloadOnShow = false;
};

} // namespace tv
