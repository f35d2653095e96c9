#include "CrashLoop.h"
#include "TestFolder.h"

#include <QtTest>

using namespace tv;
using tv::test::CrashLoop;
using tv::test::makeRow;
using tv::test::TestFolder;

// A program killed in the middle of its saves leaves a sound file that holds every save it
// reported as done.
class TestCrashConsistency : public QObject
{
    Q_OBJECT
private slots:
    void killedWriterLosesNoAcknowledgedSave()
    {
        TestFolder folder;
        folder.addRows({makeRow("First", "FIRST", 0)});
        const quint32 seed = QRandomGenerator::global()->generate();
        CrashLoop loop(QStringLiteral(ITEM_WRITER), folder.databasePath(), seed);
        for (int i = 0; i < 30; ++i)
            loop.killOnce(60000);
        QVERIFY2(loop.failures().isEmpty(), qPrintable(QStringLiteral("seed %1: ").arg(seed) +
                                                       loop.failures().join(QStringLiteral("; "))));
        QCOMPARE(loop.kills(), 30);
        // Every run got at least its first save done, and the file holds them all.
        QVERIFY(loop.acknowledged() >= 30);
        QVERIFY(loop.rows() > loop.kills());
    }
};

QTEST_MAIN(TestCrashConsistency)
#include "tst_crashconsistency.moc"
