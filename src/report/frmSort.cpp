#include "frmSort.h"

#include "BusyCursor.h"
#include "common/ErrorTrap.h"
#include "common/LastingWindow.h"
#include "common/ModalSafety.h"
#include "common/Prompts.h"
#include "frmreport.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tv {

namespace {
QPointer<frmSort> s_window;
} // namespace

frmSort::frmSort(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSort"));
    setWindowTitle(QStringLiteral("      Report"));
    setAccessibleName(QStringLiteral("Report"));
    setFont(QFont(QStringLiteral("Tahoma"), 9));

    Label1 = new QLabel(QStringLiteral("Inventory Report"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    QFont heading(QStringLiteral("Tahoma"), 14, QFont::Bold);
    Label1->setFont(heading);

    Frame = new QGroupBox(QStringLiteral("Sort by"), this);
    Frame->setObjectName(QStringLiteral("Frame"));
    Frame->setAccessibleName(QStringLiteral("Sort by"));
    Option1 = new QRadioButton(QStringLiteral("&Item Name"), Frame);
    Option2 = new QRadioButton(QStringLiteral("&Vendor"), Frame);
    Option3 = new QRadioButton(QStringLiteral("Invoice &Date"), Frame);
    Option4 = new QRadioButton(QStringLiteral("Item &Number"), Frame);
    const char *names[] = {"Option1", "Option2", "Option3", "Option4"};
    const char *accessible[] = {"Item Name", "Vendor", "Invoice Date", "Item Number"};
    QRadioButton *options[] = {Option1, Option2, Option3, Option4};
    auto *group = new QButtonGroup(this);
    group->setExclusive(true);
    auto *frameLayout = new QVBoxLayout(Frame);
    for (int i = 0; i < 4; ++i) {
        options[i]->setObjectName(QString::fromLatin1(names[i]));
        options[i]->setAccessibleName(QString::fromLatin1(accessible[i]));
        group->addButton(options[i], i);
        frameLayout->addWidget(options[i]);
    }

    command1 = new QPushButton(QStringLiteral("&OK"), this);
    command1->setObjectName(QStringLiteral("command1"));
    command1->setAccessibleName(QStringLiteral("OK"));
    command1->setDefault(true);
    command2 = new QPushButton(QStringLiteral("&Cancel"), this);
    command2->setObjectName(QStringLiteral("command2"));
    command2->setAccessibleName(QStringLiteral("Cancel"));
    command2->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(command1);
    buttons->addWidget(command2);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->setSpacing(12);
    layout->addWidget(Label1);
    layout->addWidget(Frame);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(Option1, Option2);
    setTabOrder(Option2, Option3);
    setTabOrder(Option3, Option4);
    setTabOrder(Option4, command1);
    setTabOrder(command1, command2);

    connect(command1, &QPushButton::clicked, this, &frmSort::Command1_Click);
    connect(command2, &QPushButton::clicked, this, &frmSort::command2_Click);
}

frmSort::~frmSort() = default;

frmSort *frmSort::instance(QWidget *owner)
{
    if (!s_window) s_window = new frmSort(owner);
    return s_window;
}

frmSort *frmSort::openInstance()
{
    return s_window;
}

frmSort *frmSort::showWindow(QWidget *owner)
{
    frmSort *window = instance(owner);
    tv::bringForward(window);
    return window;
}

std::optional<tv::SortChoice> frmSort::chosen() const
{
    if (Option1->isChecked()) return tv::SortChoice::ItemName;
    if (Option2->isChecked()) return tv::SortChoice::Vendor;
    if (Option3->isChecked()) return tv::SortChoice::InvoiceDate;
    if (Option4->isChecked()) return tv::SortChoice::ItemNumber;
    return std::nullopt;
}

void frmSort::Command1_Click()
{
    const std::optional<tv::SortChoice> choice = chosen();
    if (!choice) {
        tv::prompts().message(QStringLiteral("Please Select One Option for Sorting the Report."));
        return;
    }
    tv::trapped(QStringLiteral("Command1_Click"), QStringLiteral("frmSort"), [&] {
        QString path;
        {
            tv::BusyCursor busy;
            path = tv::ReportWriter(*choice).write();
        }
        frmreport *viewer = frmreport::instance();
        viewer->navigate(path);
        tv::bringForward(viewer);
        unload();
    });
}

void frmSort::command2_Click()
{
    hide();
}

void frmSort::reject()
{
    command2_Click();
}

void frmSort::unload()
{
    // Unloaded, the choice is gone: the next report starts from a fresh window.
    if (s_window == this) s_window = nullptr;
    hide();
    tv::unloadWhenIdle(this);
}

} // namespace tv
