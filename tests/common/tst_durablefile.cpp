#include "common/AppError.h"
#include "common/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tv;

namespace {

// What reached the disk, in order: "rename" for a rename, "sync folder <inode>" for an fsync of
// a folder, "sync file" for any other fsync. Recorded only while a case asks for it.
QStringList g_calls;
bool g_recording = false;

} // namespace

// Stand-ins for the C library's own, which they call: this program's calls, those of the library
// under test included, come here first.
extern "C" int fsync(int fd)
{
    using Fn = int (*)(int);
    static const auto real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "fsync"));
    if (g_recording) {
        struct stat st
        {
        };
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
            g_calls << QStringLiteral("sync folder %1").arg(st.st_ino);
        else
            g_calls << QStringLiteral("sync file");
    }
    return real(fd);
}

extern "C" int rename(const char *from, const char *to)
{
    using Fn = int (*)(const char *, const char *);
    static const auto real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "rename"));
    const int r = real(from, to);
    if (g_recording && r == 0) g_calls << QStringLiteral("rename");
    return r;
}

class TestDurableFile : public QObject
{
    Q_OBJECT
private slots:
    // A replacement survives a power cut only once the folder holding the new name is on disk too:
    // the file is synced, renamed, then its folder synced, whether it is new or replaces one.
    void commitPutsTheRenameOnDisk_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("earlier");
        QTest::newRow("new file") << "report.pdf" << false;
        QTest::newRow("replacing a file") << "report.pdf" << true;
        QTest::newRow("in a subfolder") << "sub/items.csv" << true;
    }
    void commitPutsTheRenameOnDisk()
    {
        QFETCH(QString, target);
        QFETCH(bool, earlier);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(target);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        if (earlier) {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("earlier");
        }
        struct stat folder
        {
        };
        QVERIFY(::stat(QFile::encodeName(QFileInfo(path).path()).constData(), &folder) == 0);

        g_calls.clear();
        g_recording = true;
        {
            DurableFile file(path, QStringLiteral("Could not write"));
            file.writeAll("new contents");
            file.commit();
        }
        g_recording = false;

        QCOMPARE(g_calls, (QStringList{QStringLiteral("sync file"), QStringLiteral("rename"),
                                       QStringLiteral("sync folder %1").arg(folder.st_ino)}));
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("new contents"));
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QFileInfo(path).fileName()});
    }
};

QTEST_GUILESS_MAIN(TestDurableFile)
#include "tst_durablefile.moc"
