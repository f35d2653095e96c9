#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTextBrowser;

namespace tv {

// The user manual, built into the program, shown in a rich-text view.
class frmManual : public QDialog
{
    Q_OBJECT
public:
    // `database` says where the items are kept, above the manual; empty leaves it out.
    explicit frmManual(QWidget *parent = nullptr, const QString &database = QString());

    QLabel *lblDatabase = nullptr;
    QTextBrowser *RichTextBox1 = nullptr;
    QPushButton *cmdClose = nullptr;
};

} // namespace tv
