#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QCheckBox;

class QLabel;
class QWidget;

namespace tv {

// The tip of the day: reads its tips file (one tip per line; blank lines and lines starting
// with '#' are passed over), shows them one at a time in a small window "Needful Knowledge",
// and keeps its show-at-start-up setting and the next tip's number in QSettings.
class TipOfTheDay : public QObject
{
    Q_OBJECT
public:
    explicit TipOfTheDay(QWidget *owner);
    ~TipOfTheDay() override;

    void setTipsFile(const QString &path);
    const QString &tipsFile() const { return m_file; }
    const QStringList &tips() const { return m_tips; }

    bool showAtStartup() const;
    void setShowAtStartup(bool on);

    // The tip shown now, and moving on to the next one.
    QString currentTip() const;
    void nextTip();

    // Shows the tip window, not modal, with the next tip each time; the next run goes on
    // after the tip seen last.
    void Show();
    QDialog *dialog() const { return m_dialog; }

private:
    void buildDialog();
    void showCurrent();

    QWidget *m_owner;
    QString m_file;
    QStringList m_tips;
    int m_current = 0;
    bool m_shown = false;
    QPointer<QDialog> m_dialog;
    QLabel *m_tipLabel = nullptr;
    QCheckBox *m_showCheck = nullptr;
};

} // namespace tv
