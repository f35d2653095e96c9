#include "report/SortDialog.h"

#include "BusyCursor.h"
#include "common/ErrorTrap.h"
#include "common/LastingWindow.h"
#include "common/ModalSafety.h"
#include "common/Prompts.h"

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
QPointer<SortDialog> s_window;
} // namespace

SortDialog::SortDialog(ShowReport showReport, QWidget *parent)
    : QDialog(parent), m_showReport(std::move(showReport))
{
    setObjectName(QStringLiteral("frmSort"));
    setWindowTitle(QStringLiteral("      Report"));
    setAccessibleName(QStringLiteral("Report"));
    setFont(QFont(QStringLiteral("Tahoma"), 9));
    buildSortChoice();
    buildButtons();
    layOut();
}

void SortDialog::buildSortChoice()
{
    m_heading = new QLabel(QStringLiteral("Inventory Report"), this);
    m_heading->setObjectName(QStringLiteral("Label1"));
    m_heading->setAlignment(Qt::AlignCenter);
    QFont heading(QStringLiteral("Tahoma"), 14, QFont::Bold);
    m_heading->setFont(heading);

    m_sortBy = new QGroupBox(QStringLiteral("Sort by"), this);
    m_sortBy->setObjectName(QStringLiteral("Frame"));
    m_sortBy->setAccessibleName(QStringLiteral("Sort by"));
    m_byItemName = new QRadioButton(QStringLiteral("&Item Name"), m_sortBy);
    m_byVendor = new QRadioButton(QStringLiteral("&Vendor"), m_sortBy);
    m_byInvoiceDate = new QRadioButton(QStringLiteral("Invoice &Date"), m_sortBy);
    m_byItemNumber = new QRadioButton(QStringLiteral("Item &Number"), m_sortBy);
    const char *names[] = {"Option1", "Option2", "Option3", "Option4"};
    const char *accessible[] = {"Item Name", "Vendor", "Invoice Date", "Item Number"};
    QRadioButton *options[] = {m_byItemName, m_byVendor, m_byInvoiceDate, m_byItemNumber};
    auto *group = new QButtonGroup(this);
    group->setExclusive(true);
    auto *frameLayout = new QVBoxLayout(m_sortBy);
    for (int i = 0; i < 4; ++i) {
        options[i]->setObjectName(QString::fromLatin1(names[i]));
        options[i]->setAccessibleName(QString::fromLatin1(accessible[i]));
        group->addButton(options[i], i);
        frameLayout->addWidget(options[i]);
    }
}

void SortDialog::buildButtons()
{
    m_okButton = new QPushButton(QStringLiteral("&OK"), this);
    m_okButton->setObjectName(QStringLiteral("command1"));
    m_okButton->setAccessibleName(QStringLiteral("OK"));
    m_okButton->setDefault(true);
    m_cancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("command2"));
    m_cancelButton->setAccessibleName(QStringLiteral("Cancel"));
    m_cancelButton->setAutoDefault(false);
    connect(m_okButton, &QPushButton::clicked, this, &SortDialog::writeReport);
    connect(m_cancelButton, &QPushButton::clicked, this, &SortDialog::cancelSort);
}

void SortDialog::layOut()
{
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->setSpacing(12);
    layout->addWidget(m_heading);
    layout->addWidget(m_sortBy);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_byItemName, m_byVendor);
    setTabOrder(m_byVendor, m_byInvoiceDate);
    setTabOrder(m_byInvoiceDate, m_byItemNumber);
    setTabOrder(m_byItemNumber, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
}

SortDialog::~SortDialog() = default;

SortDialog *SortDialog::openInstance()
{
    return s_window;
}

SortDialog *SortDialog::showWindow(QWidget *owner, ShowReport showReport)
{
    if (!s_window) s_window = new SortDialog(std::move(showReport), owner);
    tv::bringForward(s_window);
    return s_window;
}

std::optional<tv::SortChoice> SortDialog::chosen() const
{
    if (m_byItemName->isChecked()) return tv::SortChoice::ItemName;
    if (m_byVendor->isChecked()) return tv::SortChoice::Vendor;
    if (m_byInvoiceDate->isChecked()) return tv::SortChoice::InvoiceDate;
    if (m_byItemNumber->isChecked()) return tv::SortChoice::ItemNumber;
    return std::nullopt;
}

void SortDialog::writeReport()
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
        if (m_showReport) m_showReport(path);
        unload();
    });
}

void SortDialog::cancelSort()
{
    hide();
}

void SortDialog::reject()
{
    cancelSort();
}

void SortDialog::unload()
{
    // Unloaded, the choice is gone: the next report starts from a fresh window.
    if (s_window == this) s_window = nullptr;
    hide();
    tv::unloadWhenIdle(this);
}

} // namespace tv
