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
    std::unique_ptr<tv::frmMain> mainWindow;
    auto *splash = new tv::frmSplash([&mainWindow] {
        mainWindow = tv::makeMainWindow();
        mainWindow->show();
    });
    splash->show();
    return app.exec();
}
