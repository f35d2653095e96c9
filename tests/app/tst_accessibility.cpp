// Every window as a screen reader meets it: names on the accessibility tree, and the tab chain.
#include "Controls.h"
#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "app/AboutDialog.h"
#include "app/ManualWindow.h"
#include "app/SplashScreen.h"
#include "app/TipOfTheDay.h"
#include "barcode/BarcodeWindow.h"
#include "common/QtPrompts.h"
#include "history/HistoryWindow.h"
#include "items/ItemRecordSet.h"
#include "labels/LabelsWindow.h"
#include "mainwindow/MainWindow.h"
#include "report/ReorderWriter.h"
#include "report/ReportWindow.h"
#include "report/SortDialog.h"
#include "scanner/ScanCounting.h"
#include "scanner/ScannerWindow.h"
#include "stocktake/StocktakeWindow.h"
#include "updatecheck/ReleaseKey.h"
#include "updatecheck/UpdateCheckWindow.h"
#include "updater/DrawnProgressBar.h"
#include "updater/UpdaterWindow.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>

using namespace tv;
using namespace tv::test;

namespace {

// Opens a window, hands it to `inspect` while it is on screen, then does away with it.
using Inspect = std::function<void(QWidget *)>;
using Opener = std::function<void(const Inspect &)>;

void showAndInspect(QWidget *w, const Inspect &inspect)
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    inspect(w);
}

template <typename Window, typename... Args> void openOwned(const Inspect &inspect, Args &&...args)
{
    std::unique_ptr<Window> w(new Window(std::forward<Args>(args)...));
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    showAndInspect(w.get(), inspect);
}

// A modal prompt is inspected from inside its own event loop and then dismissed.
void inspectModal(const Inspect &inspect, const std::function<void()> &run)
{
    QTimer::singleShot(0, [inspect] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box) return;
        inspect(box);
        if (auto *dialog = qobject_cast<QDialog *>(box)) dialog->reject();
    });
    run();
}

QString writeFile(const TestFolder &folder, const char *name, const QByteArray &content)
{
    QFile file(folder.file(QLatin1String(name)));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) return QString();
    return file.fileName();
}

const std::vector<ItemRow> &rows()
{
    static const std::vector<ItemRow> r{
        makeRow(QStringLiteral("Hammer"), QStringLiteral("H-100"), 4, QStringLiteral("12.5"),
                QStringLiteral("Acme"), QStringLiteral("2004-03-01"), QStringLiteral("INV-1")),
        makeRow(QStringLiteral("Saw"), QStringLiteral("S-7"), 2, QStringLiteral("20"),
                QStringLiteral("Bolt Co"), QStringLiteral("2004-03-02"), QStringLiteral("INV-2"))};
    return r;
}

const QMap<QString, Opener> &openers()
{
    static const QMap<QString, Opener> o{
        {QStringLiteral("main window"),
         [](const Inspect &inspect) {
             TestFolder folder;
             folder.addRows(rows());
             ScriptedPrompts prompts;
             const std::unique_ptr<MainWindow> w = makeMainWindow();
             showAndInspect(w.get(), inspect);
         }},
        {QStringLiteral("main window, items to reorder"),
         [](const Inspect &inspect) {
             TestFolder folder;
             std::vector<ItemRow> low = rows();
             low[0].reorderLevel = 5;
             folder.addRows(low);
             ScriptedPrompts prompts;
             const std::unique_ptr<MainWindow> w = makeMainWindow();
             showAndInspect(w.get(), inspect);
         }},
        {QStringLiteral("reorder list"),
         [](const Inspect &inspect) {
             TestFolder folder;
             std::vector<ItemRow> low = rows();
             low[1].reorderLevel = 5;
             const tv::ReorderWriter writer(tv::buildReorderList(low));
             writer.save(tv::ReorderWriter::listPath());
             ReportWindow::showReorderList(tv::ReorderWriter::listPath(), writer.csv());
             const std::unique_ptr<ReportWindow> viewer(ReportWindow::openInstance());
             showAndInspect(viewer.get(), inspect);
         }},
        {QStringLiteral("splash"),
         [](const Inspect &inspect) { openOwned<SplashScreen>(inspect, std::function<void()>()); }},
        {QStringLiteral("tip of the day"),
         [](const Inspect &inspect) {
             TestFolder folder;
             QWidget owner;
             TipOfTheDay tips(&owner);
             tips.setTipsFile(writeFile(folder, "tips.tip", "Press Tab to go from field to field.\n"));
             tips.Show();
             showAndInspect(tips.dialog(), inspect);
         }},
        {QStringLiteral("about box"), [](const Inspect &inspect) { openOwned<AboutDialog>(inspect); }},
        {QStringLiteral("manual"), [](const Inspect &inspect) { openOwned<ManualWindow>(inspect); }},
        {QStringLiteral("sort window"), [](const Inspect &inspect) { openOwned<SortDialog>(inspect); }},
        {QStringLiteral("report viewer"),
         [](const Inspect &inspect) {
             TestFolder folder;
             std::unique_ptr<ReportWindow> viewer(new ReportWindow);
             viewer->navigate(
                 writeFile(folder, "report.html",
                           "<html><body><table><tr><th>Item Name</th></tr><tr><td>Hammer</td></tr>"
                           "</table></body></html>"));
             showAndInspect(viewer.get(), inspect);
         }},
        {QStringLiteral("report viewer, rows"),
         [](const Inspect &inspect) {
             TestFolder folder;
             folder.addRows({tv::test::makeRow("Hammer", "H-1", 2, "3.5", "Acme", "2024-03-07")});
             std::unique_ptr<ReportWindow> viewer(new ReportWindow);
             viewer->navigate(tv::ReportWriter(tv::SortChoice::ItemName).write());
             showAndInspect(viewer.get(), inspect);
         }},
        {QStringLiteral("item history"),
         [](const Inspect &inspect) {
             TestFolder folder;
             ItemRecordSet records(folder.databasePath());
             records.open();
             records.addNew();
             records.setValue(Column::ItemNum, QStringLiteral("H-1"));
             records.update(); // one line to choose
             ScriptedPrompts prompts;
             openOwned<HistoryWindow>(inspect, records, prompts);
         }},
        {QStringLiteral("barcode generator"),
         [](const Inspect &inspect) { openOwned<BarcodeWindow>(inspect, QStringLiteral("H-100~")); }},
        {QStringLiteral("print labels"),
         [](const Inspect &inspect) {
             TestFolder folder;
             folder.addRows(rows());
             ItemRecordSet records(folder.databasePath());
             records.open();
             openOwned<LabelsWindow>(inspect, records, LabelsWindow::SelectedRows());
         }},
        {QStringLiteral("barcode reader"),
         [](const Inspect &inspect) {
             TestFolder folder;
             ItemRecordSet records(folder.databasePath());
             records.open();
             QLineEdit itemNumber;
             // As on a machine with four serial ports: none is greyed out.
             openOwned<ScannerWindow>(
                 [&](QWidget *w) {
                     for (QRadioButton *option : w->findChildren<QRadioButton *>())
                         option->setEnabled(true);
                     inspect(w);
                 },
                 records, &itemNumber);
         }},
        {QStringLiteral("stocktake"),
         [](const Inspect &inspect) {
             TestFolder folder;
             folder.addRows(rows());
             ItemRecordSet records(folder.databasePath());
             records.open();
             QLineEdit itemNumber;
             ScanRouter router(records, &itemNumber);
             openOwned<StocktakeWindow>(inspect, records, router);
         }},
        {QStringLiteral("update check"),
         [](const Inspect &inspect) {
             // As in a copy built with a release key, which can check.
             setReleaseKey(updatePublicKeyPem());
             UpdateCheckWindow frm([] {});
             // As a check that found an update leaves it.
             control<QLabel>(frm, "lblVer")->setText(QStringLiteral("1.3.0"));
             control<QLabel>(frm, "lblstat")->setText(QStringLiteral("Update Available to 1.3.0"));
             control<QLabel>(frm, "lblstat")->show();
             control<QPushButton>(frm, "cmdUpdate")->show();
             showAndInspect(&frm, inspect);
         }},
        {QStringLiteral("updater"),
         [](const Inspect &inspect) {
             // Not closed: closing the updater's window starts the main program.
             UpdaterWindow form;
             control<QListWidget>(form, "lstStat")
                 ->addItems({QStringLiteral("Connected"), QStringLiteral("Downloading Update...")});
             control<QLabel>(form, "lblSize")->setText(UpdaterWindow::sizeText(204800));
             control<DrawnProgressBar>(form, "Bar1")->setValue(42);
             control<DrawnProgressBar>(form, "Bar1")->setText(QStringLiteral("42%"));
             showAndInspect(&form, inspect);
         }},
        {QStringLiteral("message box"),
         [](const Inspect &inspect) {
             inspectModal(inspect, [] {
                 QtPrompts().message(QStringLiteral("Ready to Exit, Do You Want to Save your Data?"),
                                     MsgButtons::YesNoCancel, MsgIcon::Question, QString());
             });
         }},
        {QStringLiteral("input box"),
         [](const Inspect &inspect) {
             inspectModal(inspect, [] {
                 QtPrompts().input(QStringLiteral("Enter the Item Number to find"), QString(), QString());
             });
         }},
    };
    return o;
}

// The text a label puts on screen: rich text as plain text, an access key's & dropped.
QString shownText(const QLabel *label)
{
    QString text = label->text();
    if (Qt::mightBeRichText(text) && label->textFormat() != Qt::PlainText)
        text = QTextDocumentFragment::fromHtml(text).toPlainText();
    else if (label->buddy())
        text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return text.simplified();
}

QString describe(QAccessibleInterface *iface)
{
    QObject *o = iface->object();
    return QStringLiteral("%1 \"%2\"")
        .arg(o ? QString::fromLatin1(o->metaObject()->className()) : QStringLiteral("?"),
             o ? o->objectName() : QString());
}

// Faults of one interface and everything below it; hidden parts are not read out.
void walk(QAccessibleInterface *iface, QStringList &faults, QMap<QString, QString> &accessKeys, int depth = 0)
{
    if (!iface || !iface->isValid() || iface->state().invisible || depth > 40) return;
    const QString name = iface->text(QAccessible::Name).simplified();
    const QString value = iface->text(QAccessible::Value).simplified();
    auto *label = qobject_cast<QLabel *>(iface->object());
    if (depth == 0 && name.isEmpty()) faults << describe(iface) + QStringLiteral(": window without a name");
    if (label) {
        const QString shown = shownText(label);
        if (!shown.isEmpty() && !name.contains(shown))
            faults
                << QStringLiteral("%1 shows \"%2\" but is read as \"%3\"").arg(describe(iface), shown, name);
        else if (shown.isEmpty() && !label->pixmap().isNull() && name.isEmpty())
            faults << describe(iface) + QStringLiteral(": picture without a name");
    } else if (iface->state().focusable && iface->object() && name.isEmpty()) {
        faults << describe(iface) + QStringLiteral(": focusable control without a name");
    }
    if (iface->role() == QAccessible::ComboBox && !value.isEmpty() && name == value)
        faults << QStringLiteral("%1 is named by its value \"%2\"").arg(describe(iface), value);
    // The updater draws its own bar; it must still say how far the download is.
    const auto *drawnBar = qobject_cast<DrawnProgressBar *>(iface->object());
    if ((drawnBar || iface->role() == QAccessible::ProgressBar) &&
        (iface->role() != QAccessible::ProgressBar || !iface->valueInterface() || value.isEmpty() ||
         (drawnBar && value != drawnBar->text())))
        faults << QStringLiteral("%1 does not tell its value (read as \"%2\")").arg(describe(iface), value);
    // An access key a label gives lands on its buddy, which reports it too.
    const QString key = iface->text(QAccessible::Accelerator);
    if (!label && !key.isEmpty() && !iface->state().disabled) {
        if (accessKeys.contains(key))
            faults << QStringLiteral("%1 and %2 share the access key %3")
                          .arg(accessKeys.value(key), describe(iface), key);
        accessKeys.insert(key, describe(iface));
    }
    for (int i = 0; i < iface->childCount(); ++i)
        walk(iface->child(i), faults, accessKeys, depth + 1);
}

// How the tab chain names a stop: its object name (with its element number), else what it is read as.
QString stopName(QWidget *w)
{
    if (!w) return QStringLiteral("(none)");
    QString name = w->objectName();
    if (const QVariant index = w->property("index"); index.isValid())
        name += QStringLiteral("[%1]").arg(index.toInt());
    if (name.isEmpty()) name = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
    return name;
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("TallyvaneTest"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_accessibility"));
        QStandardPaths::setTestModeEnabled(true);
    }

    void everyWindowReadsAsItShows_data()
    {
        QTest::addColumn<QString>("window");
        for (const QString &window : openers().keys())
            QTest::newRow(qPrintable(window)) << window;
    }

    // Every control and picture has a name, every label is read as what it shows, a combo box is
    // read by the name of its field, and a progress bar tells its value.
    void everyWindowReadsAsItShows()
    {
        QFETCH(QString, window);
        QStringList faults;
        bool inspected = false;
        openers().value(window)([&](QWidget *w) {
            inspected = true;
            QMap<QString, QString> accessKeys;
            walk(QAccessible::queryAccessibleInterface(w), faults, accessKeys);
        });
        QVERIFY(inspected);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    void tabChainFollowsTheLayout_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("chain"); // from the first stop round to it again
        QTest::newRow("main window")
            << "main window"
            << QStringList{"Backup",       "Restore",     "Manual",      "Tips",        "About",
                           "Export",       "Import",      "History",     "Labels",      "Stocktake",
                           "Reorder",      "txtfield[3]", "txtfield[4]", "txtfield[5]", "txtfield[6]",
                           "txtfield[8]",  "cboInvNum",   "cboVendor",   "cboDate",     "txtfield[9]",
                           "txtfield[10]", "command1",    "command2",    "cmdAdd",      "cmdSave",
                           "cmdDelete",    "cmdFind",     "cmdFirst",    "cmdPrev",     "cmdNext",
                           "cmdLast",      "DataGrid1",   "cmdReport",   "cmdGenerate", "cmdScan",
                           "cmdUpdate",    "cmdExit"};
        // The line under the grid, shown when an item needs reordering, comes right after it.
        QTest::newRow("main window, items to reorder")
            << "main window, items to reorder"
            << QStringList{"Backup",       "Restore",     "Manual",      "Tips",        "About",
                           "Export",       "Import",      "History",     "Labels",      "Stocktake",
                           "Reorder",      "txtfield[3]", "txtfield[4]", "txtfield[5]", "txtfield[6]",
                           "txtfield[8]",  "cboInvNum",   "cboVendor",   "cboDate",     "txtfield[9]",
                           "txtfield[10]", "command1",    "command2",    "cmdAdd",      "cmdSave",
                           "cmdDelete",    "cmdFind",     "cmdFirst",    "cmdPrev",     "cmdNext",
                           "cmdLast",      "DataGrid1",   "lblReorder",  "cmdReport",   "cmdGenerate",
                           "cmdScan",      "cmdUpdate",   "cmdExit"};
        QTest::newRow("tip of the day")
            << "tip of the day" << QStringList{"chkShowAtStartup", "cmdNextTip", "cmdOK"};
        QTest::newRow("about box") << "about box"
                                   << QStringList{"Text1", "Text2",        "Text3", "Text4",
                                                  "Text5", "RichTextBox1", "cmdOK", "cmdSysInfo"};
        QTest::newRow("manual") << "manual" << QStringList{"RichTextBox1", "cmdClose"};
        // One stop for a group of option buttons; the arrow keys move within it.
        QTest::newRow("sort window") << "sort window" << QStringList{"Option1", "command1", "command2"};
        QTest::newRow("report viewer") << "report viewer" << QStringList{"browser"};
        QTest::newRow("reorder list") << "reorder list" << QStringList{"browser"};
        QTest::newRow("report viewer, rows") << "report viewer, rows" << QStringList{"reportView"};
        QTest::newRow("barcode generator")
            << "barcode generator" << QStringList{"Text1", "cmdCopy", "cmdPrint", "cmdSave", "cmdLabels"};
        QTest::newRow("print labels")
            << "print labels"
            << QStringList{"optCurrent",  "spnCopies",      "chkInStock", "chkName",    "chkCost", "cboSheet",
                           "spnStartRow", "spnStartColumn", "cmdPrint",   "cmdSavePdf", "cmdClose"};
        QTest::newRow("barcode reader")
            << "barcode reader"
            << QStringList{"optComPort_0",  "cmdConnect",  "cmdDisconnect",       "txtBarcode",
                           "optScanMode_0", "txtQuantity", "chkKeyboardScanners", "cmdClear",
                           "cmdSend",       "cmdExit"};
        QTest::newRow("stocktake") << "stocktake" << QStringList{"lstCount", "cmdStart", "cmdClose"};
        QTest::newRow("update check") << "update check" << QStringList{"cmdCheck", "cmdUpdate"};
        QTest::newRow("item history")
            << "item history" << QStringList{"txtFilter", "chkAllItems", "lstChanges", "cmdClose"};
        QTest::newRow("updater") << "updater" << QStringList{"lstStat", "cmdCancel"};
    }

    // Tab from the first stop goes through every input of the window in the order they are laid
    // out and comes back round.
    void tabChainFollowsTheLayout()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, chain);
        QStringList reached;
        openers().value(window)([&](QWidget *w) {
            QWidget *first = nullptr;
            for (QWidget *c : w->findChildren<QWidget *>())
                if (stopName(c) == chain.first() && c->isVisible()) first = c;
            QVERIFY2(first, qPrintable(chain.first()));
            first->setFocus(Qt::TabFocusReason);
            reached << stopName(w->focusWidget());
            // A text browser steps through its links before it lets go.
            for (int presses = 0; presses < 40; ++presses) {
                QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Tab);
                const QString at = stopName(w->focusWidget());
                if (at == reached.first() && reached.size() > 1 && at != reached.last()) break;
                if (at != reached.last()) reached << at;
            }
            // No input is left out of the chain; Tab stops once in a group of option buttons.
            for (QWidget *c : w->findChildren<QWidget *>()) {
                const bool input = (qobject_cast<QAbstractButton *>(c) || qobject_cast<QLineEdit *>(c) ||
                                    qobject_cast<QComboBox *>(c) || qobject_cast<QAbstractItemView *>(c) ||
                                    qobject_cast<QTextEdit *>(c)) &&
                                   !qobject_cast<QHeaderView *>(c) && !c->focusProxy() && c->isVisible() &&
                                   c->isEnabled();
                if (!input) continue;
                QList<QAbstractButton *> group;
                if (auto *option = qobject_cast<QRadioButton *>(c); option && option->group())
                    group = option->group()->buttons();
                const bool reachedGroup = std::any_of(group.cbegin(), group.cend(), [&](QAbstractButton *b) {
                    return reached.contains(stopName(b));
                });
                QVERIFY2(reachedGroup || reached.contains(stopName(c)),
                         qPrintable(stopName(c) + QStringLiteral(" is never reached")));
            }
        });
        QCOMPARE(reached, chain);
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
