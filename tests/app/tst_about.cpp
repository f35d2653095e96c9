#include "Controls.h"
#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "app/AboutDialog.h"
#include "app/ManualWindow.h"
#include "app/SystemInfoTool.h"
#include "mainwindow/MainWindow.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

using namespace tv;

namespace {

// Puts a file on the temporary PATH folder with the given content and permissions.
void writeTool(const QString &dir, const QString &name, const QByteArray &content, bool executable)
{
    QFile f(dir + QLatin1Char('/') + name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner;
    if (executable) p |= QFile::ExeOwner;
    QVERIFY(f.setPermissions(p));
}

// A stand-in tool that notes its own name in ran.txt and then stays, as a real one would, until
// the test lets it go (or ten seconds have passed); it notes its end in ended.txt.
QByteArray standIn(const QString &dir, const QString &name)
{
    return QStringLiteral(
               "#!/bin/sh\necho %1 >> '%2/ran.txt'\n"
               "i=0\nwhile [ ! -e '%2/release' ] && [ $i -lt 100 ]; do /bin/sleep 0.1; i=$((i+1)); done\n"
               "echo %1 >> '%2/ended.txt'\n")
        .arg(name, dir)
        .toUtf8();
}

QString readRan(const QString &dir)
{
    QFile f(dir + QStringLiteral("/ran.txt"));
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(f.readAll()).trimmed();
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT
    QByteArray m_path;

private slots:
    void initTestCase() { m_path = qgetenv("PATH"); }
    void cleanup() { qputenv("PATH", m_path); }

    void opening()
    {
        AboutDialog about;
        QCOMPARE(about.objectName(), QStringLiteral("frmAbout"));
        QCOMPARE(about.windowTitle(), QStringLiteral("About Tallyvane"));
        QCOMPARE(control<QLabel>(about, "lblTitle")->text(), QStringLiteral("Tallyvane"));
        QCOMPARE(control<QLabel>(about, "lblVersion")->text(), QStringLiteral("Version 1.2.0"));
        QCOMPARE(control<QPushButton>(about, "cmdOK")->text(), QStringLiteral("OK"));
        QCOMPARE(control<QPushButton>(about, "cmdSysInfo")->text(), QStringLiteral("&System Info..."));
        QVERIFY(!control<QLabel>(about, "Image1")->pixmap().isNull());
        for (const char *name : {"Text1", "Text2", "Text3", "Text4", "Text5"}) {
            QLineEdit *t = control<QLineEdit>(about, name);
            QVERIFY(t->isReadOnly());
            QVERIFY(!t->text().isEmpty());
        }
        QVERIFY(control<QTextBrowser>(about, "RichTextBox1")->isReadOnly());
        QVERIFY(!control<QTextBrowser>(about, "RichTextBox1")->toPlainText().isEmpty());
        QVERIFY(!about.isModal());
        for (QWidget *w : about.findChildren<QWidget *>()) {
            if (w->focusPolicy() != Qt::NoFocus && !w->objectName().startsWith(QLatin1String("qt_")) &&
                w->parentWidget() == &about)
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        }
    }

    void okClosesTheWindow()
    {
        AboutDialog about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::mouseClick(control<QPushButton>(about, "cmdOK"), Qt::LeftButton);
        QVERIFY(!about.isVisible());
    }

    void systemInfo_data()
    {
        QTest::addColumn<QStringList>("runnable"); // stand-ins that work
        QTest::addColumn<QStringList>("broken");   // executable, but their interpreter is missing
        QTest::addColumn<QStringList>("notExecutable");
        QTest::addColumn<QString>("expectedRun"); // empty: none runs and the message is shown
        QTest::newRow("nothing on PATH") << QStringList() << QStringList() << QStringList() << QString();
        QTest::newRow("first choice")
            << QStringList{"hardinfo2"} << QStringList() << QStringList() << "hardinfo2";
        QTest::newRow("a desktop's monitor")
            << QStringList{"xfce4-taskmanager"} << QStringList() << QStringList() << "xfce4-taskmanager";
        QTest::newRow("earlier in the list wins")
            << QStringList{"lxtask", "kinfocenter"} << QStringList() << QStringList() << "kinfocenter";
        QTest::newRow("plain file is no program")
            << QStringList{"lxtask"} << QStringList() << QStringList{"hardinfo"} << "lxtask";
        QTest::newRow("cannot start")
            << QStringList() << QStringList{"hardinfo2"} << QStringList() << QString();
    }
    void systemInfo()
    {
        QFETCH(QStringList, runnable);
        QFETCH(QStringList, broken);
        QFETCH(QStringList, notExecutable);
        QFETCH(QString, expectedRun);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const QString &name : runnable)
            writeTool(dir.path(), name, standIn(dir.path(), name), true);
        for (const QString &name : broken)
            writeTool(dir.path(), name, "#!/nonexistent/interpreter\n", true);
        for (const QString &name : notExecutable)
            writeTool(dir.path(), name, standIn(dir.path(), name), false);
        qputenv("PATH", dir.path().toLocal8Bit());

        test::ScriptedPrompts prompts;
        AboutDialog about;
        QTest::mouseClick(control<QPushButton>(about, "cmdSysInfo"), Qt::LeftButton);
        // Had the about box waited for the tool, the tool would have ended by now.
        const bool toolEndedFirst = QFile::exists(dir.filePath(QStringLiteral("ended.txt")));

        if (expectedRun.isEmpty()) {
            QCOMPARE(prompts.texts(),
                     QStringList{QStringLiteral("System Information Is Unavailable At This Time")});
            QCOMPARE(prompts.last().buttons, MsgButtons::Ok);
            QCOMPARE(prompts.last().icon, MsgIcon::None);
            QCOMPARE(prompts.last().title, QStringLiteral("Tallyvane"));
            QTest::qWait(300);
            QCOMPARE(readRan(dir.path()), QString());
            return;
        }
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join(QLatin1Char('|'))));
        QVERIFY(!toolEndedFirst);
        QTRY_COMPARE_WITH_TIMEOUT(readRan(dir.path()), expectedRun, 10000);
        QFile release(dir.filePath(QStringLiteral("release")));
        QVERIFY(release.open(QIODevice::WriteOnly));
        release.close();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath(QStringLiteral("ended.txt"))), 10000);
    }

    // The toolbar's Manual and About each open one lasting window beside the main window.
    void toolbarOpensLastingWindows_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("window");
        QTest::newRow("Manual") << "third"
                                << "frmManual";
        QTest::newRow("About") << "fifth"
                               << "frmAbout";
    }
    void toolbarOpensLastingWindows()
    {
        QFETCH(QString, key);
        QFETCH(QString, window);
        test::TestFolder folder;
        test::ScriptedPrompts prompts;
        auto mainWindow = makeMainWindow();
        MainWindow &main = *mainWindow;
        main.show();
        auto opened = [&] {
            QList<QDialog *> found;
            for (QDialog *d : main.findChildren<QDialog *>())
                if (d->objectName() == window) found.append(d);
            return found;
        };
        main.toolbarButtonClicked(key);
        QCOMPARE(opened().size(), 1);
        QDialog *first = opened().front();
        QVERIFY(first->isVisible());
        QVERIFY(!first->isModal());
        first->close();
        main.toolbarButtonClicked(key);
        QCOMPARE(opened().size(), 1);
        QCOMPARE(opened().front(), first);
        QVERIFY(first->isVisible());
        QVERIFY(prompts.shown().isEmpty());
    }

    void manualShowsTheManual()
    {
        ManualWindow manual;
        QCOMPARE(manual.objectName(), QStringLiteral("frmManual"));
        QVERIFY(!manual.isModal());
        QVERIFY(control<QTextBrowser>(manual, "RichTextBox1")->isReadOnly());
        const QString text = control<QTextBrowser>(manual, "RichTextBox1")->toPlainText();
        // The manual covers every window and the tasks a shop owner asks about.
        for (const char *topic : {"Add New Entry", "View Report", "Generate Barcode", "Scan Barcode",
                                  "Check for Update", "Backup", "Restore", "dialout",
                                  "TALLYVANE_SERIAL_PORTS", "Ready to Exit, Do You Want to Save your Data?",
                                  "System Information Is Unavailable At This Time"})
            QVERIFY2(text.contains(QLatin1String(topic)), topic);
        QVERIFY(!control<QTextBrowser>(manual, "RichTextBox1")->accessibleName().isEmpty());
        QVERIFY(!control<QPushButton>(manual, "cmdClose")->accessibleName().isEmpty());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
