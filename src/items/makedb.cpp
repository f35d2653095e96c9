// Build helper: creates an empty Tallyvane database at the given path, unless a file is there
// already. A rebuild therefore never touches the data in the program folder.
#include "Database.h"
#include "common/AppError.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tallyvane-makedb <database file>\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (QFileInfo::exists(path)) return 0;
    try {
        tv::createEmptyDatabase(path);
    } catch (const tv::AppError &e) {
        std::fprintf(stderr, "tallyvane-makedb: %s: %s\n", argv[1],
                     e.description().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
