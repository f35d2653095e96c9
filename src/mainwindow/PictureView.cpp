#include "PictureView.h"

#include "common/AppError.h"
#include "common/ErrorTrap.h"

#include <QCoreApplication>
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

namespace {
const char *const kImageName = "Item Image";

void showNote(QLabel *image, const QString &note)
{
    image->clear();
    image->setAlignment(Qt::AlignCenter);
    image->setWordWrap(true);
    image->setText(note);
    image->setAccessibleName(QStringLiteral("%1: %2").arg(QLatin1String(kImageName), note));
}
} // namespace

bool viewPicture(const QString &pathText, QLabel *image, QString &picturePath, PictureFailure onFailure)
{
    ErrorTrap trap(QStringLiteral("View"), QStringLiteral("frmMain"));
    auto body = [&] {
        trap.line(1);
        picturePath = pathText;
        trap.line(5);
        if (picturePath != QLatin1String("0")) {
            trap.line(6);
            const QImage picture = picturePath.isEmpty() ? QImage() : loadPictureFile(picturePath);
            image->setPixmap(QPixmap::fromImage(picture));
            image->setAccessibleName(QLatin1String(kImageName));
            trap.line(7);
            image->setVisible(true);
        } else {
            trap.line(9);
            image->setVisible(false);
        }
    };
    if (onFailure == PictureFailure::Report) return trap.run(body);
    try {
        body();
        return true;
    } catch (const AppError &e) {
        showNote(image, QCoreApplication::translate("View", "No picture: %1").arg(e.description()));
        image->setVisible(true);
        return false;
    }
}

} // namespace tv
