#pragma once

#include "PictureSurface.h"

#include <QFrame>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;

namespace tv {

// A picture box: shows its surface's persistent image inside a sunken frame and sizes itself to it.
class PictureBox : public QFrame
{
    Q_OBJECT
public:
    explicit PictureBox(QSize pixels, QWidget *parent = nullptr);

    PictureSurface &surface() { return m_surface; }
    const PictureSurface &surface() const { return m_surface; }
    // Follows the surface's size and repaints; called after every drawing.
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PictureSurface m_surface;
};

// "BarCode 39": shows a text as a Code 39 barcode and copies, prints or saves it.
class frmBarCodeGen : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kTypedMaxLength = 23;

    // itemNumber: the main window's item number as it is when the window is created. The window
    // deletes itself when closed with its close box (or Escape); its commands only hide it.
    explicit frmBarCodeGen(const QString &itemNumber, QWidget *parent = nullptr);
    ~frmBarCodeGen() override;

    // Where Print sends the page: by default the system's default printer, nullptr when there is none.
    using PrinterSource = std::function<std::unique_ptr<QPrinter>()>;
    void setPrinterSource(PrinterSource source) { m_printerSource = std::move(source); }
    static std::unique_ptr<QPrinter> defaultPrinter();

    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label2 = nullptr;
    PictureBox *Picture1 = nullptr;
    QLabel *lblNotEncoded = nullptr; // names the characters that have no bars
    QPushButton *cmdCopy = nullptr;
    QPushButton *cmdPrint = nullptr;
    QPushButton *cmdSave = nullptr;

public slots:
    void Text1_Change();
    void cmdCopy_Click();
    void cmdPrint_Click();
    void cmdSave_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load(const QString &itemNumber);
    // Draws the text's barcode, or notes why there is none, and fits the window to it.
    void draw(const QString &text);
    void fitWindow();

    PrinterSource m_printerSource;
};

// The text under the barcode that names characters left out of the bars; empty when none are.
QString notEncodedNote(const QString &text);

} // namespace tv
