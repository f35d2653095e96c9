#include "app/ManualWindow.h"

#include "app/AppResources.h"
#include "common/Version.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tv {

ManualWindow::ManualWindow(QWidget *parent, const QString &database) : QDialog(parent)
{
    initAppResources();
    setObjectName(QStringLiteral("frmManual"));
    setModal(false);
    setWindowTitle(appTitle() + QStringLiteral(" Manual"));

    m_text = new QTextBrowser(this);
    m_text->setObjectName(QStringLiteral("RichTextBox1"));
    m_text->setAccessibleName(tr("Manual text"));
    m_text->setOpenExternalLinks(true);
    m_text->setSource(QUrl(QStringLiteral("qrc:/tallyvane/manual.html")));

    m_close = new QPushButton(tr("&Close"), this);
    m_close->setObjectName(QStringLiteral("cmdClose"));
    m_close->setAccessibleName(tr("Close"));
    m_close->setDefault(true); // Enter closes the manual unless a link has the focus
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    auto *main = new QVBoxLayout(this);
    if (!database.isEmpty()) {
        const QString text = QStringLiteral("The items are kept in %1.").arg(database);
        m_database = new QLabel(text, this);
        m_database->setObjectName(QStringLiteral("lblDatabase"));
        m_database->setTextFormat(Qt::PlainText);
        m_database->setWordWrap(true);
        m_database->setAccessibleName(text);
        main->addWidget(m_database);
    }
    main->addWidget(m_text, 1);
    main->addLayout(buttons);

    m_text->setFocus();
    resize(860, 720);
}

} // namespace tv
