#pragma once

#include "ReportWriter.h"

#include <QDialog>
#include <functional>
#include <optional>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tv {

// Asks by which key the inventory report is sorted, writes the report and has it shown.
class SortDialog : public QDialog
{
    Q_OBJECT
public:
    // Shows the report file just written; throws AppError when it cannot be shown.
    using ShowReport = std::function<void(const QString &path)>;

    // Without a way to show the report, the report is only written.
    explicit SortDialog(ShowReport showReport = {}, QWidget *parent = nullptr);
    ~SortDialog() override;

    // Shows the lasting window, not modal: created on first use (owned by the given window, and
    // showing its reports with the given function) and kept until a report has been written.
    static SortDialog *showWindow(QWidget *owner, ShowReport showReport);
    // The lasting window or nullptr.
    static SortDialog *openInstance();

    std::optional<tv::SortChoice> chosen() const;

public slots:
    void writeReport();
    void cancelSort();
    void reject() override; // Escape and the close box do what Cancel does

private:
    void buildSortChoice();
    void buildButtons();
    void layOut();
    void unload();

    ShowReport m_showReport;
    QLabel *m_heading = nullptr;
    QGroupBox *m_sortBy = nullptr;
    QRadioButton *m_byItemName = nullptr;
    QRadioButton *m_byVendor = nullptr;
    QRadioButton *m_byInvoiceDate = nullptr;
    QRadioButton *m_byItemNumber = nullptr;
    QPushButton *m_okButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
};

} // namespace tv
