#include "Controls.h"
#include "ExpectedReport.h"
#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "common/ModalSafety.h"
#include "common/Prompts.h"
#include "report/ReportWindow.h"
#include "report/SortDialog.h"

#include <QAccessible>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <QtTest>

using namespace tv;

using tv::test::makeRow;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QString caption(const QAbstractButton *b)
{
    return b->text().remove('&');
}

QList<QRadioButton *> options(const SortDialog *w)
{
    return {control<QRadioButton>(*w, "Option1"), control<QRadioButton>(*w, "Option2"),
            control<QRadioButton>(*w, "Option3"), control<QRadioButton>(*w, "Option4")};
}

QPushButton *okButton(const SortDialog *w)
{
    return control<QPushButton>(*w, "command1");
}

QPushButton *cancelButton(const SortDialog *w)
{
    return control<QPushButton>(*w, "command2");
}

// The sort window as the main window shows it: its reports go to the lasting viewer.
SortDialog *showSortWindow()
{
    return SortDialog::showWindow(nullptr, &ReportWindow::showReport);
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

class TestSortDialog : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        delete SortDialog::openInstance();
        delete ReportWindow::openInstance();
        flushDeletes();
    }

    void newWindow()
    {
        SortDialog *w = showSortWindow();
        QCOMPARE(w->objectName(), "frmSort");
        QCOMPARE(w->windowTitle(), "      Report");
        QCOMPARE(control<QLabel>(*w, "Label1")->text(), "Inventory Report");
        QCOMPARE(control<QGroupBox>(*w, "Frame")->title(), "Sort by");
        QStringList captions;
        for (QRadioButton *o : options(w)) {
            captions << caption(o);
            QVERIFY2(!o->isChecked(), "a new window has no choice");
            QCOMPARE(o->parentWidget(), control<QGroupBox>(*w, "Frame"));
            QVERIFY(!o->accessibleName().isEmpty());
        }
        QCOMPARE(captions, (QStringList{"Item Name", "Vendor", "Invoice Date", "Item Number"}));
        QCOMPARE(caption(okButton(w)), "OK");
        QCOMPARE(caption(cancelButton(w)), "Cancel");
        QVERIFY(okButton(w)->isDefault());
        QVERIFY(!w->isModal());
        QCOMPARE(SortDialog::openInstance(), w);

        // One group: choosing one clears the other.
        options(w)[1]->click();
        options(w)[3]->click();
        QVERIFY(!options(w)[1]->isChecked() && options(w)[3]->isChecked());
        QCOMPARE(w->chosen(), tv::SortChoice::ItemNumber);
    }

    void noChoice()
    {
        TestFolder folder;
        ScriptedPrompts prompts;
        SortDialog *w = showSortWindow();
        QTest::mouseClick(okButton(w), Qt::LeftButton);
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(prompts.last().text, "Please Select One Option for Sorting the Report.");
        QCOMPARE(prompts.last().title, "Tallyvane");
        QCOMPARE(prompts.last().icon, tv::MsgIcon::None);
        QCOMPARE(prompts.last().buttons, tv::MsgButtons::Ok);
        QVERIFY(w->isVisible());
        QVERIFY(!QFile::exists(folder.file("report.html")));
        QVERIFY(!ReportWindow::openInstance());
    }

    void report_data()
    {
        QTest::addColumn<int>("choice");
        QTest::newRow("Item Name") << 0;
        QTest::newRow("Vendor") << 1;
        QTest::newRow("Invoice Date") << 2;
        QTest::newRow("Item Number") << 3;
    }
    void report()
    {
        QFETCH(int, choice);
        TestFolder folder;
        folder.addRows({makeRow("Bolt", "B-10", 101, "0.25", "Acme", "2004-03-01"),
                        makeRow("Nut", "N-7", 3, "1234.5", "Acme", "2004-03-02")});
        ScriptedPrompts prompts;
        QPointer<SortDialog> w = showSortWindow();
        options(w)[choice]->click();
        QTest::mouseClick(okButton(w), Qt::LeftButton);
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join('\n')));
        QCOMPARE(readAll(folder.file("report.html")), expected::workedExampleReport(choice));

        ReportWindow *viewer = ReportWindow::openInstance();
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(viewer->shownPath(), folder.file("report.html"));
        QVERIFY(viewer->shownText().contains("$3,728.75"));

        // Unloaded: the next show finds a fresh window without a choice.
        QVERIFY(!w->isVisible());
        flushDeletes();
        QVERIFY(w.isNull());
        QVERIFY(!SortDialog::openInstance());
        QVERIFY(!showSortWindow()->chosen());
    }

    void cancelKeepsChoice()
    {
        TestFolder folder;
        SortDialog *w = showSortWindow();
        options(w)[2]->click();
        QTest::mouseClick(cancelButton(w), Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(showSortWindow(), w);
        QCOMPARE(w->chosen(), tv::SortChoice::InvoiceDate);
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(!w->isVisible());
        QCOMPARE(SortDialog::openInstance(), w);
        QVERIFY(!QFile::exists(folder.file("report.html")));
    }

    void failingDatabase()
    {
        TestFolder folder;
        {
            QFile earlier(folder.file("report.html"));
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier report");
        }
        QVERIFY(QFile::remove(folder.databasePath()));
        ScriptedPrompts prompts;
        SortDialog *w = showSortWindow();
        options(w)[1]->click();
        QTest::mouseClick(okButton(w), Qt::LeftButton);
        QCOMPARE(prompts.shown().size(), 1);
        QVERIFY2(prompts.last().text.startsWith("Error "), qPrintable(prompts.last().text));
        QVERIFY2(prompts.last().text.endsWith(". In procedure Command1_Click of Form frmSort"),
                 qPrintable(prompts.last().text));
        QCOMPARE(prompts.last().title, "Tallyvane");
        QCOMPARE(prompts.last().icon, tv::MsgIcon::None);
        flushDeletes();
        QCOMPARE(SortDialog::openInstance(), w);
        QVERIFY(w->isVisible());
        QCOMPARE(w->chosen(), tv::SortChoice::Vendor);
        QCOMPARE(readAll(folder.file("report.html")), QByteArray("earlier report"));
        QVERIFY(!ReportWindow::openInstance());
    }

    void twoReportsInARow()
    {
        TestFolder folder;
        folder.addRows({makeRow("Bolt", "B-10", 101, "0.25", "Acme", "2004-03-01"),
                        makeRow("Nut", "N-7", 3, "1234.5", "Acme", "2004-03-02")});
        ScriptedPrompts prompts;
        SortDialog *first = showSortWindow();
        options(first)[0]->click();
        first->writeReport();
        ReportWindow *viewer = ReportWindow::openInstance();
        QVERIFY(viewer);
        flushDeletes();

        SortDialog *second = showSortWindow();
        options(second)[3]->click();
        second->writeReport();
        QVERIFY(prompts.shown().isEmpty());
        QCOMPARE(ReportWindow::openInstance(), viewer);
        QCOMPARE(readAll(folder.file("report.html")), expected::workedExampleReport(3));
        // The viewer shows the second report: item numbers first.
        const QString shown = viewer->shownText();
        QVERIFY2(shown.indexOf("Item Number") < shown.indexOf("Item Name"), qPrintable(shown));
    }

    // The sort window pressed through its accessibility actions while a real box is open, its
    // own or another window's: it may hide or unload, but never goes from under the box.
    void windowGoingAwayUnderAnOpenBox_data()
    {
        QTest::addColumn<bool>("report");
        QTest::newRow("Cancel under its own box") << false;
        QTest::newRow("OK under another window's box") << true;
    }
    void windowGoingAwayUnderAnOpenBox()
    {
        QFETCH(bool, report);
        TestFolder folder;
        folder.addRows({makeRow("A", "1")});
        QWidget owner;
        owner.show();
        tv::setPromptOwner(&owner);
        QPointer<SortDialog> w = showSortWindow();
        if (report) options(w)[0]->setChecked(true);
        bool pressed = false;
        QTimer::singleShot(0, &owner, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            QPushButton *target = report ? okButton(w) : cancelButton(w);
            QSignalSpy clicked(target, &QPushButton::clicked);
            QAccessible::queryAccessibleInterface(target)->actionInterface()->doAction(
                QAccessibleActionInterface::pressAction());
            QTRY_COMPARE(clicked.count(), 1); // a press is an animated click
            flushDeletes();
            pressed = true;
            box->button(QMessageBox::Ok)->click();
        });
        if (report)
            tv::prompts().message(QStringLiteral("The scanner was unplugged."));
        else
            w->writeReport();
        tv::setPromptOwner(nullptr);
        QVERIFY(pressed);
        flushDeletes();
        if (report) {
            QVERIFY(w.isNull());
            QVERIFY(ReportWindow::openInstance());
        } else {
            QVERIFY(w && !w->isVisible());
        }
    }
};

QTEST_MAIN(TestSortDialog)
#include "tst_sortdialog.moc"
