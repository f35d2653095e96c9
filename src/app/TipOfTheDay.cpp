#include "app/TipOfTheDay.h"

#include "common/LastingWindow.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTextStream>
#include <QVBoxLayout>

namespace tv {

namespace {
const QString kShowKey = QStringLiteral("TipOfTheDay/ShowAtStartup");
const QString kNextKey = QStringLiteral("TipOfTheDay/NextTip");

QFont tahoma(const QFont &base, qreal points, bool bold)
{
    QFont f = base;
    f.setFamilies({QStringLiteral("Tahoma"), base.family()});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}
} // namespace

TipOfTheDay::TipOfTheDay(QWidget *owner) : QObject(owner), m_owner(owner) {}

TipOfTheDay::~TipOfTheDay()
{
    delete m_dialog;
}

void TipOfTheDay::setTipsFile(const QString &path)
{
    m_file = path;
    m_tips.clear();
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&file);
        while (!in.atEnd()) {
            const QString line = in.readLine().trimmed();
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) m_tips << line;
        }
    }
    m_current = m_tips.isEmpty() ? 0 : QSettings().value(kNextKey, 0).toInt() % int(m_tips.size());
    if (m_current < 0) m_current = 0;
}

bool TipOfTheDay::showAtStartup() const
{
    return QSettings().value(kShowKey, true).toBool();
}

void TipOfTheDay::setShowAtStartup(bool on)
{
    QSettings().setValue(kShowKey, on);
}

QString TipOfTheDay::currentTip() const
{
    if (m_tips.isEmpty())
        return QStringLiteral("No tips are available: the tips file %1 is missing or empty.").arg(m_file);
    return m_tips.at(m_current);
}

void TipOfTheDay::nextTip()
{
    if (m_tips.isEmpty()) return;
    m_current = (m_current + 1) % int(m_tips.size());
}

void TipOfTheDay::buildDialog()
{
    m_dialog = new QDialog(m_owner, Qt::Dialog);
    m_dialog->setObjectName(QStringLiteral("TipOfTheDay"));
    m_dialog->setWindowTitle(QStringLiteral("Needful Knowledge"));
    m_dialog->setModal(false);
    m_dialog->resize(440, 200);

    auto *layout = new QVBoxLayout(m_dialog);
    auto *body = new QHBoxLayout;
    layout->addLayout(body, 1);
    auto *bulb = new QLabel(m_dialog);
    bulb->setPixmap(QPixmap(QStringLiteral(":/tallyvane/tb_tips.png"))
                        .scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    bulb->setAlignment(Qt::AlignTop);
    bulb->setAccessibleName(QStringLiteral("Tip"));
    body->addWidget(bulb);
    auto *text = new QVBoxLayout;
    body->addLayout(text, 1);
    auto *heading = new QLabel(QStringLiteral("Did you know..."), m_dialog);
    heading->setFont(tahoma(heading->font(), 13, true));
    text->addWidget(heading);
    m_tipLabel = new QLabel(m_dialog);
    m_tipLabel->setObjectName(QStringLiteral("lblTip"));
    m_tipLabel->setWordWrap(true);
    m_tipLabel->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_tipLabel->setFont(tahoma(m_tipLabel->font(), 10, false));
    m_tipLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->addWidget(m_tipLabel, 1);

    auto *bottom = new QHBoxLayout;
    layout->addLayout(bottom);
    m_showCheck = new QCheckBox(QStringLiteral("&Show tips at startup"), m_dialog);
    m_showCheck->setObjectName(QStringLiteral("chkShowAtStartup"));
    m_showCheck->setFont(tahoma(m_showCheck->font(), m_showCheck->font().pointSizeF(), false));
    m_showCheck->setAccessibleName(QStringLiteral("Show tips at startup"));
    connect(m_showCheck, &QCheckBox::toggled, this, &TipOfTheDay::setShowAtStartup);
    bottom->addWidget(m_showCheck);
    bottom->addStretch(1);
    auto *next = new QPushButton(QStringLiteral("&Next Tip"), m_dialog);
    next->setObjectName(QStringLiteral("cmdNextTip"));
    next->setAccessibleName(QStringLiteral("Next Tip"));
    next->setAutoDefault(false);
    connect(next, &QPushButton::clicked, this, [this] {
        nextTip();
        showCurrent();
    });
    bottom->addWidget(next);
    auto *ok = new QPushButton(QStringLiteral("OK"), m_dialog);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, m_dialog, &QDialog::accept);
    bottom->addWidget(ok);
}

void TipOfTheDay::showCurrent()
{
    m_tipLabel->setText(currentTip());
    // The next run starts with the tip after the one seen last.
    if (!m_tips.isEmpty()) QSettings().setValue(kNextKey, (m_current + 1) % int(m_tips.size()));
}

void TipOfTheDay::Show()
{
    if (!m_dialog) buildDialog();
    m_showCheck->blockSignals(true);
    m_showCheck->setChecked(showAtStartup());
    m_showCheck->blockSignals(false);
    if (m_shown) nextTip();
    m_shown = true;
    showCurrent();
    bringForward(m_dialog);
}

} // namespace tv
