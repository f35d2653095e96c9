#include "app/TipOfTheDay.h"

#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace tv;

class TestTipOfTheDay : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString writeTips(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("tips.tip"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write tips");
        f.write(content);
        return path;
    }
    static QString shownTip(TipOfTheDay &t)
    {
        return t.dialog()->findChild<QLabel *>(QStringLiteral("lblTip"))->text();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Tallyvane"));
        QCoreApplication::setApplicationName(QStringLiteral("TipTest"));
    }
    void init() { QSettings().clear(); }

    void readsOneTipPerLine()
    {
        TipOfTheDay t(nullptr);
        t.setTipsFile(writeTips("# comment\nFirst tip\n\n  Second tip  \r\nThird tip"));
        QCOMPARE(t.tips(), QStringList({"First tip", "Second tip", "Third tip"}));
        QCOMPARE(t.currentTip(), QStringLiteral("First tip"));
    }

    void showsTipsInTurnAndTheNextRunGoesOn()
    {
        const QString path = writeTips("One\nTwo\nThree\n");
        {
            TipOfTheDay t(nullptr);
            t.setTipsFile(path);
            t.Show();
            QCOMPARE(t.dialog()->windowTitle(), QStringLiteral("Needful Knowledge"));
            QVERIFY(!t.dialog()->isModal());
            QCOMPARE(shownTip(t), QStringLiteral("One"));
            t.dialog()->findChild<QPushButton *>(QStringLiteral("cmdNextTip"))->click();
            QCOMPARE(shownTip(t), QStringLiteral("Two"));
            t.Show();
            QCOMPARE(shownTip(t), QStringLiteral("Three"));
        }
        TipOfTheDay again(nullptr);
        again.setTipsFile(path);
        again.Show();
        QCOMPARE(shownTip(again), QStringLiteral("One")); // wraps round after the last
    }

    void showAtStartupSettingIsKept()
    {
        const QString path = writeTips("One\n");
        TipOfTheDay t(nullptr);
        t.setTipsFile(path);
        QVERIFY(t.showAtStartup()); // on for a new user
        t.Show();
        QCheckBox *box = t.dialog()->findChild<QCheckBox *>(QStringLiteral("chkShowAtStartup"));
        QVERIFY(box->isChecked());
        box->click();
        QVERIFY(!TipOfTheDay(nullptr).showAtStartup());
        box->click();
        QVERIFY(TipOfTheDay(nullptr).showAtStartup());
    }

    void missingFileSaysSo()
    {
        TipOfTheDay t(nullptr);
        t.setTipsFile(m_dir.filePath(QStringLiteral("none.tip")));
        QVERIFY(t.tips().isEmpty());
        t.Show();
        QVERIFY(shownTip(t).contains(QLatin1String("none.tip")));
        t.nextTip(); // nothing to move on to; no failure
    }

    void deliveredTipsFileHasEnoughTips()
    {
        TipOfTheDay t(nullptr);
        t.setTipsFile(QStringLiteral(TALLYVANE_SOURCE_DIR "/data/tips.tip"));
        QVERIFY(t.tips().size() >= 20);
        QCOMPARE(QSet<QString>(t.tips().begin(), t.tips().end()).size(), t.tips().size());
    }
};

QTEST_MAIN(TestTipOfTheDay)
#include "tst_tipoftheday.moc"
