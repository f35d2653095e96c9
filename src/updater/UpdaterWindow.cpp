#include "updater/UpdaterWindow.h"

#include "updater/DrawnProgressBar.h"

#include "common/EndProgram.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <cmath>

namespace tv {

namespace {
const QColor kDarkBlue(0, 0, 64);
const QColor kCyan(0, 255, 255);
const QColor kLightYellow(255, 255, 128);

QFont tahoma()
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSizeF(8.25);
    return f;
}

void colourText(QWidget *w, const QColor &fore, const QColor &back)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, fore);
    pal.setColor(QPalette::Text, fore);
    pal.setColor(QPalette::Base, back);
    pal.setColor(QPalette::Window, back);
    w->setPalette(pal);
}
} // namespace

int UpdaterWindow::tw(int twips) const
{
    return int(std::lround(twips * logicalDpiX() / 1440.0));
}

QImage UpdaterWindow::barPicture()
{
    // A glassy blue: light along the top, deep in the middle, lighter again at the bottom.
    QImage pic(33, 28, QImage::Format_RGB32);
    for (int y = 0; y < pic.height(); ++y) {
        const double t = y / double(pic.height() - 1);
        const double glow = t < 0.45 ? 1.0 - t / 0.45 : (t - 0.45) / 0.55 * 0.5;
        const QColor c(int(20 + 150 * glow), int(90 + 140 * glow), int(210 + 45 * glow));
        for (int x = 0; x < pic.width(); ++x)
            pic.setPixelColor(x, y, c);
    }
    return pic;
}

UpdaterWindow::UpdaterWindow(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tallyvane Online Updater"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(tw(3630), tw(3405));
    setAutoFillBackground(true);
    colourText(this, kCyan, kDarkBlue);

    m_statusList = new QListWidget(this);
    m_statusList->setObjectName(QStringLiteral("lstStat"));
    m_statusList->setGeometry(tw(0), tw(0), tw(3615), tw(2595));
    m_statusList->setAccessibleName(QStringLiteral("Status"));
    colourText(m_statusList, kCyan, kDarkBlue);

    m_progressBar = new DrawnProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("Bar1"));
    m_progressBar->setGeometry(tw(0), tw(2640), tw(3615), tw(255));
    m_progressBar->setAccessibleName(QStringLiteral("Download progress"));
    {
        // The bar as designed: segmented, raised thin border, black gaps, tiled picture.
        PropertyBag design;
        QFont sans(QStringLiteral("MS Sans Serif"));
        sans.setPointSizeF(8.25);
        design.write(QStringLiteral("Segments"), true, false);
        design.write(QStringLiteral("BorderStyle"), 2, 1);
        design.write(QStringLiteral("BackColor"), 0u, DrawnProgressBar::kButtonFace);
        design.write(QStringLiteral("BarPicture"), barPicture(), QImage());
        design.write(QStringLiteral("BackPictureMode"), 0, 1);
        design.write(QStringLiteral("Font"), sans);
        m_progressBar->readProperties(design);
    }

    m_sizeCaption = new QLabel(QStringLiteral("File Size :"), this);
    m_sizeCaption->setObjectName(QStringLiteral("Label1"));
    m_sizeCaption->setGeometry(tw(120), tw(3000), tw(855), tw(255));
    m_sizeCaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_sizeCaption->setFont(tahoma());
    m_sizeCaption->setAccessibleName(QStringLiteral("File Size :"));
    colourText(m_sizeCaption, kCyan, kDarkBlue);

    m_size = new QLabel(this);
    m_size->setObjectName(QStringLiteral("lblSize"));
    m_size->setGeometry(tw(960), tw(3000), tw(1575), tw(255));
    m_size->setAlignment(Qt::AlignCenter);
    m_size->setFont(tahoma());
    colourText(m_size, kLightYellow, kDarkBlue);

    m_cancel = new QPushButton(QStringLiteral("&Cancel "), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cancel->setGeometry(tw(2520), tw(3000), tw(975), tw(375));
    m_cancel->setFont(tahoma());
    m_cancel->setAccessibleName(QStringLiteral("Cancel"));
    m_cancel->setPalette(QPalette()); // a plain button on the dark window
    connect(m_cancel, &QPushButton::clicked, this, &UpdaterWindow::cancelDownload);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &UpdaterWindow::cancelDownload);
    setTabOrder(m_statusList, m_cancel);

    m_download = new KetbookDownload(this);
    connect(m_download, &KetbookDownload::statusLine, this, &UpdaterWindow::addStatus);
    connect(m_download, &KetbookDownload::sizeKnown, this,
            [this](qint32 size) { m_size->setText(sizeText(size)); });
    connect(m_download, &KetbookDownload::progress, this, &UpdaterWindow::showProgress);
    // Whole and in place, or failed with the old program kept: either way Ketbook starts again. A
    // copy without a release key never offers an update; its status line says why nothing happened.
    connect(m_download, &KetbookDownload::finished, this, [this](KetbookDownload::Result result) {
        if (result == KetbookDownload::Result::Rejected)
            tv::prompts().message(m_download->rejectionText(), tv::MsgButtons::Ok, tv::MsgIcon::Stop,
                                  windowTitle());
        cancelDownload();
    });
}

UpdaterWindow::~UpdaterWindow() = default;

QString UpdaterWindow::sizeText(qint32 size)
{
    // Whole kilobytes, rounded up so that a small file does not show 0; -1 when unknown.
    const qint64 kb = size < 0 ? -1 : (qint64(size) + 1023) / 1024;
    return QString::number(kb) + QStringLiteral(" KBs");
}

void UpdaterWindow::load()
{
    show();
    m_cancel->setFocus();
    // Started from the event loop, so that even a failure at once can end the program.
    QMetaObject::invokeMethod(m_download, &KetbookDownload::start, Qt::QueuedConnection);
}

void UpdaterWindow::addStatus(const QString &line)
{
    m_statusList->addItem(line);
    m_statusList->setCurrentRow(m_statusList->count() - 1);
}

void UpdaterWindow::showProgress(int percent)
{
    // Only a change is drawn: the bar would look the same after every chunk otherwise.
    if (m_progressBar->value() == percent && !m_progressBar->text().isEmpty()) return;
    m_progressBar->setValue(percent);
    m_progressBar->setText(QString::number(percent) + QLatin1Char('%'));
}

bool UpdaterWindow::startKetbook()
{
    return QProcess::startDetached(tv::programPath(QStringLiteral("Ketbook")), {}, tv::programFolder());
}

void UpdaterWindow::cancelDownload()
{
    if (m_ended) return;
    m_download->cancel();
    if (!startKetbook()) {
        tv::prompts().message(QStringLiteral("Couldn't find Ketbook.exe"), tv::MsgButtons::Ok,
                              tv::MsgIcon::Stop, QStringLiteral("Error"));
        return;
    }
    m_ended = true;
    tv::endProgramNow();
}

void UpdaterWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_ended) return;
    m_download->cancel();
    if (!startKetbook())
        tv::prompts().message(QStringLiteral("Couldn't find Ketbook.exe"), tv::MsgButtons::Ok,
                              tv::MsgIcon::Stop, QStringLiteral("Error"));
    // Closing the window ends the updater either way.
    m_ended = true;
    tv::endProgramNow();
}

} // namespace tv
