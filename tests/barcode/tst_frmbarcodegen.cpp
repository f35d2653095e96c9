#include "BarcodeTestUtil.h"
#include "ScriptedPrompts.h"
#include "barcode/DrawBar.h"
#include "barcode/frmBarCodeGen.h"
#include "barcode/frmPrintCode.h"

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

bool isBlank(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (QColor(image.pixel(x, y)) != colour) return false;
    return true;
}
} // namespace

class TestFrmBarCodeGen : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    // Saves through Save As, answering the dialog with the path; returns the prompts' record.
    QList<ScriptedPrompts::Shown> save(frmBarCodeGen &w, const QString &path)
    {
        ScriptedPrompts prompts;
        prompts.fileAnswer(path);
        w.cmdSave_Click();
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
        frmBarCodeGen w{QString()};
        w.show();
        QTest::keyClicks(w.Text1, typed);
        QCOMPARE(w.Text1->text(), typed.left(23)); // shown as typed, not upper-cased
        const QString path = m_dir.filePath(QStringLiteral("decode-%1.bmp").arg(QTest::currentDataTag()));
        const auto shown = save(w, path);
        QCOMPARE(shown.size(), 1); // the dialog, no message
        QCOMPARE(test::decodeCode39(path), QStringList{decoded});
    }

    void openingShowsTheItemNumber()
    {
        frmBarCodeGen w{QStringLiteral("AB-12")};
        QCOMPARE(w.windowTitle(), QStringLiteral("BarCode 39"));
        QCOMPARE(w.Text1->text(), QStringLiteral("AB-12"));
        QCOMPARE(w.Text1->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        const QImage &image = w.Picture1->surface().image();
        QCOMPARE(image.width(), (13 * 7 + 2) * 2);
        QCOMPARE(image.height(), 97);
        QVERIFY(!w.lblNotEncoded->isVisibleTo(&w));
    }

    void openingWithEmptyItemNumberShowsEmptyPicture()
    {
        frmBarCodeGen w{QString()};
        QVERIFY(w.Text1->text().isEmpty());
        const PictureSurface &s = w.Picture1->surface();
        QCOMPARE(s.pixelSize(), QSize(537, 97));
        QVERIFY(isBlank(s.image(), s.background()));
        QTest::keyClicks(w.Text1, QStringLiteral("9"));
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
        auto checkDrawing = [](frmBarCodeGen &w, qsizetype size) {
            const bool fits = size <= 990;
            const PictureSurface &s = w.Picture1->surface();
            QCOMPARE(isBlank(s.image(), s.background()), !fits);
            QCOMPARE(w.lblNotEncoded->isVisibleTo(&w), !fits);
            if (!fits)
                QCOMPARE(w.lblNotEncoded->text(),
                         QStringLiteral("Too long for a barcode: %1 characters, at most 990 fit.").arg(size));
            if (fits) QVERIFY(w.width() > w.Picture1->geometry().right());
        };
        ScriptedPrompts prompts;
        frmBarCodeGen w{number};
        w.show();
        QCOMPARE(w.Text1->text(), number);
        checkDrawing(w, length);
        w.Text1->end(false);
        QTest::keyClicks(w.Text1, QStringLiteral("X"));
        QCOMPARE(w.Text1->text(), number); // typing cannot lengthen it
        QTest::keyClick(w.Text1, Qt::Key_Backspace);
        QCOMPARE(w.Text1->text(), number.chopped(1));
        checkDrawing(w, length - 1);
        QTest::keyClicks(w.Text1, QStringLiteral("Q"));
        QCOMPARE(w.Text1->text(), number.chopped(1));
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join(QLatin1Char('|'))));

        if (length > 30) return;
        const QString path = m_dir.filePath(QStringLiteral("long.bmp"));
        save(w, path);
        QCOMPARE(test::decodeCode39(path), QStringList{number.chopped(1)});
    }

    void saveAsWritesBitmapUnderTheTypedName()
    {
        frmBarCodeGen w{QStringLiteral("SKU 100")};
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
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), w.Picture1->surface().image());
        QVERIFY(!w.isVisible());
        QCOMPARE(test::decodeCode39(path), QStringList{QStringLiteral("SKU 100")});
    }

    void cancellingSaveAsIsReportedAndKeepsTheWindow()
    {
        frmBarCodeGen w{QStringLiteral("X1")};
        w.show();
        ScriptedPrompts prompts;
        prompts.fileAnswer(std::nullopt);
        w.cmdSave_Click();
        QCOMPARE(prompts.shown().size(), 2); // the dialog, then the trap's message
        QCOMPARE(prompts.last().text, kCancelMessage);
        QCOMPARE(prompts.last().icon, MsgIcon::None);
        QCOMPARE(prompts.last().buttons, MsgButtons::Ok);
        QCOMPARE(prompts.last().title, QStringLiteral("Tallyvane"));
        QVERIFY(w.isVisible());
        QVERIFY(w.Picture1->surface().picture().isNull());
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
        frmBarCodeGen w{QStringLiteral("X1")};
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
        frmBarCodeGen w{QStringLiteral("AB")};
        const QImage drawn = w.Picture1->surface().image();
        save(w, m_dir.filePath(QStringLiteral("picture.bmp")));
        w.Text1->clear();
        QCOMPARE(w.Picture1->surface().image(), drawn);
        w.Text1->setText(QStringLiteral("C"));
        QVERIFY(w.Picture1->surface().picture().isNull());
        QCOMPARE(w.Picture1->surface().image().width(), (13 * 3 + 2) * 2);
    }

    void copyPutsTheBitmapOnTheClipboard()
    {
        frmBarCodeGen w{QStringLiteral("COPY-1")};
        w.show();
        ScriptedPrompts prompts;
        w.cmdCopy_Click();
        QVERIFY(prompts.shown().isEmpty());
        QVERIFY(!w.isVisible());
        const QImage copied = QGuiApplication::clipboard()->image();
        QCOMPARE(copied.convertToFormat(QImage::Format_RGB32), w.Picture1->surface().image());
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
        frmBarCodeGen w{text};
        w.show();
        w.setPrinterSource([pdf] {
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            return printer;
        });
        ScriptedPrompts prompts;
        w.cmdPrint_Click();
        QVERIFY(prompts.shown().isEmpty());
        QVERIFY(!w.isVisible());
        QVERIFY(QFileInfo(pdf).size() > 0);
        const QString png = test::pdfPageToPng(pdf, 300);
        QVERIFY2(!png.isEmpty(), "pdftoppm failed");
        QCOMPARE(test::decodeCode39(png), QStringList{text});
    }

    void printWindowHoldsTheWholeImage()
    {
        frmPrintCode form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Form1"));
        QCOMPARE(form.size(), QSize(661, 204));
        QImage wide(654, 97, QImage::Format_RGB32);
        wide.fill(Qt::black);
        form.setPicture(wide);
        QVERIFY(form.pictureBoxRect().contains(QRect(QPoint(8, 16), wide.size())));
        const QImage client = form.clientImage();
        QCOMPARE(client.copy(QRect(QPoint(8, 16), wide.size())), wide);
        QVERIFY(client.width() > 8 + 654);
    }

    void printWithoutPrinterSaysSo()
    {
        frmBarCodeGen w{QStringLiteral("A")};
        w.show();
        w.setPrinterSource([] { return std::unique_ptr<QPrinter>(); });
        ScriptedPrompts prompts;
        w.cmdPrint_Click();
        QCOMPARE(prompts.shown().size(), 1);
        QVERIFY(prompts.last().text.startsWith(QStringLiteral("No printer is installed.")));
        QCOMPARE(prompts.last().icon, MsgIcon::Exclamation);
        QVERIFY(!w.isVisible());
    }

    void printFailureSaysSo()
    {
        frmBarCodeGen w{QStringLiteral("A")};
        w.setPrinterSource([this] {
            auto printer = std::make_unique<QPrinter>();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(m_dir.filePath(QStringLiteral("no-such-folder/out.pdf")));
            return printer;
        });
        ScriptedPrompts prompts;
        w.cmdPrint_Click();
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
        frmBarCodeGen w{QString()};
        w.Text1->setText(text);
        QCOMPARE(w.lblNotEncoded->isVisibleTo(&w), !listed.isEmpty());
        if (!listed.isEmpty())
            QVERIFY2(w.lblNotEncoded->text().endsWith(QStringLiteral(": ") + listed),
                     qPrintable(w.lblNotEncoded->text()));
        w.Text1->clear();
        QVERIFY(!w.lblNotEncoded->isVisibleTo(&w));
    }

    void keyboardAndAccessibility()
    {
        frmBarCodeGen w{QStringLiteral("A")};
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
        QCOMPARE(nextTab(w.Text1), static_cast<QWidget *>(w.cmdCopy));
        QCOMPARE(nextTab(w.cmdCopy), static_cast<QWidget *>(w.cmdPrint));
        QCOMPARE(nextTab(w.cmdPrint), static_cast<QWidget *>(w.cmdSave));
        QCOMPARE(nextTab(w.cmdSave), static_cast<QWidget *>(w.Text1));
        QCOMPARE(w.cmdCopy->text(), QStringLiteral("&Copy to Clipboard"));
        QCOMPARE(w.cmdPrint->text(), QStringLiteral("&Print"));
        QCOMPARE(w.cmdSave->text(), QStringLiteral("Save &As"));
    }

    void escapeClosesAndUnloads()
    {
        QPointer<frmBarCodeGen> w = new frmBarCodeGen(QStringLiteral("A"));
        w->show();
        QTest::keyClick(w.data(), Qt::Key_Escape);
        QVERIFY(!w->isVisible());
        QTRY_VERIFY(w.isNull());
    }
};

QTEST_MAIN(TestFrmBarCodeGen)
#include "tst_frmbarcodegen.moc"
