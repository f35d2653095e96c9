#include "app/SplashScreen.h"
#include "common/Version.h"
#include "mainwindow/MainWindow.h"
#include "updatecheck/ReleaseKey.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(tv::appTitle());
    QApplication::setApplicationName(QStringLiteral("Ketbook"));
    QApplication::setApplicationVersion(tv::versionText());
    tv::setReleaseKey(tv::updatePublicKeyPem());
    std::unique_ptr<tv::MainWindow> mainWindow;
    auto *splash = new tv::SplashScreen([&mainWindow] {
        mainWindow = tv::makeMainWindow();
        mainWindow->show();
    });
    splash->show();
    return app.exec();
}
