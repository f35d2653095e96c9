#include "common/Version.h"
#include "frmMain.h"
#include "frmSplash.h"
#include "update/ReleaseKey.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(tv::appTitle());
    QApplication::setApplicationName(QStringLiteral("Ketbook"));
    QApplication::setApplicationVersion(tv::versionText());
    tv::setReleaseKey(tv::updatePublicKeyPem());
    auto *splash = new tv::frmSplash;
    splash->show();
    const int code = app.exec();
    delete tv::frmMain::instance();
    return code;
}
