#pragma once

#include <QDialog>

class QPushButton;
class QTextBrowser;

namespace tv {

// The user manual, built into the program, shown in a rich-text view.
class frmManual : public QDialog
{
    Q_OBJECT
public:
    explicit frmManual(QWidget *parent = nullptr);

    QTextBrowser *RichTextBox1 = nullptr;
    QPushButton *cmdClose = nullptr;
};

} // namespace tv
