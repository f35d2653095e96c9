#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTextBrowser;

namespace tv {

// The about box: title, version, logo, the maker's contact details, and a way to the machine's
// system-information program.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    // `database` says where the items are kept; empty leaves it out.
    explicit frmAbout(QWidget *parent = nullptr, const QString &database = QString());

    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *Image1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLineEdit *Text4 = nullptr;
    QLineEdit *Text5 = nullptr;
    QTextBrowser *RichTextBox1 = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdSysInfo = nullptr;

public slots:
    void cmdOK_Click();
    void cmdSysInfo_Click();
    // Starts the system-information program without waiting; says so when there is none.
    void StartSysInfo();

private:
    void Form_Load();
};

} // namespace tv
