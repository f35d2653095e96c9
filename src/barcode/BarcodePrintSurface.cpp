#include "barcode/BarcodePrintSurface.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

namespace tv {

namespace {
// Layout in pixels at 15 twips a pixel: client 9915 x 3060, picture box 120, 240, 9495 x 1935.
constexpr QSize kClient(661, 204);
constexpr QRect kPictureBox(8, 16, 633, 129);
constexpr double kScreenDpi = 96.0;
} // namespace

BarcodePrintSurface::BarcodePrintSurface(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmPrintCode"));
    setWindowTitle(QStringLiteral("Form1"));
    setAccessibleName(QStringLiteral("Form1"));
    setFixedSize(kClient);
}

void BarcodePrintSurface::setPicture(const QImage &picture)
{
    m_picture = picture;
    const QRect box = pictureBoxRect();
    setFixedSize(
        std::max(kClient.width(), box.right() + 1 + (kClient.width() - kPictureBox.right() - 1)),
        std::max(kClient.height(), box.bottom() + 1 + (kClient.height() - kPictureBox.bottom() - 1)));
}

QRect BarcodePrintSurface::pictureBoxRect() const
{
    return QRect(kPictureBox.topLeft(), kPictureBox.size().expandedTo(m_picture.size()));
}

QImage BarcodePrintSurface::clientImage() const
{
    QImage image(size(), QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Window));
    QPainter p(&image);
    const QRect box = pictureBoxRect();
    p.fillRect(box, palette().color(QPalette::Base));
    if (!m_picture.isNull()) p.drawImage(box.topLeft(), m_picture);
    return image;
}

bool BarcodePrintSurface::printClientArea(QPrinter &printer) const
{
    const QImage image = clientImage();
    QPainter p;
    if (!p.begin(&printer)) return false;
    // Same physical size as on screen; no smoothing, so that bar edges stay sharp.
    const double scale = printer.resolution() / kScreenDpi;
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRectF(0, 0, image.width() * scale, image.height() * scale), image);
    return p.end();
}

void BarcodePrintSurface::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(0, 0, clientImage());
}

} // namespace tv
