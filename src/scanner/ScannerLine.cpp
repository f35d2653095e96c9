#include "ScannerLine.h"

namespace tv {

namespace {
// Control characters are line noise, never part of an item number: a NUL would cut the stored
// text short for every other program that reads it.
QString withoutControls(QStringView code)
{
    QString kept;
    kept.reserve(code.size());
    for (const QChar c : code)
        if (c.category() != QChar::Other_Control) kept.append(c);
    return kept;
}
} // namespace

QStringList ScannerLine::feed(QByteArrayView bytes)
{
    QStringList codes;
    m_lastInput = QString::fromLatin1(bytes);
    for (const QChar c : std::as_const(m_lastInput)) {
        m_buffer.append(c);
        const qsizetype n = m_buffer.size();
        if (c == QLatin1Char('\n') && n >= 2 && m_buffer.at(n - 2) == QLatin1Char('\r')) {
            codes.append(withoutControls(QStringView(m_buffer).left(n - 2)));
            m_buffer.clear();
        } else if (n >= 2 * kMaxBuffer) {
            // Trimming in big steps keeps a long flood linear.
            keepTail(kMaxBuffer);
        }
    }
    keepTail(kMaxBuffer);
    return codes;
}

void ScannerLine::keepTail(qsizetype size)
{
    if (m_buffer.size() > size) m_buffer.remove(0, m_buffer.size() - size);
}

} // namespace tv
