#include "BarcodeTestUtil.h"
#include "Controls.h"
#include "ScriptedPrompts.h"
#include "barcode/BarcodePrintSurface.h"
#include "barcode/BarcodeWindow.h"
#include "barcode/DrawBar.h"

#include <QClipboard>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace tv;
using tv::test::ScriptedPrompts;

namespace {
const QString kCancelMessage =
    QStringLiteral("Error 32755 (Cancel was selected.). In procedure cmdSave_Click of Form frmBarCodeGen");

QLineEdit *codeField(const BarcodeWindow &w)
{
    return control<QLineEdit>(w, "Text1");
}
PictureBox *barcodeBox(const BarcodeWindow &w)
{
    return control<PictureBox>(w, "Picture1");
}
QLabel *notEncodedLabel(const BarcodeWindow &w)
{
    return control<QLabel>(w, "lblNotEncoded");
}
QPushButton *button(const BarcodeWindow &w, const char *name)
{
    return control<QPushButton>(w, name);
}

bool isBlank(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (QColor(image.pixel(x, y)) != colour) return false;
    return true;
}
} // namespace

class TestBarcodeWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    // Saves through Save As, answering the dialog with the path; returns the prompts' record.
    QList<ScriptedPrompts::Shown> save(BarcodeWindow &w, const QString &path)
    {
        ScriptedPrompts prompts;
        prompts.fileAnswer(path);
        w.saveBarcode();
        return prompts.shown();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void savedBitmapDecodes_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("digits") << "0123456789"
                                << "0123456789";
        QTest::newRow("A to M") << "ABCDEFGHIJKLM"
                                << "ABCDEFGHIJKLM";
        QTest::newRow("N to Z") << "NOPQRSTUVWXYZ"
                                << "NOPQRSTUVWXYZ";
        QTest::newRow("symbols") << "A-B.C D$E/F+G%H"
                                 << "A-B.C D$E/F+G%H";
        QTest::newRow("lower case") << "item-42.b"
                                    << "ITEM-42.B";
        QTest::newRow("23 characters") << "ABCDEFGHIJKLMNOPQRSTUVW"
                                       << "ABCDEFGHIJKLMNOPQRSTUVW";
        QTest::newRow("typing stops at 23") << "0123456789ABCDEFGHIJKLMNOPQ"
                                            << "0123456789ABCDEFGHIJKLM";
        QTest::newRow("one character") << "7"
                                       << "7";
    }
    void savedBitmapDecodes()
    {
        QFETCH(QString, typed);
        QFETCH(QString, decoded);
        BarcodeWindow w{QString()};
        w.show();
        QTest::keyClicks(codeField(w), typed);
        QCOMPARE(codeField(w)->text(), typed.left(23)); // shown as typed, not upper-cased
        const QString path = m_dir.filePath(QStringLiteral("decode-%1.bmp").arg(QTest::currentDataTag()));
        const auto shown = save(w, path);
        QCOMPARE(shown.size(), 1); // the dialog, no message
        QCOMPARE(test::decodeCode39(path), QStringList{decoded});
    }

    void openingShowsTheItemNumber()
    {
        BarcodeWindow w{QStringLiteral("AB-12")};
        QCOMPARE(w.windowTitle(), QStringLiteral("BarCode 39"));
        QCOMPARE(codeField(w)->text(), QStringLiteral("AB-12"));
        QCOMPARE(codeField(w)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        const QImage &image = barcodeBox(w)->surface().image();
        QCOMPARE(image.width(), (13 * 7 + 2) * 2);
        QCOMPARE(image.height(), 97);
        QVERIFY(!notEncodedLabel(w)->isVisibleTo(&w));
    }

    void openingWithEmptyItemNumberShowsEmptyPicture()
    {
        BarcodeWindow w{QString()};
        QVERIFY(codeField(w)->text().isEmpty());
        const PictureSurface &s = barcodeBox(w)->surface();
        QCOMPARE(s.pixelSize(), QSize(537, 97));
        QVERIFY(isBlank(s.image(), s.background()));
        QTest::keyClicks(codeField(w), QStringLiteral("9"));
        QCOMPARE(s.image().width(), (13 * 3 + 2) * 2);
    }

    void longItemNumberIsKeptWhole_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("30 characters") << 30;
        QTest::newRow("the longest a barcode can hold") << 990;
        QTest::newRow("one more than a barcode can hold") << 991;
        QTest::newRow("far too long for a barcode") << 5000;
    }
    void longItemNumberIsKeptWhole()
    {
        QFETCH(int, length);
        QString number;
        while (number.size() < length)
            number += QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
        number.truncate(length);
        // A barcode the picture box cannot hold is left out with a note, not refused by an error.
        auto checkDrawing = [](BarcodeWindow &w, qsizetype size) {
            const bool fits = size <= 990;
            const PictureSurface &s = barcodeBox(w)->surface();
            QCOMPARE(isBlank(s.image(), s.background()), !fits);
            QCOMPARE(notEncodedLabel(w)->isVisibleTo(&w), !fits);
            if (!fits)
                QCOMPARE(notEncodedLabel(w)->text(),
                         QStringLiteral("Too long for a barcode: %1 characters, at most 990 fit.").arg(size));
            if (fits) QVERIFY(w.width() > barcodeBox(w)->geometry().right());
        };
        ScriptedPrompts prompts;
        BarcodeWindow w{number};
        w.show();
        QCOMPARE(codeField(w)->text(), number);
        checkDrawing(w, length);
        codeField(w)->end(false);
        QTest::keyClicks(codeField(w), QStringLiteral("X"));
        QCOMPARE(codeField(w)->text(), number); // typing cannot lengthen it
        QTest::keyClick(codeField(w), Qt::Key_Backspace);
        QCOMPARE(codeField(w)->text(), number.chopped(1));
        checkDrawing(w, length - 1);
        QTest::keyClicks(codeField(w), QStringLiteral("Q"));
        QCOMPARE(codeField(w)->text(), number.chopped(1));
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join(QLatin1Char('|'))));

        if (length > 30) return;
        const QString path = m_dir.filePath(QStringLiteral("long.bmp"));
        save(w, path);
        QCOMPARE(test::decodeCode39(path), QStringList{number.chopped(1)});
    }

    void saveAsWritesBitmapUnderTheTypedName()
    {
        BarcodeWindow w{QStringLiteral("SKU 100")};
        w.show();
        const QString path = m_dir.filePath(QStringLiteral("label-without-extension"));
        const auto shown = save(w, path);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, ScriptedPrompts::Kind::SaveFile);
        QCOMPARE(shown[0].file.filter, QStringLiteral("Bitmaps (*.bmp)|*.bmp"));
        QCOMPARE(shown[0].file.fileName, QStringLiteral("Picture1"));
        QVERIFY(shown[0].file.overwritePrompt);
        QVERIFY(shown[0].file.defaultExt.isEmpty());

        QVERIFY(QFile::exists(path));
        QVERIFY(!QFile::exists(path + QStringLiteral(".bmp")));
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("bmp"));
        const QImage saved = reader.read();
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), barcodeBox(w)->surface().image());
        QVERIFY(!w.isVisible());
        QCOMPARE(test::decodeCode39(path), QStringList{QStringLiteral("SKU 100")});
    }

    void cancellingSaveAsIsReportedAndKeepsTheWindow()
    {
        BarcodeWindow w{QStringLiteral("X1")};
        w.show();
        ScriptedPrompts prompts;
        prompts.fileAnswer(std::nullopt);
        w.saveBarcode();
        QCOMPARE(prompts.shown().size(), 2); // the dialog, then the trap's message
        QCOMPARE(prompts.last().text, kCancelMessage);
        QCOMPARE(prompts.last().icon, MsgIcon::None);
        QCOMPARE(prompts.last().buttons, MsgButtons::Ok);
        QCOMPARE(prompts.last().title, QStringLiteral("Tallyvane"));
        QVERIFY(w.isVisible());
        QVERIFY(barcodeBox(w)->surface().picture().isNull());
    }

    void failedWriteIsReported_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing folder")
            << "no-such-folder/x.bmp"
            << "Error 76 (Path not found). In procedure cmdSave_Click of Form frmBarCodeGen";
        QTest::newRow("read-only file")
            << "readonly.bmp"
            << "Error 75 (Path/File access error). In procedure cmdSave_Click of Form frmBarCodeGen";
        QTest::newRow("a folder") << "folder.bmp"
                                  << "Error 75 (Path/File access error). In procedure cmdSave_Click of Form "
                                     "frmBarCodeGen";
    }
    void failedWriteIsReported()
    {
        QFETCH(QString, relative);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(relative);
        QByteArray before;
        if (relative == QLatin1String("readonly.bmp")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            before = "keep me";
            f.write(before);
            f.close();
            QVERIFY(f.setPermissions(QFileDevice::ReadOwner));
        } else if (relative == QLatin1String("folder.bmp")) {
            QVERIFY(QDir(m_dir.path()).mkpath(relative));
        }
        BarcodeWindow w{QStringLiteral("X1")};
        w.show();
        const auto shown = save(w, path);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1].text, message);
        QVERIFY(w.isVisible());
        if (!before.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
        }
    }

    void emptyTextAfterSaveShowsTheSavedPicture()
    {
        BarcodeWindow w{QStringLiteral("AB")};
        const QImage drawn = barcodeBox(w)->surface().image();
        save(w, m_dir.filePath(QStringLiteral("picture.bmp")));
        codeField(w)->clear();
        QCOMPARE(barcodeBox(w)->surface().image(), drawn);
        codeField(w)->setText(QStringLiteral("C"));
        QVERIFY(barcodeBox(w)->surface().picture().isNull());
        QCOMPARE(barcodeBox(w)->surface().image().width(), (13 * 3 + 2) * 2);
    }

    void copyPutsTheBitmapOnTheClipboard()
    {
        BarcodeWindow w{QStringLiteral("COPY-1")};
        w.show();
        ScriptedPrompts prompts;
        w.copyBarcode();
        QVERIFY(prompts.shown().isEmpty());
        QVERIFY(!w.isVisible());
        const QImage copied = QGuiApplication::clipboard()->image();
        QCOMPARE(copied.convertToFormat(QImage::Format_RGB32), barcodeBox(w)->surface().image());
        const QString path = m_dir.filePath(QStringLiteral("clipboard.bmp"));
        QVERIFY(copied.save(path, "BMP"));
        QCOMPARE(test::decodeCode39(path), QStringList{QStringLiteral("COPY-1")});
    }

    void printGoesToThePrinterAndDecodes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("short") << "P-7";
        QTest::newRow("23 characters") << "0123456789ABCDEFGHIJKLM";
    }
    void printGoesToThePrinterAndDecodes()
    {
        QFETCH(QString, text);
        const QString pdf =
            m_dir.filePath(QStringLiteral("print-%1.pdf").arg(QTest::currentDataTag()).remove(' '));
        BarcodeWindow w{text};
        w.show();
        w.setPrinterSource([pdf] {
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            return printer;
        });
        ScriptedPrompts prompts;
        w.printBarcode();
        QVERIFY(prompts.shown().isEmpty());
        QVERIFY(!w.isVisible());
        QVERIFY(QFileInfo(pdf).size() > 0);
        const QString png = test::pdfPageToPng(pdf, 300);
        QVERIFY2(!png.isEmpty(), "pdftoppm failed");
        QCOMPARE(test::decodeCode39(png), QStringList{text});
    }

    void printWindowHoldsTheWholeImage()
    {
        BarcodePrintSurface surface;
        QCOMPARE(surface.windowTitle(), QStringLiteral("Form1"));
        QCOMPARE(surface.size(), QSize(661, 204));
        QImage wide(654, 97, QImage::Format_RGB32);
        wide.fill(Qt::black);
        surface.setPicture(wide);
        QVERIFY(surface.pictureBoxRect().contains(QRect(QPoint(8, 16), wide.size())));
        const QImage client = surface.clientImage();
        QCOMPARE(client.copy(QRect(QPoint(8, 16), wide.size())), wide);
        QVERIFY(client.width() > 8 + 654);
    }

    void printWithoutPrinterSaysSo()
    {
        BarcodeWindow w{QStringLiteral("A")};
        w.show();
        w.setPrinterSource([] { return std::unique_ptr<QPrinter>(); });
        ScriptedPrompts prompts;
        w.printBarcode();
        QCOMPARE(prompts.shown().size(), 1);
        QVERIFY(prompts.last().text.startsWith(QStringLiteral("No printer is installed.")));
        QCOMPARE(prompts.last().icon, MsgIcon::Exclamation);
        QVERIFY(!w.isVisible());
    }

    void printFailureSaysSo()
    {
        BarcodeWindow w{QStringLiteral("A")};
        w.setPrinterSource([this] {
            auto printer = std::make_unique<QPrinter>();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(m_dir.filePath(QStringLiteral("no-such-folder/out.pdf")));
            return printer;
        });
        ScriptedPrompts prompts;
        w.printBarcode();
        QCOMPARE(prompts.shown().size(), 1);
        QVERIFY(prompts.last().text.startsWith(QStringLiteral("The barcode could not be printed")));
    }

    void charactersWithoutBarsAreNamed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("listed");
        QTest::newRow("none") << "ab-1"
                              << "";
        QTest::newRow("hash and at") << "A#B@#"
                                     << "# @";
        QTest::newRow("underscore and accent") << "x_é"
                                               << "_ é";
    }
    void charactersWithoutBarsAreNamed()
    {
        QFETCH(QString, text);
        QFETCH(QString, listed);
        BarcodeWindow w{QString()};
        codeField(w)->setText(text);
        QCOMPARE(notEncodedLabel(w)->isVisibleTo(&w), !listed.isEmpty());
        if (!listed.isEmpty())
            QVERIFY2(notEncodedLabel(w)->text().endsWith(QStringLiteral(": ") + listed),
                     qPrintable(notEncodedLabel(w)->text()));
        codeField(w)->clear();
        QVERIFY(!notEncodedLabel(w)->isVisibleTo(&w));
    }

    void keyboardAndAccessibility()
    {
        BarcodeWindow w{QStringLiteral("A")};
        for (QWidget *child : w.findChildren<QWidget *>()) {
            // Labels are read as the text they show (tst_accessibility).
            if (qobject_cast<QLabel *>(child)) continue;
            QVERIFY2(!child->accessibleName().isEmpty(), qPrintable(child->objectName()));
        }
        const auto nextTab = [](QWidget *from) {
            QWidget *next = from->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            return next;
        };
        QCOMPARE(nextTab(codeField(w)), static_cast<QWidget *>(button(w, "cmdCopy")));
        QCOMPARE(nextTab(button(w, "cmdCopy")), static_cast<QWidget *>(button(w, "cmdPrint")));
        QCOMPARE(nextTab(button(w, "cmdPrint")), static_cast<QWidget *>(button(w, "cmdSave")));
        QCOMPARE(nextTab(button(w, "cmdSave")), static_cast<QWidget *>(button(w, "cmdLabels")));
        QCOMPARE(nextTab(button(w, "cmdLabels")), static_cast<QWidget *>(codeField(w)));
        QCOMPARE(button(w, "cmdCopy")->text(), QStringLiteral("&Copy to Clipboard"));
        QCOMPARE(button(w, "cmdPrint")->text(), QStringLiteral("&Print"));
        QCOMPARE(button(w, "cmdSave")->text(), QStringLiteral("Save &As"));
        QCOMPARE(button(w, "cmdLabels")->text(), QStringLiteral("&Labels..."));
    }

    void escapeClosesAndUnloads()
    {
        QPointer<BarcodeWindow> w = new BarcodeWindow(QStringLiteral("A"));
        w->show();
        QTest::keyClick(w.data(), Qt::Key_Escape);
        QVERIFY(!w->isVisible());
        QTRY_VERIFY(w.isNull());
    }
};

QTEST_MAIN(TestBarcodeWindow)
#include "tst_barcodewindow.moc"
