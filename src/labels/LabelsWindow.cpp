#include "labels/LabelsWindow.h"

#include "common/ModalSafety.h"
#include "common/Prompts.h"
#include "items/ItemRecordSet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tv {

namespace {
constexpr QSize kPreviewBox(300, 388);
constexpr int kProgressAfterMs = 400;

QString plain(QString caption)
{
    return caption.remove(QLatin1Char('&')).remove(QLatin1Char(':')).trimmed();
}

template <class W> W *named(W *widget, const char *objectName, const QString &accessible)
{
    widget->setObjectName(QLatin1String(objectName));
    widget->setAccessibleName(accessible);
    return widget;
}

// A row of a form: the caption with its access key, and the field it names.
void addRow(QFormLayout *form, const QString &caption, QWidget *field)
{
    auto *label = new QLabel(caption);
    label->setBuddy(field);
    field->setAccessibleName(plain(caption));
    form->addRow(label, field);
}

QDoubleSpinBox *mmField(const char *objectName, double most)
{
    auto *field = new QDoubleSpinBox;
    field->setObjectName(QLatin1String(objectName));
    field->setDecimals(2);
    field->setRange(0, most);
    field->setSingleStep(0.5);
    field->setSuffix(QStringLiteral(" mm"));
    return field;
}
} // namespace

LabelsWindow::LabelsWindow(ItemRecordSet &records, SelectedRows selectedRows, QWidget *parent)
    : QWidget(parent, Qt::Window), m_records(records), m_selectedRows(std::move(selectedRows))
{
    setObjectName(QStringLiteral("frmLabels"));
    setWindowTitle(QStringLiteral("Print Labels"));
    setAccessibleName(windowTitle());
    m_printerDialog = [this](QPrinter &printer) { return showPrinterDialog(printer, this); };
    m_refreshSoon.setSingleShot(true);
    m_refreshSoon.setInterval(0);
    connect(&m_refreshSoon, &QTimer::timeout, this, &LabelsWindow::refresh);

    auto *outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize); // the custom sheet's fields come and go
    m_body = new QWidget(this);
    outer->addWidget(m_body);
    auto *grid = new QGridLayout(m_body);
    grid->setContentsMargins(0, 0, 0, 0);
    auto *choices = new QVBoxLayout;
    for (QGroupBox *group : {buildItemChoice(), buildHowMany(), buildContent(), buildSheet(),
                             buildCustomSheet(), buildPrinter()})
        choices->addWidget(group);
    choices->addStretch(1);
    grid->addLayout(choices, 0, 0);
    grid->addWidget(buildPreview(), 0, 1);
    grid->addWidget(buildButtons(), 1, 0, 1, 2);

    fillSheets();
    fillPrinters();
    wireChoices();
    followRecords();
    const std::vector<int> selected = m_selectedRows ? m_selectedRows() : std::vector<int>{};
    (selected.size() > 1 ? m_optSelected : m_optCurrent)->setChecked(true);
    refresh();
}

LabelsWindow::~LabelsWindow() = default;

QGroupBox *LabelsWindow::buildItemChoice()
{
    auto *group = named(new QGroupBox(QStringLiteral("Items")), "fraItems", QStringLiteral("Items"));
    auto *box = new QVBoxLayout(group);
    m_optCurrent = named(new QRadioButton(QStringLiteral("&Current item")), "optCurrent",
                         QStringLiteral("Current item"));
    m_optSelected = named(new QRadioButton(QStringLiteral("&Selected rows")), "optSelected",
                          QStringLiteral("Selected rows"));
    m_optAll = named(new QRadioButton(QStringLiteral("&All items")), "optAll", QStringLiteral("All items"));
    auto *options = new QButtonGroup(group); // one tab stop; the arrow keys move between them
    for (QRadioButton *option : {m_optCurrent, m_optSelected, m_optAll}) {
        box->addWidget(option);
        options->addButton(option);
    }
    // "Items to reorder" joins these options once items have reorder levels.
    return group;
}

QGroupBox *LabelsWindow::buildHowMany()
{
    auto *group = named(new QGroupBox(QStringLiteral("How many")), "fraHowMany", QStringLiteral("How many"));
    auto *form = new QFormLayout(group);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    m_copies = named(new QSpinBox, "spnCopies", QString());
    m_copies->setRange(1, kMostLabelsEach);
    m_copies->setValue(1);
    addRow(form, QStringLiteral("Copies of &each:"), m_copies);
    m_inStock = named(new QCheckBox(QStringLiteral("As many as in s&tock")), "chkInStock",
                      QStringLiteral("As many as in stock"));
    m_inStock->setToolTip(
        QStringLiteral("One label for each unit in stock, at most %1 of an item").arg(kMostLabelsEach));
    form->addRow(m_inStock);
    return group;
}

QGroupBox *LabelsWindow::buildContent()
{
    auto *group = named(new QGroupBox(QStringLiteral("On each label, besides the barcode")), "fraContent",
                        QStringLiteral("On each label, besides the barcode"));
    auto *row = new QHBoxLayout(group);
    m_showName = named(new QCheckBox(QStringLiteral("Item &name")), "chkName", QStringLiteral("Item name"));
    m_showName->setChecked(true);
    m_showCost = named(new QCheckBox(QStringLiteral("Unit c&ost")), "chkCost", QStringLiteral("Unit cost"));
    row->addWidget(m_showName);
    row->addWidget(m_showCost);
    row->addStretch(1);
    return group;
}

QGroupBox *LabelsWindow::buildSheet()
{
    auto *group = named(new QGroupBox(QStringLiteral("Sheet")), "fraSheet", QStringLiteral("Sheet"));
    auto *form = new QFormLayout(group);
    m_sheet = named(new QComboBox, "cboSheet", QString());
    addRow(form, QStringLiteral("S&heet:"), m_sheet);
    auto *start = new QHBoxLayout;
    m_startRow = named(new QSpinBox, "spnStartRow", QString());
    m_startColumn = named(new QSpinBox, "spnStartColumn", QString());
    auto *rowLabel = new QLabel(QStringLiteral("Start at &row:"));
    rowLabel->setBuddy(m_startRow);
    m_startRow->setAccessibleName(QStringLiteral("Start at row"));
    auto *columnLabel = new QLabel(QStringLiteral("Col&umn:"));
    columnLabel->setBuddy(m_startColumn);
    m_startColumn->setAccessibleName(QStringLiteral("Column"));
    start->addWidget(rowLabel);
    start->addWidget(m_startRow);
    start->addSpacing(12);
    start->addWidget(columnLabel);
    start->addWidget(m_startColumn);
    start->addStretch(1);
    form->addRow(start);
    return group;
}

QGroupBox *LabelsWindow::buildCustomSheet()
{
    m_custom = named(new QGroupBox(QStringLiteral("Custom sheet")), "fraCustomSheet",
                     QStringLiteral("Custom sheet"));
    auto *columns = new QHBoxLayout(m_custom);
    auto *leftForm = new QFormLayout;
    auto *rightForm = new QFormLayout;
    columns->addLayout(leftForm);
    columns->addLayout(rightForm);
    const char *names[] = {"spnPageWidth",  "spnPageHeight", "spnLabelWidth", "spnLabelHeight",
                           "spnLeftMargin", "spnTopMargin",  "spnGapAcross",  "spnGapDown"};
    for (std::size_t i = 0; i < m_customSizes.size(); ++i)
        m_customSizes[i] = mmField(names[i], i < 2 ? 1000 : 500);
    m_customRows = named(new QSpinBox, "spnRows", QString());
    m_customColumns = named(new QSpinBox, "spnColumns", QString());
    m_customRows->setRange(1, 100);
    m_customColumns->setRange(1, 100);
    addRow(leftForm, QStringLiteral("Pa&ge width:"), m_customSizes[0]);
    addRow(leftForm, QStringLiteral("Page height:"), m_customSizes[1]);
    addRow(leftForm, QStringLiteral("Label width:"), m_customSizes[2]);
    addRow(leftForm, QStringLiteral("Label height:"), m_customSizes[3]);
    addRow(leftForm, QStringLiteral("Rows:"), m_customRows);
    addRow(rightForm, QStringLiteral("Left margin:"), m_customSizes[4]);
    addRow(rightForm, QStringLiteral("Top margin:"), m_customSizes[5]);
    addRow(rightForm, QStringLiteral("Gap across:"), m_customSizes[6]);
    addRow(rightForm, QStringLiteral("Gap down:"), m_customSizes[7]);
    addRow(rightForm, QStringLiteral("Columns:"), m_customColumns);
    m_custom->hide();
    return m_custom;
}

QGroupBox *LabelsWindow::buildPrinter()
{
    auto *group = named(new QGroupBox(QStringLiteral("Printer")), "fraPrinter", QStringLiteral("Printer"));
    auto *form = new QFormLayout(group);
    m_printer = named(new QComboBox, "cboPrinter", QString());
    addRow(form, QStringLiteral("Pr&inter:"), m_printer);
    auto *offsets = new QHBoxLayout;
    m_offsetLeft = mmField("spnOffsetLeft", 20);
    m_offsetDown = mmField("spnOffsetDown", 20);
    for (QDoubleSpinBox *field : {m_offsetLeft, m_offsetDown}) {
        field->setRange(-20, 20);
        field->setSingleStep(0.1);
        field->setDecimals(1);
    }
    auto *leftLabel = new QLabel(QStringLiteral("Offset &left:"));
    leftLabel->setBuddy(m_offsetLeft);
    m_offsetLeft->setAccessibleName(QStringLiteral("Offset left"));
    auto *downLabel = new QLabel(QStringLiteral("Do&wn:"));
    downLabel->setBuddy(m_offsetDown);
    m_offsetDown->setAccessibleName(QStringLiteral("Offset down"));
    offsets->addWidget(leftLabel);
    offsets->addWidget(m_offsetLeft);
    offsets->addSpacing(12);
    offsets->addWidget(downLabel);
    offsets->addWidget(m_offsetDown);
    offsets->addStretch(1);
    form->addRow(offsets);
    group->setToolTip(QStringLiteral("For a printer that feeds a little off: everything printed on it "
                                     "moves by this much. Kept for each printer."));
    return group;
}

QWidget *LabelsWindow::buildPreview()
{
    auto *panel = new QWidget;
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(8, 6, 0, 0);
    auto *caption = new QLabel(QStringLiteral("First page:"));
    m_preview = named(new QLabel, "picPreview", QStringLiteral("Preview of the first page"));
    m_preview->setFixedSize(kPreviewBox + QSize(4, 4));
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_preview->setAutoFillBackground(true);
    m_preview->setBackgroundRole(QPalette::Mid);
    // Labels are read as the text they show.
    m_summary = new QLabel;
    m_summary->setObjectName(QStringLiteral("lblTotal"));
    m_summary->setWordWrap(true);
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("lblSheetProblem"));
    m_problem->setWordWrap(true);
    QPalette warning = m_problem->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
    m_problem->setPalette(warning);
    m_leftOutLabel = new QLabel(QStringLiteral("Left out:"));
    m_leftOut = named(new QListWidget, "lstLeftOut", QStringLiteral("Left out"));
    m_leftOut->setFixedSize(kPreviewBox.width() + 4, 90);
    m_leftOut->setWordWrap(true); // an item number is read whole
    m_leftOut->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (QWidget *w : {static_cast<QWidget *>(caption), static_cast<QWidget *>(m_preview),
                       static_cast<QWidget *>(m_summary), static_cast<QWidget *>(m_problem),
                       static_cast<QWidget *>(m_leftOutLabel), static_cast<QWidget *>(m_leftOut)})
        column->addWidget(w);
    column->addStretch(1);
    return panel;
}

QWidget *LabelsWindow::buildButtons()
{
    auto *panel = new QWidget;
    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 8, 0, 0);
    const auto button = [&](const char *name, const QString &caption, const QString &accessible) {
        auto *b = named(new QPushButton(caption), name, accessible);
        b->setAutoDefault(true); // Enter presses the button that has the focus
        b->setMinimumWidth(110);
        return b;
    };
    m_print = button("cmdPrint", QStringLiteral("&Print..."), QStringLiteral("Print"));
    m_savePdf = button("cmdSavePdf", QStringLiteral("Sa&ve as PDF"), QStringLiteral("Save as PDF"));
    m_close = button("cmdClose", QStringLiteral("Close"), QStringLiteral("Close"));
    row->addStretch(1);
    row->addWidget(m_print);
    row->addWidget(m_savePdf);
    row->addWidget(m_close);
    connect(m_print, &QPushButton::clicked, this, &LabelsWindow::printLabelsNow);
    connect(m_savePdf, &QPushButton::clicked, this, &LabelsWindow::saveAsPdf);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    return panel;
}

void LabelsWindow::wireChoices()
{
    const auto later = [this] { m_refreshSoon.start(); };
    for (QRadioButton *option : {m_optCurrent, m_optSelected, m_optAll})
        connect(option, &QRadioButton::toggled, this, later);
    for (QCheckBox *box : {m_showName, m_showCost})
        connect(box, &QCheckBox::toggled, this, later);
    connect(m_inStock, &QCheckBox::toggled, this, [this, later](bool on) {
        m_copies->setEnabled(!on);
        later();
    });
    for (QSpinBox *spin : {m_copies, m_startRow, m_startColumn})
        connect(spin, &QSpinBox::valueChanged, this, later);
    connect(m_sheet, &QComboBox::currentIndexChanged, this, &LabelsWindow::sheetChosen);
    for (QDoubleSpinBox *field : m_customSizes)
        connect(field, &QDoubleSpinBox::valueChanged, this, &LabelsWindow::customSheetEdited);
    for (QSpinBox *spin : {m_customRows, m_customColumns})
        connect(spin, &QSpinBox::valueChanged, this, &LabelsWindow::customSheetEdited);
    connect(m_printer, &QComboBox::currentIndexChanged, this, &LabelsWindow::printerChosen);
    for (QDoubleSpinBox *field : {m_offsetLeft, m_offsetDown})
        connect(field, &QDoubleSpinBox::valueChanged, this, &LabelsWindow::offsetEdited);
}

void LabelsWindow::followRecords()
{
    const auto later = [this] { m_refreshSoon.start(); };
    connect(&m_records, &ItemRecordSet::reset, this, later);
    connect(&m_records, &ItemRecordSet::currentChanged, this, later);
    connect(&m_records, &ItemRecordSet::rowInserted, this, later);
    connect(&m_records, &ItemRecordSet::rowRemoved, this, later);
    connect(&m_records, &ItemRecordSet::rowChanged, this, later);
}

void LabelsWindow::fillSheets()
{
    m_filling = true;
    m_sheets = allSheets();
    const QString last = lastSheetKey();
    int chosen = 0;
    for (std::size_t i = 0; i < m_sheets.size(); ++i) {
        m_sheet->addItem(m_sheets[i].name, m_sheets[i].key);
        if (m_sheets[i].key == last) chosen = static_cast<int>(i);
    }
    m_sheet->setCurrentIndex(chosen);
    m_filling = false;
    sheetChosen();
}

void LabelsWindow::fillPrinters()
{
    m_filling = true;
    const QStringList names = QPrinterInfo::availablePrinterNames();
    m_printer->addItems(names);
    const int chosen = static_cast<int>(names.indexOf(QPrinterInfo::defaultPrinterName()));
    m_printer->setCurrentIndex(std::max(0, chosen));
    if (names.isEmpty()) m_printer->addItem(QStringLiteral("No printer installed"));
    for (QWidget *w : {static_cast<QWidget *>(m_printer), static_cast<QWidget *>(m_offsetLeft),
                       static_cast<QWidget *>(m_offsetDown)})
        w->setEnabled(!names.isEmpty());
    m_filling = false;
    printerChosen();
}

void LabelsWindow::sheetChosen()
{
    if (m_filling) return;
    const LabelSheet sheet = chosenSheet();
    keepLastSheetKey(sheet.key);
    m_startRow->setRange(1, std::max(1, sheet.rows));
    m_startColumn->setRange(1, std::max(1, sheet.columns));
    m_startRow->setEnabled(sheet.perPage() > 1);
    m_startColumn->setEnabled(sheet.perPage() > 1);
    if (sheet.key == QLatin1String(kCustomSheetKey)) showCustomSheet(sheet);
    m_custom->setVisible(sheet.key == QLatin1String(kCustomSheetKey));
    m_refreshSoon.start();
}

void LabelsWindow::showCustomSheet(const LabelSheet &sheet)
{
    m_filling = true;
    const double sizes[] = {sheet.page.width(),   sheet.page.height(), sheet.label.width(),
                            sheet.label.height(), sheet.left,          sheet.top,
                            sheet.gapAcross,      sheet.gapDown};
    for (std::size_t i = 0; i < m_customSizes.size(); ++i)
        m_customSizes[i]->setValue(sizes[i]);
    m_customRows->setValue(sheet.rows);
    m_customColumns->setValue(sheet.columns);
    m_filling = false;
}

void LabelsWindow::customSheetEdited()
{
    if (m_filling || m_sheets.empty()) return;
    LabelSheet &sheet = m_sheets.back();
    sheet.page = QSizeF(m_customSizes[0]->value(), m_customSizes[1]->value());
    sheet.label = QSizeF(m_customSizes[2]->value(), m_customSizes[3]->value());
    sheet.left = m_customSizes[4]->value();
    sheet.top = m_customSizes[5]->value();
    sheet.gapAcross = m_customSizes[6]->value();
    sheet.gapDown = m_customSizes[7]->value();
    sheet.rows = m_customRows->value();
    sheet.columns = m_customColumns->value();
    sheet.name = customSheetName(sheet);
    keepCustomSheet(sheet);
    m_sheet->setItemText(m_sheet->count() - 1, sheet.name);
    sheetChosen();
}

void LabelsWindow::printerChosen()
{
    if (m_filling || !m_printer->isEnabled()) return;
    const PrinterOffset offset = printerOffset(m_printer->currentText());
    m_filling = true;
    m_offsetLeft->setValue(offset.left);
    m_offsetDown->setValue(offset.down);
    m_filling = false;
}

void LabelsWindow::offsetEdited()
{
    if (m_filling || !m_printer->isEnabled()) return;
    keepPrinterOffset(m_printer->currentText(), {m_offsetLeft->value(), m_offsetDown->value()});
}

LabelSheet LabelsWindow::chosenSheet() const
{
    const int index = m_sheet->currentIndex();
    if (index < 0 || index >= static_cast<int>(m_sheets.size())) return standardSheets().front();
    return m_sheets[static_cast<std::size_t>(index)];
}

ItemChoice LabelsWindow::itemChoice() const
{
    if (m_optSelected->isChecked()) return ItemChoice::SelectedRows;
    if (m_optAll->isChecked()) return ItemChoice::AllItems;
    return ItemChoice::CurrentItem;
}

LabelJob LabelsWindow::currentJob(int dotsPerInch) const
{
    LabelJob job;
    job.sheet = chosenSheet();
    job.content = {m_showName->isChecked(), m_showCost->isChecked()};
    job.startRow = m_startRow->value();
    job.startColumn = m_startColumn->value();
    job.dotsPerInch = dotsPerInch;
    const ItemChoice choice = itemChoice();
    const std::vector<int> selected =
        choice == ItemChoice::SelectedRows && m_selectedRows ? m_selectedRows() : std::vector<int>{};
    job.plan = planLabels(chosenRows(m_records, choice, selected),
                          {m_copies->value(), m_inStock->isChecked()}, job.sheet, dotsPerInch);
    return job;
}

void LabelsWindow::refresh()
{
    if (m_running) return;
    showPlan(currentJob());
}

void LabelsWindow::showPlan(const LabelJob &job)
{
    const QString problem = sheetProblem(job.sheet, job.content);
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    m_summary->setText(planSummary(job.plan, job.pages()));
    m_leftOut->clear();
    m_leftOut->addItems(job.plan.leftOut);
    m_leftOut->setVisible(!job.plan.leftOut.isEmpty());
    m_leftOutLabel->setVisible(!job.plan.leftOut.isEmpty());
    m_preview->setPixmap(QPixmap::fromImage(previewFirstPage(job, kPreviewBox)));
    const bool printable = problem.isEmpty() && job.plan.labels > 0;
    m_print->setEnabled(printable);
    m_savePdf->setEnabled(printable);
}

bool LabelsWindow::showPrinterDialog(QPrinter &printer, QWidget *parent)
{
    QPointer<QPrintDialog> dialog = new QPrintDialog(&printer, parent);
    dialog->setWindowTitle(QStringLiteral("Print Labels"));
    const int answer = execDialog(dialog);
    delete dialog;
    return answer == QDialog::Accepted;
}

void LabelsWindow::printLabelsNow()
{
    auto printer = m_printer->isEnabled()
                       ? std::make_unique<QPrinter>(QPrinterInfo::printerInfo(m_printer->currentText()),
                                                    QPrinter::HighResolution)
                       : std::make_unique<QPrinter>(QPrinter::HighResolution);
    setUpPrinter(*printer, chosenSheet());
    const QPointer<LabelsWindow> self(this);
    if (!m_printerDialog || !m_printerDialog(*printer) || !self) return;

    // Bars are fitted to the dots of the printer chosen; a file keeps the grid of a PDF.
    const bool toFile = !printer->outputFileName().isEmpty();
    LabelJob job = currentJob(toFile ? kPdfDotsPerInch : printer->resolution());
    if (!toFile) job.offset = printerOffset(printer->printerName());
    if (job.plan.leftOut.size() > m_leftOut->count()) {
        showPlan(job);
        const MsgAnswer answer = prompts().message(
            QStringLiteral("On this printer more items are left out; they are listed under \"Left out\". "
                           "Print the other labels?"),
            MsgButtons::YesNo, MsgIcon::Question);
        if (answer != MsgAnswer::Yes || !self) return;
    }
    QString error;
    const LabelsResult result =
        runWithProgress(QStringLiteral("Printing"), [&](const LabelProgress &progress) {
            return printLabels(*printer, job, progress, &error);
        });
    if (self && result == LabelsResult::Failed)
        prompts().message(QStringLiteral("The labels could not be printed. %1").arg(error), MsgButtons::Ok,
                          MsgIcon::Exclamation);
}

void LabelsWindow::saveAsPdf()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Save as PDF");
    request.filter = QStringLiteral("PDF files (*.pdf)|*.pdf");
    request.fileName = QStringLiteral("labels.pdf");
    request.overwritePrompt = true;
    request.defaultExt = QStringLiteral("pdf");
    const QPointer<LabelsWindow> self(this);
    const std::optional<QString> path = prompts().saveFile(request);
    if (!path || !self) return;
    const LabelJob job = currentJob(kPdfDotsPerInch);
    if (job.plan.labels == 0) return;
    QString error;
    const LabelsResult result = runWithProgress(QStringLiteral("Saving"), [&](const LabelProgress &progress) {
        return saveLabelsPdf(*path, job, progress, &error);
    });
    if (self && result == LabelsResult::Failed)
        prompts().message(QStringLiteral("The labels could not be saved. %1").arg(error), MsgButtons::Ok,
                          MsgIcon::Exclamation);
}

LabelsResult LabelsWindow::runWithProgress(const QString &doing,
                                           const std::function<LabelsResult(const LabelProgress &)> &run)
{
    QPointer<QProgressDialog> progress = new QProgressDialog(QStringLiteral("%1 the labels...").arg(doing),
                                                             QStringLiteral("Cancel"), 0, 1, this);
    progress->setObjectName(QStringLiteral("labelProgress"));
    progress->setWindowTitle(windowTitle());
    progress->setAccessibleName(QStringLiteral("%1 the labels").arg(doing));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(kProgressAfterMs);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    setRunning(true);
    const LabelsResult result = run([&](int page, int pages) {
        if (!progress || m_cancelRun) return false;
        progress->setMaximum(std::max(1, pages));
        progress->setLabelText(QStringLiteral("%1 page %2 of %3...").arg(doing).arg(page + 1).arg(pages));
        progress->setValue(page);
        QCoreApplication::processEvents(); // the window keeps answering, Cancel included
        return progress && !progress->wasCanceled() && !m_cancelRun;
    });
    delete progress;
    setRunning(false);
    if (m_closeAfterRun) QTimer::singleShot(0, this, &QWidget::close);
    return result;
}

void LabelsWindow::setRunning(bool running)
{
    m_running = running;
    m_cancelRun = false;
    m_closeAfterRun = m_closeAfterRun && !running;
    m_body->setEnabled(!running);
}

void LabelsWindow::closeEvent(QCloseEvent *event)
{
    // Closing during a run cancels it first; the window stays until the run has stopped.
    if (m_running) {
        m_cancelRun = true;
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    event->accept();
    unloadWhenIdle(this);
}

void LabelsWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void LabelsWindow::changeEvent(QEvent *event)
{
    // Back from the main window: its grid's selection may have changed meanwhile.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) m_refreshSoon.start();
    QWidget::changeEvent(event);
}

} // namespace tv
