#pragma once

#include <QByteArray>
#include <algorithm>

namespace tv::test {

// A stand-in Ketbook: a script that notes in ran.txt beside itself that it ran, padded with
// comment lines to the wanted size so that downloads of any length can carry one.
inline QByteArray standInProgram(const QByteArray &who, int size = 0)
{
    QByteArray s = "#!/bin/sh\necho " + who + " >> \"$(dirname \"$0\")/ran.txt\"\nexit 0\n";
    while (s.size() < size) {
        const qsizetype room = size - s.size();
        s += room < 3 ? QByteArray(room, '\n')
                      : "# " + QByteArray(std::min<qsizetype>(60, room - 3), 'x') + "\n";
    }
    return s;
}

} // namespace tv::test
