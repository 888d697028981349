#include "updater/CommandLine.h"
#include "updater/DownloadFigures.h"
#include "updater/FileName.h"

#include <QTest>

using namespace Qt::StringLiterals;

class UpdaterRulesTest final : public QObject {
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void arguments_data();
    void arguments();
    void contentDisposition_data();
    void contentDisposition();
    void plainFileName_data();
    void plainFileName();
    void chooseFileName_data();
    void chooseFileName();
    void figures_data();
    void figures();
};

void UpdaterRulesTest::commandLine_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("url");
    QTest::newRow("name and url") << u"update.exe http://h/f.zip"_s << u"http://h/f.zip"_s;
    QTest::newRow("blanks after the name skipped, rest whole")
        << u"update.exe \t  http://h/f?a=1 b "_s << u"http://h/f?a=1 b "_s;
    QTest::newRow("quoted name with blanks") << u"\"C:\\My Apps\\update.exe\" http://h/f"_s << u"http://h/f"_s;
    QTest::newRow("quoted name without a blank") << u"\"update.exe\"http://h/f"_s << u"http://h/f"_s;
    QTest::newRow("url alone is the program name") << u"http://h/f.zip"_s << QString();
    QTest::newRow("name only") << u"update.exe"_s << QString();
    QTest::newRow("name and blanks") << u"update.exe   "_s << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("unclosed quote") << u"\"update.exe http://h/f"_s << QString();
}

void UpdaterRulesTest::commandLine() {
    QFETCH(QString, commandLine);
    QFETCH(QString, url);
    QCOMPARE(UrlFromCommandLine(commandLine), url);
}

void UpdaterRulesTest::arguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("url");
    QTest::newRow("no arguments") << QStringList{u"update"_s} << QString();
    QTest::newRow("empty vector") << QStringList{} << QString();
    QTest::newRow("one url") << QStringList{u"update"_s, u"http://h/f"_s} << u"http://h/f"_s;
    QTest::newRow("split url joined with single blanks")
        << QStringList{u"update"_s, u"http://h/a"_s, u"b"_s} << u"http://h/a b"_s;
}

void UpdaterRulesTest::arguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, url);
    QCOMPARE(UrlFromArguments(arguments), url);
}

void UpdaterRulesTest::contentDisposition_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("name");
    QTest::newRow("quoted") << QByteArray("attachment; filename=\"Tavix 2.zip\"") << u"Tavix 2.zip"_s;
    QTest::newRow("token") << QByteArray("attachment;filename=Tavix.zip") << u"Tavix.zip"_s;
    QTest::newRow("case of the parameter") << QByteArray("attachment; FileName=a.bin") << u"a.bin"_s;
    QTest::newRow("semicolon and escaped quote inside quotes")
        << QByteArray(R"(attachment; filename="a;\"b\".bin"; size=3)") << u"a;\"b\".bin"_s;
    QTest::newRow("extended value wins")
        << QByteArray("attachment; filename=\"fallback.exe\"; filename*=UTF-8''%E6%9B%B4%E6%96%B0.exe")
        << u"更新.exe"_s;
    QTest::newRow("raw UTF-8") << QByteArray("attachment; filename=\"\xE6\x9B\xB4.exe\"") << u"更.exe"_s;
    QTest::newRow("raw GBK") << QByteArray("attachment; filename=\"\xB8\xFC\xD0\xC2.exe\"") << u"更新.exe"_s;
    QTest::newRow("bad extended value falls back")
        << QByteArray("attachment; filename*=KOI8-R''x.exe; filename=y.exe") << u"y.exe"_s;
    QTest::newRow("no name") << QByteArray("inline") << QString();
    QTest::newRow("empty header") << QByteArray() << QString();
}

void UpdaterRulesTest::contentDisposition() {
    QFETCH(QByteArray, header);
    QFETCH(QString, name);
    QCOMPARE(ContentDispositionFileName(header), name);
}

void UpdaterRulesTest::plainFileName_data() {
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << u"Tavix.zip"_s << u"Tavix.zip"_s;
    QTest::newRow("relative path") << u"../../etc/passwd"_s << u"passwd"_s;
    QTest::newRow("absolute path") << u"/tmp/x.bin"_s << u"x.bin"_s;
    QTest::newRow("backslashes") << u"..\\..\\x.exe"_s << u"x.exe"_s;
    QTest::newRow("dot dot") << u".."_s << QString();
    QTest::newRow("dot") << u"."_s << QString();
    QTest::newRow("dots only") << u"...."_s << QString();
    QTest::newRow("leading dots") << u"..bashrc"_s << u"bashrc"_s;
    QTest::newRow("directory only") << u"dir/"_s << QString();
    QTest::newRow("control characters") << u"a\u0001b\nc\u007f.bin"_s << u"abc.bin"_s;
    QTest::newRow("control character hiding a separator") << u"..\u0000/x"_s << u"x"_s;
    QTest::newRow("surrounding blanks") << u"  name.bin  "_s << u"name.bin"_s;
    QTest::newRow("blank then dot") << u" .profile"_s << u"profile"_s;
    QTest::newRow("dots and blanks in turn") << u". . .profile"_s << u"profile"_s;
    QTest::newRow("dot, hidden control characters, blank, dot") << u".\u0000\u0000 .e"_s << u"e"_s;
    QTest::newRow("long latin name cut to 255 bytes") << QString(300, u'a') << QString(255, u'a');
    QTest::newRow("long Chinese name cut at a character") << QString(100, u'更') << QString(85, u'更');
    QTest::newRow("long name cut just after a blank") << QString(254, u'a') + u" bbbb"_s << QString(254, u'a');
    QTest::newRow("long Chinese name cut just after a blank") << QString(84, u'更') + u" 更更"_s << QString(84, u'更');
    QTest::newRow("empty") << QString() << QString();
}

void UpdaterRulesTest::plainFileName() {
    QFETCH(QString, proposed);
    QFETCH(QString, name);
    QCOMPARE(PlainFileName(proposed), name);
}

void UpdaterRulesTest::chooseFileName_data() {
    QTest::addColumn<QByteArray>("disposition");
    QTest::addColumn<QUrl>("finalUrl");
    QTest::addColumn<QUrl>("requestedUrl");
    QTest::addColumn<QString>("name");
    const QUrl requested(u"http://h/get?id=3"_s);
    QTest::newRow("server's name first") << QByteArray("attachment; filename=\"../new.zip\"")
                                         << QUrl(u"http://h/files/x.zip"_s) << requested << u"new.zip"_s;
    QTest::newRow("unusable server name: final URL")
        << QByteArray("attachment; filename=\"..\"") << QUrl(u"http://h/files/x.zip"_s) << requested << u"x.zip"_s;
    QTest::newRow("decoded URL segment") << QByteArray() << QUrl(u"http://h/%E6%9B%B4%20a.zip"_s) << requested
                                         << u"更 a.zip"_s;
    QTest::newRow("encoded dots in the URL")
        << QByteArray() << QUrl(u"http://h/a/%2E%2E"_s) << QUrl(u"http://h/b/real.zip"_s) << u"real.zip"_s;
    QTest::newRow("final URL a directory: requested URL")
        << QByteArray() << QUrl(u"http://h/files/"_s) << QUrl(u"http://h/pkg.zip"_s) << u"pkg.zip"_s;
    QTest::newRow("nothing usable") << QByteArray("inline") << QUrl(u"http://h/"_s) << QUrl(u"http://h"_s)
                                    << u"update.bin"_s;
}

void UpdaterRulesTest::chooseFileName() {
    QFETCH(QByteArray, disposition);
    QFETCH(QUrl, finalUrl);
    QFETCH(QUrl, requestedUrl);
    QFETCH(QString, name);
    QCOMPARE(ChooseFileName(disposition, finalUrl, requestedUrl), name);
}

void UpdaterRulesTest::figures_data() {
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QStringList>("texts"); // size, received, speed, percent
    QTest::addColumn<int>("progressMaximum");
    QTest::addColumn<int>("progressValue");
    QTest::newRow("3000 bytes done") << qint64(3000) << qint64(3000) << qint64(0)
                                     << QStringList{u"2KB"_s, u"2KB"_s, u"0KB/秒"_s, u"100%"_s} << 3000 << 3000;
    QTest::newRow("first read") << qint64(3000) << qint64(512) << qint64(999)
                                << QStringList{u"2KB"_s, u"0KB"_s, u"0KB/秒"_s, u"17%"_s} << 3000 << 512;
    QTest::newRow("speed over whole seconds")
        << qint64(100 << 20) << qint64(10 << 20) << qint64(3999)
        << QStringList{u"102400KB"_s, u"10240KB"_s, u"3413KB/秒"_s, u"10%"_s} << (100 << 20) << (10 << 20);
    QTest::newRow("size zero") << qint64(0) << qint64(5000) << qint64(2000)
                               << QStringList{u"0KB"_s, u"4KB"_s, u"2KB/秒"_s, u"0%"_s} << 0 << 0;
    QTest::newRow("size unknown") << qint64(-1) << qint64(2048) << qint64(1000)
                                  << QStringList{u"0KB"_s, u"2KB"_s, u"2KB/秒"_s, u"0%"_s} << 0 << 0;
    QTest::newRow("beyond 2 GB: no overflow, bar scaled")
        << qint64(3) * 1024 * 1024 * 1024 << qint64(3) * 1024 * 1024 * 1024 - 1 << qint64(60000)
        << QStringList{u"3145728KB"_s, u"3145727KB"_s, u"52428KB/秒"_s, u"99%"_s} << (3 << 29) << (3 << 29) - 1;
}

void UpdaterRulesTest::figures() {
    QFETCH(qint64, total);
    QFETCH(qint64, received);
    QFETCH(qint64, elapsedMs);
    QFETCH(QStringList, texts);
    QFETCH(int, progressMaximum);
    QFETCH(int, progressValue);
    const DownloadFigures f = ComputeFigures(total, received, elapsedMs);
    QCOMPARE((QStringList{KilobytesText(f.sizeKilobytes), KilobytesText(f.receivedKilobytes),
                          SpeedText(f.speedKilobytesPerSecond), PercentText(f.percent)}),
             texts);
    QCOMPARE(f.progressMaximum, progressMaximum);
    QCOMPARE(f.progressValue, progressValue);
}

QTEST_GUILESS_MAIN(UpdaterRulesTest)
#include "UpdaterRulesTest.moc"
