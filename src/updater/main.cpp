#include "SingleInstance.h"
#include "updater/UpdaterWindow.h"

#include "common/ProgramFolder.h"
#include "updatecheck/ReleaseKey.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    tv::setReleaseKey(tv::updatePublicKeyPem());
    const auto instance = tv::claimUpdaterInstance(tv::programFolder());
    if (!instance) return 0; // another updater is at work
    tv::UpdaterWindow form;
    form.load();
    return app.exec();
}
