#pragma once

#include "ReportWriter.h"

#include <QDialog>
#include <optional>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tv {

// Asks by which key the inventory report is sorted, writes the report and opens the viewer.
class frmSort : public QDialog
{
    Q_OBJECT
public:
    explicit frmSort(QWidget *parent = nullptr);
    ~frmSort() override;

    // The lasting window, created on first use (owned by the given window) and kept until a
    // report has been written.
    static frmSort *instance(QWidget *owner = nullptr);
    static frmSort *openInstance();
    // Shows the lasting window, not modal.
    static frmSort *showWindow(QWidget *owner = nullptr);

    std::optional<tv::SortChoice> chosen() const;

    QLabel *Label1 = nullptr;
    QGroupBox *Frame = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QRadioButton *Option3 = nullptr;
    QRadioButton *Option4 = nullptr;
    QPushButton *command1 = nullptr;
    QPushButton *command2 = nullptr;

public slots:
    void Command1_Click();
    void command2_Click();
    void reject() override; // Escape and the close box do what Cancel does

private:
    void unload();
};

} // namespace tv
