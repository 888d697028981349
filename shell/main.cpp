#include "shell/Language.h"
#include "shell/TavixApp.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavix"));
    QApplication::setOrganizationName(QStringLiteral("marketdesk2603"));
    if (!InstallChineseLanguage(app))
        std::fprintf(stderr, "Tavix: Qt's Chinese translations were not found; some standard texts stay English\n");

    CTavixApp client;
    QString error;
    if (!client.ParseArguments(QApplication::arguments(), &error)) {
        std::fprintf(stderr, "Tavix: %s\n", qPrintable(error));
        return 2;
    }
    CTavixApp::ApplyLook();
    return client.Run();
}
