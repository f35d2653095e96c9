#include "PictureView.h"

#include "common/AppError.h"
#include "common/ErrorTrap.h"

#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>

namespace tv {

QImage loadPictureFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) throw AppError(Err::FileNotFound);
    if (!info.isFile() || !info.isReadable()) throw AppError(Err::PathFileAccess);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull()) throw AppError(Err::InvalidPicture);
    return image;
}

bool viewPicture(const QString &pathText, QLabel *image, QString &picturePath)
{
    ErrorTrap trap(QStringLiteral("View"), QStringLiteral("frmMain"));
    return trap.run([&] {
        trap.line(1);
        picturePath = pathText;
        trap.line(5);
        if (picturePath != QLatin1String("0")) {
            trap.line(6);
            const QImage picture = picturePath.isEmpty() ? QImage() : loadPictureFile(picturePath);
            image->setPixmap(QPixmap::fromImage(picture));
            trap.line(7);
            image->setVisible(true);
        } else {
            trap.line(9);
            image->setVisible(false);
        }
    });
}

} // namespace tv
