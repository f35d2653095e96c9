#include "ScriptedPrompts.h"
#include "common/AppError.h"
#include "mainwindow/PictureView.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

using namespace tv;
using tv::test::ScriptedPrompts;

class TestPictureView : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString writePicture(const QString &name, const char *format, QColor colour)
    {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(colour);
        QPainter(&image).fillRect(0, 0, 10, 10, Qt::black);
        const QString path = m_dir.filePath(name);
        if (!image.save(path, format)) qFatal("cannot write a test picture");
        return path;
    }

private slots:
    void formatsLoad_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("jpeg") << "item.jpg" << QByteArray("JPEG");
        QTest::newRow("bmp") << "item.bmp" << QByteArray("BMP");
        QTest::newRow("png") << "item.png" << QByteArray("PNG");
        QTest::newRow("ico") << "item.ico" << QByteArray("ICO");
        QTest::newRow("jpeg named .gif") << "odd.gif" << QByteArray("JPEG");
    }
    void formatsLoad()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        const QString path = writePicture(name, format.constData(), Qt::red);
        const QImage image = loadPictureFile(path);
        QCOMPARE(image.size(), QSize(40, 30));
        QCOMPARE(QColor(image.pixel(5, 5)).value() < 40, true);
    }

    void loadFailures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("number");
        QTest::newRow("missing") << "missing" << int(Err::FileNotFound);
        QTest::newRow("not a picture") << "text" << int(Err::InvalidPicture);
        QTest::newRow("a folder") << "folder" << int(Err::PathFileAccess);
    }
    void loadFailures()
    {
        QFETCH(QString, kind);
        QFETCH(int, number);
        QString path = m_dir.filePath(QStringLiteral("gone.jpg"));
        if (kind == QLatin1String("text")) {
            path = m_dir.filePath(QStringLiteral("notes.jpg"));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("these are no pixels");
        } else if (kind == QLatin1String("folder")) {
            path = m_dir.path();
        }
        try {
            loadPictureFile(path);
            QFAIL("loaded");
        } catch (const AppError &e) {
            QCOMPARE(e.number(), number);
        }
    }

    void viewShowsHidesAndKeepsPictureOnFailure()
    {
        QLabel image;
        image.setVisible(false);
        QString shownPath;
        ScriptedPrompts prompts;
        const QString good = writePicture(QStringLiteral("good.png"), "PNG", Qt::green);

        QVERIFY(viewPicture(good, &image, shownPath));
        QCOMPARE(shownPath, good);
        QVERIFY(!image.isHidden());
        QCOMPARE(image.pixmap().size(), QSize(40, 30));

        // "0": hidden, the picture stays in it.
        QVERIFY(viewPicture(QStringLiteral("0"), &image, shownPath));
        QVERIFY(image.isHidden());
        QCOMPARE(image.pixmap().size(), QSize(40, 30));

        // A deleted file: reported by View with its line, the box keeps picture and visibility.
        const QString gone = m_dir.filePath(QStringLiteral("deleted.jpg"));
        QVERIFY(!viewPicture(gone, &image, shownPath));
        QCOMPARE(prompts.texts(),
                 QStringList{"Error 53 (File not found) at line 6. In procedure View of Form frmMain"});
        QCOMPARE(prompts.last().title, QStringLiteral("Tallyvane"));
        QVERIFY(image.isHidden());
        QCOMPARE(image.pixmap().size(), QSize(40, 30));
        QCOMPARE(shownPath, gone);

        // An empty path shows the box empty.
        QVERIFY(viewPicture(QString(), &image, shownPath));
        QVERIFY(!image.isHidden());
        QVERIFY(image.pixmap().isNull());
        QCOMPARE(prompts.shown().size(), 1);
    }
};

QTEST_MAIN(TestPictureView)
#include "tst_pictureview.moc"
