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

    // The transfer this window shows, for tests and benchmarks that watch it.
    KetbookDownload &download() { return *m_download; }

    // The picture the bar is made of: 33 x 28 pixels.
    static QImage barPicture();
    // What the size label shows for a size in bytes: "-1 KBs" when unknown.
    static QString sizeText(qint32 size);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void addStatus(const QString &line);
    void showProgress(int percent);
    bool startKetbook();
    int tw(int twips) const;

    QListWidget *m_statusList = nullptr;
    DrawnProgressBar *m_progressBar = nullptr;
    QLabel *m_sizeCaption = nullptr;
    QLabel *m_size = nullptr;
    QPushButton *m_cancel = nullptr;
    KetbookDownload *m_download = nullptr;
    bool m_ended = false;
};

} // namespace tv
