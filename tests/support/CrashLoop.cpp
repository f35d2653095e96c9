#include "CrashLoop.h"

#include "common/AppError.h"
#include "items/SqliteConnection.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <sqlite3.h>

namespace tv::test {

CrashLoop::CrashLoop(const QString &writer, const QString &database, quint32 seed)
    : m_writer(writer), m_database(database), m_random(seed)
{
}

void CrashLoop::fail(const QString &what)
{
    m_failures << QStringLiteral("after kill %1: %2").arg(m_kills).arg(what);
}

void CrashLoop::killOnce(int maxDelayUs)
{
    QProcess writer;
    writer.setProgram(m_writer);
    // Item numbers of every run apart, so that each acknowledged row is known by its number.
    writer.setArguments({QStringLiteral("save"), m_database, QString::number((m_kills + 1) * 1000000LL)});
    writer.start();
    if (!writer.waitForStarted(10000)) {
        fail(QStringLiteral("the writer did not start: ") + writer.errorString());
        return;
    }
    QByteArray out;
    const QDeadlineTimer deadline(30000);
    while (!out.contains('\n') && writer.state() == QProcess::Running && !deadline.hasExpired()) {
        writer.waitForReadyRead(100);
        out += writer.readAllStandardOutput();
    }
    if (writer.state() == QProcess::Running)
        QThread::usleep(m_random.bounded(static_cast<quint32>(maxDelayUs) + 1));
    writer.kill(); // SIGKILL
    writer.waitForFinished(10000);
    out += writer.readAllStandardOutput();
    ++m_kills;
    if (writer.exitStatus() != QProcess::CrashExit)
        fail(QStringLiteral("the writer ended by itself: ") +
             QString::fromLocal8Bit(out + writer.readAllStandardError()).trimmed());

    // A line cut short by the kill acknowledges nothing.
    const QList<QByteArray> lines = out.left(out.lastIndexOf('\n') + 1).split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("added ")) {
            m_added.insert(QString::fromLatin1(line.mid(6)));
            ++m_acknowledged;
        } else if (line.startsWith("edited ")) {
            m_lastEdit = line.mid(7).toLongLong();
            ++m_acknowledged;
        } else if (!line.isEmpty()) {
            fail(QString::fromLocal8Bit(line));
        }
    }
    check();
}

void CrashLoop::check()
{
    try {
        // Opened for writing, as the next program would: a journal left by the kill is rolled back.
        SqliteConnection db(m_database, SqliteConnection::Access::Unchecked);
        {
            SqliteStatement integrity(db, "PRAGMA integrity_check");
            if (!integrity.step()) return fail(QStringLiteral("the integrity check did not run"));
            const QString verdict =
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(integrity.get(), 0)));
            if (verdict != QLatin1String("ok")) return fail(QStringLiteral("integrity check: ") + verdict);
        }
        SqliteStatement q(db, "select ItemNum, ItemCnt from Items order by rowid");
        QSet<QString> found;
        qint64 rows = 0;
        while (q.step()) {
            const QString number =
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(q.get(), 0)));
            const qint64 count = sqlite3_column_int64(q.get(), 1);
            if (rows++ == 0) {
                if (count < m_lastEdit)
                    fail(QStringLiteral("the first row's count is %1, acknowledged %2")
                             .arg(count)
                             .arg(m_lastEdit));
                continue;
            }
            if (found.contains(number)) fail(QStringLiteral("%1 is in the file twice").arg(number));
            if (number != QStringLiteral("W%1").arg(count))
                fail(QStringLiteral("row %1 holds the count %2").arg(number).arg(count));
            found.insert(number);
        }
        m_rows = rows;
        QStringList missing;
        for (const QString &number : std::as_const(m_added))
            if (!found.contains(number)) missing << number;
        if (!missing.isEmpty()) {
            missing.sort();
            fail(QStringLiteral("%1 acknowledged rows are missing, first %2")
                     .arg(missing.size())
                     .arg(missing.first()));
        }
    } catch (const AppError &e) {
        fail(QStringLiteral("the file cannot be read: ") + e.description());
    }
}

} // namespace tv::test
