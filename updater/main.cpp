#include "updater/AppIcon.h"
#include "updater/CommandLine.h"
#include "updater/UpdateDlg.h"

#include <QApplication>
#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// The download URL as the process received it, read before Qt removes the options it knows.
QString UrlOfThisProcess([[maybe_unused]] int argc, [[maybe_unused]] char* argv[]) {
#ifdef Q_OS_WIN
    return UrlFromCommandLine(QString::fromWCharArray(GetCommandLineW()));
#else
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return UrlFromArguments(arguments);
#endif
}

} // namespace

int main(int argc, char* argv[]) {
    const QString url = UrlOfThisProcess(argc, argv);
    QApplication app(argc, argv);
    QApplication::setWindowIcon(UpdaterIcon());

    CUpdateDlg dialog(url);
    dialog.StartDownload();
    dialog.exec();
    return 0;
}
