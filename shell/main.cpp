#include "shell/TavixApp.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavix"));
    QApplication::setOrganizationName(QStringLiteral("marketdesk2603"));

    CTavixApp client;
    QString error;
    if (!client.ParseArguments(QApplication::arguments(), &error)) {
        std::fprintf(stderr, "Tavix: %s\n", qPrintable(error));
        return 2;
    }
    CTavixApp::ApplyLook();
    return client.Run();
}
