#include "mainwindow/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/AppResources.h"
#include "app/ManualWindow.h"
#include "app/ScreenScaling.h"
#include "app/TipOfTheDay.h"
#include "backup/DatabaseBackup.h"
#include "barcode/BarcodeWindow.h"
#include "common/Accessibility.h"
#include "common/EndProgram.h"
#include "common/ErrorTrap.h"
#include "common/LastingWindow.h"
#include "common/ModalSafety.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "common/Version.h"
#include "csv/CsvTransfer.h"
#include "csv/ImportPreviewDialog.h"
#include "history/HistoryWindow.h"
#include "items/ItemStoreConfig.h"
#include "labels/LabelsWindow.h"
#include "mainwindow/ItemBinding.h"
#include "mainwindow/ItemEditor.h"
#include "mainwindow/ItemNavigator.h"
#include "mainwindow/ItemTableModel.h"
#include "mainwindow/PickListCombo.h"
#include "mainwindow/PictureView.h"
#include "mainwindow/ReorderStatusLine.h"
#include "report/ReorderWriter.h"
#include "report/ReportWindow.h"
#include "report/SortDialog.h"
#include "scanner/KeyboardScan.h"
#include "scanner/ScanCounting.h"
#include "scanner/ScannerSend.h"
#include "scanner/ScannerWindow.h"
#include "stocktake/StocktakeWindow.h"
#include "updatecheck/UpdateCheckWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

namespace tv {

namespace {
const QString kForm = QStringLiteral("frmMain");

QString withoutAccessKey(QString caption)
{
    return caption.remove(QLatin1Char('&'));
}

QFont buttonFont(const QFont &base)
{
    QFont f = base;
    f.setFamilies({QStringLiteral("Tahoma"), base.family()});
    return f;
}
} // namespace

ChosenRecords chooseRecords(const QString &folder)
{
    ChosenRecords chosen;
    try {
        chosen.records = std::make_unique<ItemRecordSet>(makeItemStore(folder));
    } catch (const AppError &e) {
        // A server address that cannot be used is shown at load; nothing falls back to a file.
        chosen.error = e;
        chosen.records = std::make_unique<ItemRecordSet>(makeFileStore(QString()));
    }
    return chosen;
}

std::unique_ptr<MainWindow> makeMainWindow()
{
    return std::make_unique<MainWindow>(chooseRecords(programFolder()), prompts());
}

MainWindow::MainWindow(ChosenRecords records, Prompts &prompts, QWidget *parent)
    : QMainWindow(parent), m_storeError(std::move(records.error)), m_records(std::move(records.records)),
      m_prompts(prompts)
{
    setPromptOwner(this);
    initAppResources();
    installAccessibleComboBoxes();
    setObjectName(kForm);
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_binding = std::make_unique<ItemBinding>(*m_records);
    m_navigator = std::make_unique<ItemNavigator>(*m_records, [this] { showPicture(); });
    TipOfTheDay = new tv::TipOfTheDay(this);
    buildWindow();
    m_tipTimer.setInterval(1000);
    connect(&m_tipTimer, &QTimer::timeout, this, &MainWindow::showTipAtStartup);
    followOtherWorkstations();
    m_keyboardScans = new KeyboardScanDetector(this, this);
    connect(m_keyboardScans, &KeyboardScanDetector::scanned, this, &MainWindow::keyboardScan);
    connect(m_scans, &ScanRouter::modeChanged, this, &MainWindow::showScanNotice);
    showScanNotice();
    load();
}

MainWindow::~MainWindow()
{
    // The binding and the grid let go of the record set before it goes.
    if (m_grid) m_grid->setModel(nullptr);
    delete m_model;
    m_model = nullptr;
    m_binding.reset();
}

QLineEdit *MainWindow::txtfield(int index) const
{
    return ItemBinding::isFieldIndex(index) ? m_txtfield[static_cast<size_t>(index)] : nullptr;
}

QPushButton *MainWindow::button(const QString &objectName) const
{
    return findChild<QPushButton *>(objectName);
}

QPushButton *MainWindow::makeButton(const char *name, const QString &caption, void (MainWindow::*slot)(),
                                    QWidget *parentWidget)
{
    auto *b = new QPushButton(caption, parentWidget);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(withoutAccessKey(caption));
    b->setFont(buttonFont(b->font()));
    b->setAutoDefault(false);
    b->setMinimumHeight(30);
    connect(b, &QPushButton::clicked, this, slot);
    return b;
}

void MainWindow::buildWindow()
{
    setWindowTitle(appTitle());
    setWindowIcon(QIcon(QStringLiteral(":/tallyvane/tallyvane.png")));
    buildToolbar();

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(10, 8, 10, 10);
    outer->setSpacing(8);

    // Fields with their labels on the left, the picture frame on the right.
    auto *top = new QHBoxLayout;
    top->setSpacing(14);
    outer->addLayout(top);
    QList<QWidget *> tabOrder;
    for (QAction *a : m_toolbar->actions())
        if (QWidget *w = m_toolbar->widgetForAction(a)) tabOrder << w;
    top->addWidget(buildDetails(central, tabOrder), 1);
    top->addWidget(buildPictureFrame(central, tabOrder), 0);
    outer->addLayout(buildRecordButtons(central, tabOrder));
    outer->addWidget(buildGrid(central), 1);
    tabOrder << m_grid;
    outer->addWidget(buildScanNotice(central));
    m_reorderLine = new ReorderStatusLine(*m_records, central);
    connect(m_reorderLine, &QPushButton::clicked, this, &MainWindow::openReorderList);
    outer->addWidget(m_reorderLine);
    tabOrder << m_reorderLine;
    outer->addLayout(buildWindowButtons(central, tabOrder));

    for (int i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    m_txtfield[3]->setFocus(); // the window opens on the first field, not on the toolbar
    bindFields();
}

// Toolbar1 with the pictures of ImageList1.
void MainWindow::buildToolbar()
{
    m_toolbar = addToolBar(QStringLiteral("Toolbar1"));
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setAccessibleName(QStringLiteral("Toolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setIconSize(QSize(32, 32));
    const struct
    {
        const char *key, *caption, *icon, *tip;
    } tools[] = {
        {"first", "Backup", "backup", "Copy the database to the Backup folder"},
        {"second", "Restore", "restore", "Put the backup copy back in place of the database"},
        {"third", "Manual", "manual", "Read the user manual"},
        {"fourth", "Tips", "tips", "Show a tip"},
        {"fifth", "About", "about", "About Tallyvane"},
        {"export", "Export", "export", "Write every item to a CSV file for a spreadsheet"},
        {"import", "Import", "import", "Add the items of a CSV file, after a preview"},
        {"history", "History", "history", "See every change of the items, and undo one"},
        {"labels", "Labels", "labels", "Print barcode labels of many items on label sheets"},
        {"stocktake", "Stocktake", "stocktake", "Count every item on the shelves and compare with the books"},
        {"reorder", "Reorder", "reorder", "List the items at or below their reorder level, by vendor"},
    };
    for (const auto &t : tools) {
        QAction *a =
            m_toolbar->addAction(QIcon(QStringLiteral(":/tallyvane/tb_%1.png").arg(QLatin1String(t.icon))),
                                 QString::fromLatin1(t.caption));
        a->setObjectName(QLatin1String(t.key));
        a->setData(QString::fromLatin1(t.key));
        a->setToolTip(QString::fromLatin1(t.tip));
        connect(a, &QAction::triggered, this, [this, a] { toolbarButtonClicked(a->data().toString()); });
        if (QWidget *w = m_toolbar->widgetForAction(a)) {
            w->setAccessibleName(QString::fromLatin1(t.caption));
            w->setFocusPolicy(Qt::TabFocus); // the toolbar has no access keys; Tab reaches it
        }
    }
    if (auto *more = m_toolbar->findChild<QWidget *>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("More toolbar buttons"));
}

QGroupBox *MainWindow::buildDetails(QWidget *central, QList<QWidget *> &tabOrder)
{
    auto *details = new QGroupBox(QStringLiteral("Item Details"), central);
    details->setObjectName(QStringLiteral("fraDetails"));
    auto *form = new QGridLayout(details);
    form->setHorizontalSpacing(10);
    form->setVerticalSpacing(6);

    int formRow = 0;
    auto addLabelled = [&](const char *labelName, const QString &caption, QWidget *field) {
        auto *label = new QLabel(caption, details);
        label->setObjectName(QLatin1String(labelName));
        label->setBuddy(field);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        field->setAccessibleName(withoutAccessKey(caption).remove(QLatin1Char(':')).trimmed());
        if (auto *combo = qobject_cast<QComboBox *>(field); combo && combo->lineEdit())
            combo->lineEdit()->setAccessibleName(field->accessibleName());
        form->addWidget(label, formRow, 0);
        form->addWidget(field, formRow, 1);
        ++formRow;
        tabOrder << field;
    };
    auto makeField = [&](int index) {
        auto *e = new QLineEdit(details);
        e->setObjectName(QStringLiteral("txtfield"));
        e->setProperty("index", index);
        m_txtfield[static_cast<size_t>(index)] = e;
        return e;
    };
    auto makeCombo = [&](const char *name) {
        auto *c = new PickListCombo(details);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        return c;
    };
    addLabelled("Label1", QStringLiteral("Item Na&me :"), makeField(3));
    addLabelled("Label2", QStringLiteral("&Item ID :"), makeField(4));
    addLabelled("Label3", QStringLiteral("Unit &Count:"), makeField(5));
    addLabelled("Label4", QStringLiteral("Unit Cost :"), makeField(6));
    addLabelled("Label5", QStringLiteral("Total Unit Value :"), makeField(8));
    m_cboInvNum = makeCombo("cboInvNum");
    addLabelled("Label6", QStringLiteral("Invoice ID :"), m_cboInvNum);
    m_cboVendor = makeCombo("cboVendor");
    addLabelled("Label8", QStringLiteral("&Vendor :"), m_cboVendor);
    m_cboDate = makeCombo("cboDate");
    addLabelled("Label9", QStringLiteral("Dat&e :"), m_cboDate);
    addLabelled("lblReorderAt", QStringLiteral("Reorder At :"), makeField(9));
    addLabelled("lblOrderQty", QStringLiteral("Order &Qty :"), makeField(10));
    form->setRowStretch(formRow, 1);
    form->setColumnStretch(1, 1);
    // The picture path is kept in a field the user never sees.
    QLineEdit *path = makeField(7);
    path->setVisible(false);
    path->setAccessibleName(QStringLiteral("Picture path"));
    form->addWidget(path, formRow + 1, 1);
    m_txtfield[8]->setReadOnly(true);
    m_txtfield[5]->setAlignment(Qt::AlignRight);
    m_txtfield[6]->setAlignment(Qt::AlignRight);
    m_txtfield[8]->setAlignment(Qt::AlignRight);
    m_txtfield[9]->setAlignment(Qt::AlignRight);
    m_txtfield[10]->setAlignment(Qt::AlignRight);
    m_txtfield[10]->setPlaceholderText(QStringLiteral("twice the level"));
    return details;
}

QGroupBox *MainWindow::buildPictureFrame(QWidget *central, QList<QWidget *> &tabOrder)
{
    m_frame1 = new QGroupBox(QStringLiteral("Item Image"), central);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    auto *frameLayout = new QVBoxLayout(m_frame1);
    m_image1 = new QLabel(m_frame1);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setAccessibleName(QStringLiteral("Item Image"));
    m_image1->setScaledContents(true);
    m_image1->setFixedSize(300, 225);
    m_image1->setFrameShape(QFrame::StyledPanel);
    m_image1->setVisible(false);
    auto *imageHolder = new QWidget(m_frame1);
    imageHolder->setFixedSize(m_image1->size());
    m_image1->setParent(imageHolder);
    frameLayout->addWidget(imageHolder, 0, Qt::AlignHCenter);

    auto *pictureButtons = new QHBoxLayout;
    frameLayout->addLayout(pictureButtons);
    QPushButton *command1 =
        makeButton("command1", QStringLiteral("Add Pic&ture"), &MainWindow::addPicture, m_frame1);
    QPushButton *command2 =
        makeButton("command2", QStringLiteral("Delete Pict&ure"), &MainWindow::deletePicture, m_frame1);
    pictureButtons->addWidget(command1);
    pictureButtons->addWidget(command2);
    frameLayout->addStretch(1);
    tabOrder << command1 << command2;
    return m_frame1;
}

QGridLayout *MainWindow::buildRecordButtons(QWidget *central, QList<QWidget *> &tabOrder)
{
    // Record commands and moves in two rows.
    auto *commands = new QGridLayout;
    commands->setHorizontalSpacing(8);
    commands->setVerticalSpacing(6);
    const struct
    {
        const char *name;
        const char *caption;
        void (MainWindow::*slot)();
    } rows[2][4] = {{{"cmdAdd", "&Add New Entry", &MainWindow::addItem},
                     {"cmdSave", "&Save Entry", &MainWindow::saveItem},
                     {"cmdDelete", "&Delete Entry", &MainWindow::deleteItem},
                     {"cmdFind", "&Find Entry", &MainWindow::findItem}},
                    {{"cmdFirst", "First Rec&ord", &MainWindow::moveFirst},
                     {"cmdPrev", "&Previous Record", &MainWindow::movePrevious},
                     {"cmdNext", "&Next Record", &MainWindow::moveNext},
                     {"cmdLast", "&Last Record", &MainWindow::moveLast}}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) {
            QPushButton *b = makeButton(rows[r][c].name, QString::fromLatin1(rows[r][c].caption),
                                        rows[r][c].slot, central);
            commands->addWidget(b, r, c);
            tabOrder << b;
        }
    return commands;
}

QTableView *MainWindow::buildGrid(QWidget *central)
{
    m_grid = new QTableView(central);
    m_grid->setObjectName(QStringLiteral("DataGrid1"));
    m_grid->setAccessibleName(QStringLiteral("Items"));
    m_model = new ItemTableModel(*m_records);
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Shift and Ctrl select several rows, for labels of the selected rows.
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setAlternatingRowColors(true);
    m_grid->setTabKeyNavigation(false);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setVisible(false);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 8);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->horizontalHeader()->setHighlightSections(false);
    const int widths[] = {220, 130, 120, 110, 130, 180};
    for (int c = 0; c < 6; ++c)
        m_grid->setColumnWidth(c, widths[c]);
    m_grid->setCornerButtonEnabled(false);
    for (QAbstractButton *corner : m_grid->findChildren<QAbstractButton *>())
        corner->setAccessibleName(QStringLiteral("Select all items"));
    m_grid->viewport()->installEventFilter(this);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { gridRowChanged(current.row()); });
    connect(m_records.get(), &ItemRecordSet::currentChanged, this, &MainWindow::syncGridToRecordSet);
    connect(m_records.get(), &ItemRecordSet::reset, this, &MainWindow::syncGridToRecordSet);
    return m_grid;
}

QLabel *MainWindow::buildScanNotice(QWidget *central)
{
    // Where the user looks: nobody sells stock thinking they are looking items up.
    m_scans = new ScanRouter(*m_records, m_txtfield[4], this);
    m_scanNotice = new QLabel(central);
    m_scanNotice->setObjectName(QStringLiteral("lblScanMode"));
    m_scanNotice->setStyleSheet(QStringLiteral("QLabel { background: #fff3c4; color: #3d2f00; border: 1px "
                                               "solid #c9a400; padding: 3px 8px; font-weight: bold; }"));
    return m_scanNotice;
}

void MainWindow::showScanNotice()
{
    const QString notice = m_scans->notice();
    m_scanNotice->setText(notice);
    m_scanNotice->setVisible(!notice.isEmpty());
}

QHBoxLayout *MainWindow::buildWindowButtons(QWidget *central, QList<QWidget *> &tabOrder)
{
    // The other windows and leaving.
    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(8);
    QPushButton *cmdReport =
        makeButton("cmdReport", QStringLiteral("View &Report"), &MainWindow::openReport, central);
    QPushButton *cmdGenerate = makeButton("cmdGenerate", QStringLiteral("&Generate Barcode"),
                                          &MainWindow::openBarcodeWindow, central);
    QPushButton *cmdScan =
        makeButton("cmdScan", QStringLiteral("Scan &Barcode"), &MainWindow::openScannerWindow, central);
    QPushButton *cmdUpdate =
        makeButton("cmdUpdate", QStringLiteral("Chec&k for Update"), &MainWindow::openUpdateCheck, central);
    QPushButton *cmdExit = makeButton("cmdExit", QStringLiteral("E&xit"), &MainWindow::exitProgram, central);
    for (QPushButton *b : {cmdReport, cmdGenerate, cmdScan, cmdUpdate}) {
        b->setMinimumWidth(150);
        bottom->addWidget(b);
    }
    bottom->addStretch(1);
    cmdExit->setMinimumWidth(110);
    bottom->addWidget(cmdExit);
    tabOrder << cmdReport << cmdGenerate << cmdScan << cmdUpdate << cmdExit;
    return bottom;
}

// The fields bound to the record set, and the editor that works on them.
void MainWindow::bindFields()
{
    for (int i = 3; i <= 10; ++i)
        m_binding->bindField(i, m_txtfield[static_cast<size_t>(i)]);
    m_binding->bindCombo(Column::InvDate, m_cboDate);
    m_binding->bindCombo(Column::Vendor, m_cboVendor);
    m_binding->bindCombo(Column::InvNum, m_cboInvNum);

    ItemEditor::Widgets widgets;
    widgets.txtfield = m_txtfield;
    widgets.cboDate = m_cboDate;
    widgets.cboVendor = m_cboVendor;
    widgets.cboInvNum = m_cboInvNum;
    ItemEditor::Hooks hooks;
    hooks.view = [this] { showPicture(); };
    hooks.setTitle = [this](bool lastRowDeleted) { refreshTitle(lastRowDeleted); };
    hooks.dialogFolder = [this] { return m_cdl1InitDir; };
    m_editor = new ItemEditor(*m_records, *m_binding, widgets, hooks, this);
    // Each pick list is filled afresh from the table whenever it drops down.
    const std::pair<QComboBox *, PickList> lists[] = {
        {m_cboDate, PickList::Date}, {m_cboInvNum, PickList::InvNum}, {m_cboVendor, PickList::Vendor}};
    for (const auto &[combo, list] : lists)
        connect(static_cast<PickListCombo *>(combo), &PickListCombo::dropDown, this,
                [this, list = list] { m_editor->dropDown(list); });
}

void MainWindow::load()
{
    ErrorTrap trap(QStringLiteral("Form_Load"), kForm);
    trap.run([&] {
        trap.line(1);
        const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                              : QRect(0, 0, 1280, 1024);
        resize(static_cast<int>(screen.width() / 1.2), static_cast<int>(screen.height() / 1.05));
        trap.line(2);
        move(screen.x() + (screen.width() - width()) / 2, screen.y() + (screen.height() - height()) / 2);
        trap.line(3);
        TipOfTheDay->setTipsFile(programPath(QStringLiteral("tips.tip")));
        trap.line(4);
        if (TipOfTheDay->showAtStartup()) m_tipTimer.start();
        trap.line(5);
        if (m_storeError) throw *m_storeError;
        // A server may be slow or silent: its rows come once the window shows and answers.
        const bool later = !m_records->isOpen() && !m_records->store().isFile();
        if (later) QTimer::singleShot(0, this, &MainWindow::loadFromServer);
        if (!later && !m_records->isOpen()) m_records->open();
        if (!later && m_records->bof())
            m_txtfield[3]->setText(QStringLiteral("Click 'Create New Entry' Button to Begin"));
        trap.line(6);
        FitFormToScreen(this, 2);
        trap.line(7);
        m_cdl1InitDir = QDir::currentPath();
        trap.line(8);
        showPicture();
        trap.line(9);
        if (!later) refreshTitle();
    });
}

QString MainWindow::recordCountTitle(int count, bool lastRowDeleted)
{
    // The count keeps the place of its sign: a blank before a positive number.
    const QString number = count < 0 ? QString::number(count) : QLatin1Char(' ') + QString::number(count);
    if (count >= 2 || lastRowDeleted)
        return QStringLiteral("  Tallyvane     Total Entries %1: %2  Records")
            .arg(count >= 2 ? QStringLiteral("Are") : QStringLiteral("Is"), number);
    return QStringLiteral("  Tallyvane     Total Entries Is: %1  Record").arg(number);
}

void MainWindow::loadFromServer()
{
    if (m_records->isOpen() || m_records->isBusy()) return;
    trapped(QStringLiteral("Form_Load"), kForm, [&] {
        m_connecting = true;
        showServerState();
        const auto shown = qScopeGuard([this] {
            m_connecting = false;
            showServerState();
        });
        m_records->open();
        m_serverLost = m_rereadPending = false;
        if (m_records->bof())
            m_txtfield[3]->setText(QStringLiteral("Click 'Create New Entry' Button to Begin"));
        showPicture();
        refreshTitle();
    });
}

void MainWindow::showServerState()
{
    if (!m_serverState) return;
    QString text;
    if (m_connecting)
        text =
            QStringLiteral("Connecting to the inventory server at %1...").arg(m_records->store().location());
    else if (!m_storeError && (m_serverLost || !m_records->isOpen()))
        text = QStringLiteral("The inventory server is not answering. What you type is kept and saved "
                              "once the server is back.");
    else if (m_serverWaiting)
        text = QStringLiteral("Waiting for the inventory server to answer...");
    m_serverState->setText(text);
    m_serverState->setAccessibleDescription(text);
    m_serverState->setVisible(!text.isEmpty());
}

void MainWindow::followOtherWorkstations()
{
    ItemStore &store = m_records->store();
    // The record set has taken the change in by the time these run; the file's store hears of
    // other programs' saves as the server's does of other workstations'.
    connect(m_records.get(), &ItemRecordSet::changesTaken, this, [this] {
        if (m_records->isOpen()) refreshTitle();
    });
    connect(m_records.get(), &ItemRecordSet::currentDeletedElsewhere, this, [this] {
        showPicture();
        m_prompts.message(QStringLiteral("The item you were looking at was deleted at another workstation. "
                                         "The next item is shown."),
                          MsgButtons::Ok, MsgIcon::Information);
    });
    if (store.isFile()) return;
    m_serverState = new QLabel(this);
    m_serverState->setObjectName(QStringLiteral("lblServerState"));
    m_serverState->setAccessibleName(QStringLiteral("Server state"));
    m_serverState->setVisible(false);
    statusBar()->addWidget(m_serverState, 1);
    connect(&store, &ItemStore::waiting, this, [this](bool waiting) {
        m_serverWaiting = waiting;
        showServerState();
    });
    // A lost server is tried again in the background; changes made elsewhere while it was away
    // were never heard of, so once it is back every row is read again (when the user is not typing).
    m_reconnect.setInterval(3000);
    connect(&m_reconnect, &QTimer::timeout, this, &MainWindow::tryServerAgain);
    connect(&store, &ItemStore::connectionChanged, this, [this](bool connected) {
        if (!connected) {
            m_serverLost = true;
        } else if (m_serverLost) {
            m_serverLost = false;
            m_rereadPending = true;
        }
        showServerState();
    });
    m_reconnect.start();
}

void MainWindow::tryServerAgain()
{
    // Never under a box: the command that opened it may be using the rows. Never beside a
    // command still waiting for the server either.
    if (m_storeError || modalRunning() || m_records->isBusy() || m_records->store().isBusy()) return;
    try {
        if (!m_records->isOpen()) {
            m_connecting = true;
            showServerState();
            const auto shown = qScopeGuard([this] {
                m_connecting = false;
                showServerState();
            });
            m_records->open(); // the server was away at load
            m_serverLost = m_rereadPending = false;
            if (m_records->bof())
                m_txtfield[3]->setText(QStringLiteral("Click 'Create New Entry' Button to Begin"));
            showPicture();
            refreshTitle();
            return;
        }
        if (m_serverLost) m_records->store().reconnect();
        // What was typed while the server was away is saved now, unless the user is still typing.
        if (m_rereadPending && m_records->isDirty() && !m_binding->anyPending())
            trapped(QStringLiteral("Reconnect"), kForm, [&] { m_records->save(); });
        if (m_rereadPending && !m_records->isDirty() && !m_binding->anyPending()) {
            m_rereadPending = false;
            readEverythingAgain();
        }
    } catch (const AppError &) {
        // Still away: the next tick tries again, and the next command says why.
    }
}

void MainWindow::readEverythingAgain()
{
    std::optional<qint64> key;
    if (m_records->hasCurrent()) key = m_records->row(m_records->position()).rowid;
    trapped(QStringLiteral("Reconnect"), kForm, [&] {
        m_records->close();
        m_records->open();
        const auto &rows = m_records->rows();
        for (size_t i = 0; key && i < rows.size(); ++i) {
            if (rows.rowid(i) == *key) {
                m_records->moveTo(static_cast<int>(i));
                break;
            }
        }
        showPicture();
        refreshTitle();
    });
}

QString MainWindow::databaseInUse() const
{
    return m_storeError ? QString() : databaseDescription(m_records->store());
}

void MainWindow::refreshTitle(bool lastRowDeleted)
{
    QString title = recordCountTitle(m_records->recordCount(), lastRowDeleted);
    if (!m_records->store().isFile()) title += QStringLiteral("  -  ") + m_records->store().location();
    setWindowTitle(title);
}

bool MainWindow::commitEdits()
{
    return m_binding->commitAll();
}

void MainWindow::saveData()
{
    commitEdits();
    m_records->save();
}

void MainWindow::showPicture()
{
    viewPicture(m_txtfield[7]->text(), m_image1, m_picturePath);
}

void MainWindow::syncGridToRecordSet()
{
    if (!m_grid || !m_grid->selectionModel()) return;
    QItemSelectionModel *selection = m_grid->selectionModel();
    // A row the grid made current itself keeps the rows the user selected with it (Ctrl, Shift).
    if (m_records->hasCurrent() && selection->currentIndex().row() == m_records->position()) return;
    m_syncingGrid = true;
    if (m_records->hasCurrent()) {
        const QModelIndex index = m_model->index(m_records->position(), 0);
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_grid->scrollTo(index);
    } else {
        selection->clear();
    }
    m_syncingGrid = false;
}

void MainWindow::gridRowChanged(int row)
{
    if (m_syncingGrid || row < 0) return;
    const bool moved = trapped(QStringLiteral("DataGrid1_Click"), kForm, [&] { m_records->moveTo(row); });
    if (!moved) {
        syncGridToRecordSet();
        return;
    }
    // A click refreshes the picture when the button is let go; keys move without a click, and a
    // picture that cannot be shown is noted in the picture box rather than a box at every key.
    if (QGuiApplication::mouseButtons() == Qt::NoButton)
        viewPicture(m_txtfield[7]->text(), m_image1, m_picturePath, PictureFailure::Note);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (m_grid && watched == m_grid->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        gridRowClicked();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::gridRowClicked()
{
    m_navigator->gridRowClicked();
}

void MainWindow::moveFirst()
{
    m_navigator->moveFirst();
}
void MainWindow::movePrevious()
{
    m_navigator->movePrevious();
}
void MainWindow::moveNext()
{
    m_navigator->moveNext();
}
void MainWindow::moveLast()
{
    m_navigator->moveLast();
}

// Item editing, find and the picture commands.
void MainWindow::addItem()
{
    m_editor->addItem();
}
void MainWindow::saveItem()
{
    m_editor->saveItem();
}
void MainWindow::deleteItem()
{
    m_editor->deleteItem();
}
void MainWindow::findItem()
{
    m_editor->findItem();
}
void MainWindow::addPicture()
{
    m_editor->addPicture();
}
void MainWindow::deletePicture()
{
    m_editor->deletePicture();
}

void MainWindow::openReport()
{
    // The lasting sort window, no modal; a written report unloads it, so the next use starts fresh.
    SortDialog::showWindow(this, &ReportWindow::showReport);
}

void MainWindow::openBarcodeWindow()
{
    // One lasting window, created on first use with the item number as it is then; its close box
    // deletes it, so the next use reads the item number again.
    showLasting(m_barcodeWindow, [this] {
        auto *window = new BarcodeWindow(txtfield(4)->text(), this);
        connect(window, &BarcodeWindow::labelsRequested, this, &MainWindow::openLabelsWindow);
        return window;
    });
}

void MainWindow::openLabelsWindow()
{
    // One lasting window, created on first use; it reads the items and the grid's selection
    // whenever it plans the labels.
    showLasting(m_labelsWindow, [this] {
        return new LabelsWindow(
            *m_records,
            [this] {
                std::vector<int> rows;
                for (const QModelIndex &index : m_grid->selectionModel()->selectedRows())
                    rows.push_back(index.row());
                std::sort(rows.begin(), rows.end());
                return rows;
            },
            this);
    });
}

void MainWindow::openScannerWindow()
{
    // One lasting window, created on first use; it empties its code box and shows itself, no
    // modal. Its close box unloads it, so the next use creates it anew.
    ScannerWindow::scan(*m_records, txtfield(4), this, m_scans);
}

void MainWindow::keyboardScan(const QString &code)
{
    m_scans->keyboardScan(code);
}

void MainWindow::openStocktake()
{
    // One lasting window; while it is open on a count, every scan counts there.
    showLasting(m_stocktake, [this] {
        auto *window = new StocktakeWindow(*m_records, *m_scans, this);
        m_keyboardScans->watch(window);
        return window;
    });
}

void MainWindow::openUpdateCheck()
{
    // One lasting window, created on first use; it saves through the same steps as leaving does.
    showLasting(m_updateCheck, [this] { return new tv::UpdateCheckWindow([this] { saveData(); }, this); });
}

void MainWindow::backupDatabase()
{
    DatabaseBackup(*m_records).backup();
}

void MainWindow::restoreDatabase()
{
    // The bound fields and the grid follow the record set when it is opened again; the picture
    // and the count in the title are refreshed here.
    bool reopened = false;
    const auto watch =
        connect(m_records.get(), &ItemRecordSet::reset, this, [&] { reopened = m_records->isOpen(); });
    DatabaseBackup(*m_records).restore();
    disconnect(watch);
    if (reopened && m_records->isOpen()) {
        showPicture();
        refreshTitle();
    }
}

// Pending edits reach the file first; after an import the picture and the count follow the rows.
static CsvTransfer csvTransfer(MainWindow *w)
{
    return CsvTransfer(w->recordSet(), {[w] { w->saveData(); },
                                        [w](ImportScan &scan, const QString &path) {
                                            return ImportPreviewDialog::confirm(scan, path, w);
                                        },
                                        [w] {
                                            w->showPicture();
                                            w->refreshTitle();
                                        }});
}

void MainWindow::exportCsv()
{
    csvTransfer(this).exportAll(m_cdl1InitDir);
}

void MainWindow::importCsv()
{
    csvTransfer(this).importFile(m_cdl1InitDir);
}

void MainWindow::writeReorderList()
{
    // The list holds what the grid shows, the text being typed included.
    commitEdits();
    const ReorderWriter writer(buildReorderList(m_records->rows()));
    const QString path = ReorderWriter::listPath();
    writer.save(path);
    ReportWindow::showReorderList(path, writer.csv());
}

void MainWindow::openReorderList()
{
    trapped(QStringLiteral("lblReorder_Click"), kForm, [this] { writeReorderList(); });
}

void MainWindow::toolbarButtonClicked(const QString &key)
{
    trapped(QStringLiteral("Toolbar1_ButtonClick"), kForm, [&] {
        if (key == QLatin1String("first")) {
            backupDatabase();
        } else if (key == QLatin1String("second")) {
            restoreDatabase();
        } else if (key == QLatin1String("third")) {
            // One lasting window, created on first use.
            showLasting(m_manual, [this] { return new ManualWindow(this, databaseInUse()); });
        } else if (key == QLatin1String("fourth")) {
            TipOfTheDay->Show();
        } else if (key == QLatin1String("fifth")) {
            showLasting(m_about, [this] { return new AboutDialog(this, databaseInUse()); });
        } else if (key == QLatin1String("export")) {
            exportCsv();
        } else if (key == QLatin1String("import")) {
            importCsv();
        } else if (key == QLatin1String("history")) {
            showLasting(m_history, [this] { return new HistoryWindow(*m_records, m_prompts, this); });
        } else if (key == QLatin1String("labels")) {
            openLabelsWindow();
        } else if (key == QLatin1String("stocktake")) {
            openStocktake();
        } else if (key == QLatin1String("reorder")) {
            writeReorderList();
        }
    });
}

void MainWindow::showTipAtStartup()
{
    TipOfTheDay->Show();
    m_tipTimer.stop();
}

bool MainWindow::leaveProgram()
{
    // Without an open record set there is nothing to save.
    if (!m_records->isOpen() || m_records->recordCount() < 1) {
        endProgramNow();
        return true;
    }
    const MsgAnswer answer =
        m_prompts.message(QStringLiteral("Ready to Exit, Do You Want to Save your Data?"),
                          MsgButtons::YesNoCancel, MsgIcon::Question);
    m_answer = static_cast<int>(answer);
    if (answer == MsgAnswer::Yes) {
        saveData();
        endProgramNow();
        return true;
    }
    if (answer == MsgAnswer::No) {
        endProgramNow();
        return true;
    }
    return false;
}

void MainWindow::exitProgram()
{
    trapped(QStringLiteral("cmdExit_Click"), kForm, [&] { leaveProgram(); });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (programEnding()) {
        event->accept();
        return;
    }
    // A failed save is reported by the trap and refuses the close, as it stops Exit: the typed
    // text stays on screen.
    bool left = false;
    trapped(QStringLiteral("Form_QueryUnload"), kForm, [&] { left = leaveProgram(); });
    if (left)
        event->accept();
    else
        event->ignore();
}

} // namespace tv
