#include "ScannerLine.h"

namespace tv {

QStringList ScannerLine::feed(QByteArrayView bytes)
{
    QStringList codes;
    m_lastInput = QString::fromLatin1(bytes);
    for (const QChar c : std::as_const(m_lastInput)) {
        m_buffer.append(c);
        const qsizetype n = m_buffer.size();
        if (c == QLatin1Char('\n') && n >= 2 && m_buffer.at(n - 2) == QLatin1Char('\r')) {
            codes.append(m_buffer.left(n - 2));
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
