// make_inventory_db <file> <items> [distinct vendors]: writes a realistic test database.
#include "BenchDb.h"
#include "common/AppError.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: make_inventory_db <file> <items> [distinct vendors]\n");
        return 2;
    }
    try {
        tv::bench::generateInventory(args[1], args[2].toInt(), args.size() > 3 ? args[3].toInt() : 1000);
    } catch (const tv::AppError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
