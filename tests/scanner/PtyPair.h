#pragma once

#include <QByteArray>
#include <QString>

namespace tv::test {

// A pseudo-terminal pair standing in for a scanner: the program opens the slave's path as its
// serial port, the test plays the scanner on the master side.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    const QString &slavePath() const { return m_slavePath; }
    int slaveFd() const { return m_slave; }

    // What the scanner sends.
    bool send(const QByteArray &bytes) const;
    // Whatever the program wrote to the scanner and is waiting on the master side.
    QByteArray pendingFromProgram() const;
    // The scanner goes away.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

} // namespace tv::test
