#include "shell/Language.h"
#include "shell/TavixApp.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavix"));
    QApplication::setOrganizationName(QStringLiteral("marketdesk2603"));
    if (!InstallChineseLanguage(app))
        std::fprintf(stderr, "Tavix: Qt's Chinese translations were not found; some standard texts stay English\n");
    // The installed desktop entry's name, so a desktop shows its icon and name for our windows.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvex.Tavix"));
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/org.quorvex.Tavix.png").arg(side));
    QApplication::setWindowIcon(icon);

    CTavixApp client;
    QString error;
    if (!client.ParseArguments(QApplication::arguments(), &error)) {
        std::fprintf(stderr, "Tavix: %s\n", qPrintable(error));
        return 2;
    }
    CTavixApp::ApplyLook();
    return client.Run();
}
