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
class BarcodeWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kTypedMaxLength = 23;

    // itemNumber: the main window's item number as it is when the window is created. The window
    // deletes itself when closed with its close box (or Escape); its commands only hide it.
    explicit BarcodeWindow(const QString &itemNumber, QWidget *parent = nullptr);
    ~BarcodeWindow() override;

    // Where Print sends the page: by default the system's default printer, nullptr when there is none.
    using PrinterSource = std::function<std::unique_ptr<QPrinter>()>;
    void setPrinterSource(PrinterSource source) { m_printerSource = std::move(source); }
    static std::unique_ptr<QPrinter> defaultPrinter();

signals:
    // "Labels...": the user wants the labels window, which whoever made this window opens.
    void labelsRequested();

public slots:
    void codeChanged();
    void copyBarcode();
    void printBarcode();
    void saveBarcode();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildCodeField();
    void buildBarcodeBox();
    void buildButtons();
    void load(const QString &itemNumber);
    // Draws the text's barcode, or notes why there is none, and fits the window to it.
    void draw(const QString &text);
    void fitWindow();

    PrinterSource m_printerSource;
    QLabel *m_codeLabel = nullptr;
    QLineEdit *m_codeField = nullptr;
    QLabel *m_barcodeLabel = nullptr;
    PictureBox *m_barcodeBox = nullptr;
    QLabel *m_notEncodedNote = nullptr; // names the characters that have no bars
    QPushButton *m_copyButton = nullptr;
    QPushButton *m_printButton = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_labelsButton = nullptr;
};

// The text under the barcode that names characters left out of the bars; empty when none are.
QString notEncodedNote(const QString &text);

} // namespace tv
