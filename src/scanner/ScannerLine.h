#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace tv {

// The scanner's line protocol: characters arrive in any grouping and are kept in the receive
// buffer until a carriage return and line feed end a code; the pair is not part of the code, and
// control characters (NUL, a lone CR, C1 codes) are dropped from it.
class ScannerLine
{
public:
    // A line that never ends keeps only its latest characters, so noise cannot grow memory.
    static constexpr qsizetype kMaxBuffer = 64 * 1024;

    // Takes the characters of one read from the port; returns the codes they completed, oldest
    // first. Bytes map one to one onto characters (Latin-1), so a read may split anywhere.
    QStringList feed(QByteArrayView bytes);

    // The characters returned by the most recent read.
    const QString &lastInput() const { return m_lastInput; }
    // The characters received since the last complete code.
    const QString &buffer() const { return m_buffer; }

private:
    void keepTail(qsizetype size);

    QString m_lastInput;
    QString m_buffer;
};

} // namespace tv
