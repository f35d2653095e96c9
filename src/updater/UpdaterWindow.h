#pragma once

#include "KetbookDownload.h"

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

namespace tv {

class DrawnProgressBar;

// "Tallyvane Online Updater": shows the transfer's states and progress, then starts Ketbook
// again and ends.
class UpdaterWindow : public QWidget
{
    Q_OBJECT
public:
    explicit UpdaterWindow(QWidget *parent = nullptr);
    ~UpdaterWindow() override;

    // Shows the window and starts the size request and the download.
    void load();
    // Stops the transfer, starts Ketbook and ends; "Couldn't find Ketbook.exe" when Ketbook
    // cannot be started, and the window stays.
    void cancelDownload();

    QListWidget *lstStat = nullptr;
    DrawnProgressBar *Bar1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *lblSize = nullptr;
    QPushButton *cmdCancel = nullptr;
    KetbookDownload *Inet1 = nullptr;

    // The picture the bar is made of: 33 x 28 pixels.
    static QImage barPicture();
    // What lblSize shows for a size in bytes: "-1 KBs" when unknown.
    static QString sizeText(qint32 size);

protected:
    void closeEvent(QCloseEvent *event) override; // Form_Unload

private:
    void addStatus(const QString &line);
    void showProgress(int percent);
    bool startKetbook();
    int tw(int twips) const;

    bool m_ended = false;
};

} // namespace tv
