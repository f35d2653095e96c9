#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTextBrowser;

namespace tv {

// The user manual, built into the program, shown in a rich-text view.
class ManualWindow : public QDialog
{
    Q_OBJECT
public:
    // `database` says where the items are kept, above the manual; empty leaves it out.
    explicit ManualWindow(QWidget *parent = nullptr, const QString &database = QString());

private:
    QLabel *m_database = nullptr;
    QTextBrowser *m_text = nullptr;
    QPushButton *m_close = nullptr;
};

} // namespace tv
