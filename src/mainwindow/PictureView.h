#pragma once

#include <QImage>
#include <QString>

class QLabel;

namespace tv {

// Reads a picture file (JPEG, GIF, BMP, ICO, PNG). Throws AppError 53 (File not found) for a
// missing file, 75 for one that cannot be read, 481 (Invalid picture) for one that is no picture.
QImage loadPictureFile(const QString &path);

// The main window's View: shows the picture the path text names in the picture box, or hides
// the box for "0"; an empty text shows the box empty. On failure the trap names View of
// MainWindow and the box keeps its picture and visibility. Returns whether it succeeded;
// picturePath receives the text in any case.
// Keyboard moves through the grid pass Failure::Note: a picture that cannot be shown leaves the box
// empty with a short note in it instead of a message box at every key press.
enum class PictureFailure { Report, Note };
bool viewPicture(const QString &pathText, QLabel *image, QString &picturePath,
                 PictureFailure onFailure = PictureFailure::Report);

} // namespace tv
