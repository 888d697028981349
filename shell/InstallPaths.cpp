#include "shell/InstallPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

// Permission bits say little for root or on a read-only mount: only creating a file
// tells whether the folder takes one.
bool AcceptsNewFile(const QString& dir) {
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".client-ini-probe-XXXXXX")));
    return probe.open();
}

QString UpdaterName() {
#ifdef Q_OS_WIN
    return QStringLiteral("update.exe");
#else
    return QStringLiteral("update");
#endif
}

} // namespace

IniLocation ChooseIniLocation(const QString& programDir, const QString& configHome) {
    if (AcceptsNewFile(programDir))
        return {QDir(programDir).filePath(QStringLiteral("client.ini")), {}};

    IniLocation location;
    if (configHome.isEmpty()) {
        location.path = QDir(programDir).filePath(QStringLiteral("client.ini"));
        location.problem = QStringLiteral("%1 is not writable and no configuration folder is known (HOME unset)")
                               .arg(QDir::toNativeSeparators(programDir));
        return location;
    }
    const QString folder = QDir(configHome).filePath(QStringLiteral("Tavix"));
    location.path = QDir(folder).filePath(QStringLiteral("client.ini"));
    if (!QDir().mkpath(folder)) {
        location.problem = QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(folder));
    } else if (!AcceptsNewFile(folder)) {
        location.problem = QStringLiteral("%1 is not writable").arg(QDir::toNativeSeparators(folder));
    }
    return location;
}

IniLocation ClientIniLocation() {
    // GenericConfigLocation follows the XDG rules: an unset or relative XDG_CONFIG_HOME
    // means ~/.config.
    return ChooseIniLocation(QCoreApplication::applicationDirPath(),
                             QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

QString FindUpdater(const QString& programDir) {
    const QString beside = QDir(programDir).filePath(UpdaterName());
    const QFileInfo info(beside);
    if (info.isFile() && info.isExecutable())
        return beside;
    const QString onPath = QStandardPaths::findExecutable(UpdaterName());
    return onPath.isEmpty() ? beside : onPath;
}
