#pragma once

#include <QDialog>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QTextBrowser;

namespace tv {

// The about box: title, version, logo, the maker's contact details, and a way to the machine's
// system-information program.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    // `database` says where the items are kept; empty leaves it out.
    explicit AboutDialog(QWidget *parent = nullptr, const QString &database = QString());

public slots:
    void closeAbout();
    void showSystemInfo();
    // Starts the system-information program without waiting; says so when there is none.
    void startSystemInfo();

private:
    void buildHeading();
    void buildDescription(const QString &database);
    void buildButtons();
    void arrange();
    void load();

    QLabel *m_logo = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_version = nullptr;
    QLabel *m_tagline = nullptr;
    std::array<QLineEdit *, 5> m_contacts{}; // maker, web, email, phone, hours
    QTextBrowser *m_description = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_systemInfo = nullptr;
};

} // namespace tv
