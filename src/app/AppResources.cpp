#include "app/AppResources.h"

#include <QtGlobal>

// Resources of a static library are only linked in when something refers to them.
static void initAboutScaleResources()
{
    Q_INIT_RESOURCE(aboutscale);
    Q_INIT_RESOURCE(app);
}

namespace tv {

void initAppResources()
{
    static const bool done = [] {
        initAboutScaleResources();
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace tv
