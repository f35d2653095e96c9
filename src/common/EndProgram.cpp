#include "EndProgram.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>

namespace tv {

namespace {
std::function<void()> &handler()
{
    static std::function<void()> h;
    return h;
}
bool g_ending = false;
} // namespace

void endProgramNow()
{
    g_ending = true;
    if (handler()) {
        handler()();
        return;
    }
    // Leave the event loop; main() returns without closing windows one by one.
    QCoreApplication::exit(0);
}

void setEndProgramHandler(std::function<void()> h)
{
    handler() = std::move(h);
    g_ending = false;
}

bool programEnding()
{
    return g_ending;
}

} // namespace tv
