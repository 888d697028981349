#include "updater/AppIcon.h"
#include "updater/CommandLine.h"
#include "updater/UpdateDlg.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
    // The argument text is taken before Qt removes the options it knows.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QApplication app(argc, argv);
    QApplication::setWindowIcon(UpdaterIcon());

    CUpdateDlg dialog(UrlFromArguments(arguments));
    dialog.StartDownload();
    dialog.exec();
    return 0;
}
