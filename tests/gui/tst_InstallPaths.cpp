#include "core/IniFile.h"
#include "shell/InstallPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

// /proc takes no new file even for root, unlike a folder with its write bits cleared.
const QString kRefusingFolder = QStringLiteral("/proc");

bool MakeProgram(const QString& path, bool executable) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("#!/bin/sh\n");
    file.close();
    QFile::Permissions bits = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        bits |= QFile::ExeOwner | QFile::ExeUser;
    return file.setPermissions(bits);
}

} // namespace

class TestInstallPaths final : public QObject {
    Q_OBJECT

private slots:
    void portableCopyKeepsItsIniBesideTheProgram() {
        QTemporaryDir program, config;
        const IniLocation at = ChooseIniLocation(program.path(), config.path());
        QCOMPARE(at.path, program.filePath(QStringLiteral("client.ini")));
        QVERIFY(at.problem.isEmpty());
        // Neither the probe nor a configuration folder is left behind.
        QCOMPARE(QDir(program.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 0);
        QVERIFY(!QFileInfo::exists(config.filePath(QStringLiteral("Tavix"))));
    }

    void readOnlyProgramFolderUsesTheConfigurationFolder() {
        QTemporaryDir config;
        const QString home = config.filePath(QStringLiteral("not/yet/there"));
        const IniLocation at = ChooseIniLocation(kRefusingFolder, home);
        QCOMPARE(at.path, home + QStringLiteral("/Tavix/client.ini"));
        QVERIFY2(at.problem.isEmpty(), qPrintable(at.problem));
        // The folder was made, so the first saved name is kept.
        const CIniFile ini(at.path.toStdString());
        QVERIFY(ini.Write("loginfo", "lastuser", "bob"));
        QCOMPARE(CIniFile(at.path.toStdString()).Read("loginfo", "lastuser"), std::string("bob"));
    }

    void noUsablePlaceIsReported() {
        QTemporaryDir config;
        const QString file = config.filePath(QStringLiteral("plain-file"));
        QFile block(file);
        QVERIFY(block.open(QIODevice::WriteOnly));
        block.close();
        // A configuration folder that cannot be created (a file stands in its way).
        IniLocation at = ChooseIniLocation(kRefusingFolder, file);
        QCOMPARE(at.path, file + QStringLiteral("/Tavix/client.ini"));
        QVERIFY(at.problem.contains(file + QStringLiteral("/Tavix")));

        // No configuration folder at all (no HOME): the reason names the program folder.
        at = ChooseIniLocation(kRefusingFolder, QString());
        QVERIFY(at.problem.contains(kRefusingFolder));
    }

    void updaterBesideTheClientComesBeforePath() {
        QTemporaryDir program, pathDir;
        const QString onPath = pathDir.filePath(QStringLiteral("update"));
        QVERIFY(MakeProgram(onPath, true));
        const QByteArray savedPath = qgetenv("PATH");
        qputenv("PATH", pathDir.path().toLocal8Bit());

        const QString beside = program.filePath(QStringLiteral("update"));
        // Nothing beside: the one on PATH.
        QCOMPARE(FindUpdater(program.path()), onPath);
        // A file beside that cannot run is not a program.
        QVERIFY(MakeProgram(beside, false));
        QCOMPARE(FindUpdater(program.path()), onPath);
        // A program beside wins.
        QVERIFY(QFile::setPermissions(beside, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(FindUpdater(program.path()), beside);
        // Neither: the place beside, so the failed start names it.
        QVERIFY(QFile::remove(beside));
        qputenv("PATH", QByteArray("/nonexistent"));
        QCOMPARE(FindUpdater(program.path()), beside);
        qputenv("PATH", savedPath);
    }
};

QTEST_MAIN(TestInstallPaths)
#include "tst_InstallPaths.moc"
