#pragma once

#include <QRandomGenerator>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tv::test {

// Kills a program that keeps saving items (item_writer save) with SIGKILL at random points, and
// after every kill checks the file as the next program to open it would find it.
class CrashLoop
{
public:
    // writer: the item_writer program; database: an item database holding one row, which the
    // writer edits now and then.
    CrashLoop(const QString &writer, const QString &database, quint32 seed);

    // One start, a kill after the first save plus up to maxDelayUs microseconds, one check.
    void killOnce(int maxDelayUs);

    int kills() const { return m_kills; }
    qint64 acknowledged() const { return m_acknowledged; }
    qint64 rows() const { return m_rows; }
    // What was wrong, one line each; empty while everything held.
    const QStringList &failures() const { return m_failures; }

private:
    void check();
    void fail(const QString &what);

    QString m_writer;
    QString m_database;
    QRandomGenerator m_random;
    int m_kills = 0;
    qint64 m_acknowledged = 0;
    qint64 m_rows = 0;
    qint64 m_lastEdit = 0; // the first row's count as last acknowledged
    QSet<QString> m_added; // item numbers of acknowledged new rows
    QStringList m_failures;
};

} // namespace tv::test
