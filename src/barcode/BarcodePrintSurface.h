#pragma once

#include <QImage>
#include <QWidget>

class QPrinter;

namespace tv {

// The print window: nothing but a picture box holding the barcode image. It is never shown; its
// client area is what goes on the page.
class BarcodePrintSurface : public QWidget
{
    Q_OBJECT
public:
    explicit BarcodePrintSurface(QWidget *parent = nullptr);

    // The image sits unscaled at the picture box's top left. A wider image widens the box and the
    // window with it, so that no bar of a long code is cut off.
    void setPicture(const QImage &picture);
    QRect pictureBoxRect() const;

    // The client area as one image, window colours and all.
    QImage clientImage() const;

    // Prints the client area at its size on screen at the top left of the page and ends the job.
    // False when the printer could not be opened or the job failed.
    bool printClientArea(QPrinter &printer) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
};

} // namespace tv
