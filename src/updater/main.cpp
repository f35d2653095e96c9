#include "Form1.h"
#include "SingleInstance.h"

#include "common/ProgramFolder.h"
#include "update/ReleaseKey.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    tv::setReleaseKey(tv::updatePublicKeyPem());
    const auto instance = tv::claimUpdaterInstance(tv::programFolder());
    if (!instance) return 0; // another updater is at work
    tv::Form1 form;
    form.Form_Load();
    return app.exec();
}
