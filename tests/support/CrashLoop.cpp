#include "CrashLoop.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

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
    const QString name = QStringLiteral("crash-loop-check");
    {
        // Opened for writing, as the next program would: a journal left by the kill is rolled back.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_database);
        QSqlQuery q(db);
        if (!db.open()) {
            fail(QStringLiteral("the file does not open: ") + db.lastError().databaseText());
        } else if (!q.exec(QStringLiteral("PRAGMA integrity_check")) || !q.next()) {
            fail(QStringLiteral("the integrity check did not run: ") + q.lastError().databaseText());
        } else if (q.value(0).toString() != QLatin1String("ok")) {
            fail(QStringLiteral("integrity check: ") + q.value(0).toString());
        } else if (!q.exec(QStringLiteral("select ItemNum, ItemCnt from Items order by rowid"))) {
            fail(QStringLiteral("the rows cannot be read: ") + q.lastError().databaseText());
        } else {
            QSet<QString> found;
            qint64 rows = 0;
            while (q.next()) {
                const QString number = q.value(0).toString();
                const qint64 count = q.value(1).toLongLong();
                if (rows++ == 0) {
                    if (count < m_lastEdit)
                        fail(QStringLiteral("the first row's count is %1, acknowledged %2").arg(count).arg(m_lastEdit));
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
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace tv::test
