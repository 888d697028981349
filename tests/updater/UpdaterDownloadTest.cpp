#include "tests/support/RefusingPort.h"
#include "tests/updater/TestHttpServer.h"
#include "updater/CommandLine.h"
#include "updater/UpdateDlg.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray Body(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& b : bytes)
        b = static_cast<char>(generator.bounded(256));
    return bytes;
}

QByteArray ReadFile(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList SpyTexts(const QSignalSpy& spy) {
    QStringList texts;
    for (const QList<QVariant>& args : spy)
        texts.append(args.at(0).toString());
    return texts;
}

void UnsetProxyEnvironment() {
    for (const char* name :
         {"http_proxy", "https_proxy", "no_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "NO_PROXY", "ALL_PROXY"})
        qunsetenv(name);
}

} // namespace

class UpdaterDownloadTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void completesTheExampleDownload();
    void keepsThePartialFileWhenTheConnectionIsCut();
    void failsWhenTheServerStalls();
    void failsOnAnHttpErrorStatus_data();
    void failsOnAnHttpErrorStatus();
    void reportsAUrlThatCannotBeOpened_data();
    void reportsAUrlThatCannotBeOpened();
    void doesNotFollowASymbolicLink();
    void namesTheFileFromTheServersAnswer_data();
    void namesTheFileFromTheServersAnswer();
    void completesWithAnUnknownSize();
    void showsTheFiguresDuringADownload();
    void abandonsARunningDownloadWhenClosed();
    void downloadsNothingWithoutAUrl();
    void goesThroughTheProxyOfTheEnvironment();
    void bypassesTheProxyForNoProxyHosts();
    void downloadsOverHttps();
    void refusesAnUntrustedCertificate();
    void opensTheAboutBoxAndClosesOnEnter();

private:
    std::unique_ptr<CUpdateDlg> Start(const QString& url);
    template <typename T>
    T* Control(CUpdateDlg& dialog, const char* id) {
        return dialog.findChild<T*>(QString::fromLatin1(id));
    }
    QString Text(CUpdateDlg& dialog, const char* id) { return Control<QLineEdit>(dialog, id)->text(); }
    QString Status(CUpdateDlg& dialog) { return Control<QLabel>(dialog, "id1007")->text(); }
    QStringList Files() const { return QDir::current().entryList(QDir::Files | QDir::System | QDir::Hidden); }
    void Grab(CUpdateDlg& dialog, const QString& name);

    QTemporaryDir m_root;
    TestHttpServer* m_server = nullptr;
    tavix::test::RefusingPort m_refusing;
};

void UpdaterDownloadTest::initTestCase() {
    QVERIFY(m_root.isValid());
    QVERIFY(QDir(m_root.path()).mkdir(u"work"_s));
    QVERIFY(QDir::setCurrent(m_root.filePath(u"work"_s)));
    // The machine's proxy settings must not send loopback requests elsewhere.
    UnsetProxyEnvironment();
}

void UpdaterDownloadTest::init() {
    for (const QString& name : Files())
        QVERIFY(QDir::current().remove(name));
    m_server = new TestHttpServer(this);
    QVERIFY(m_server->listen());
}

void UpdaterDownloadTest::cleanup() {
    delete m_server;
    m_server = nullptr;
    UnsetProxyEnvironment();
}

std::unique_ptr<CUpdateDlg> UpdaterDownloadTest::Start(const QString& url) {
    auto dialog = std::make_unique<CUpdateDlg>(url);
    dialog->show();
    dialog->StartDownload();
    return dialog;
}

void UpdaterDownloadTest::Grab(CUpdateDlg& dialog, const QString& name) {
    // Screenshots only when asked for; they are looked at by people, not compared.
    const QString dir = qEnvironmentVariable("TAVIX_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        QVERIFY(dialog.grab().save(QDir(dir).filePath(name)));
}

void UpdaterDownloadTest::completesTheExampleDownload() {
    {
        // A longer file of the same name is overwritten from its start.
        QFile old(u"Tavix.bin"_s);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(10000, 'X'));
    }
    const QByteArray body = Body(3000, 1);
    m_server->setResponse(u"/pkg/Tavix.bin"_s, TestHttpServer::Ok(body));
    auto dialog = std::make_unique<CUpdateDlg>(m_server->url(u"/pkg/Tavix.bin"_s).toString());
    QSignalSpy percent(Control<QLineEdit>(*dialog, "id1004"), &QLineEdit::textChanged);
    QSignalSpy progress(Control<QProgressBar>(*dialog, "id1003"), &QProgressBar::valueChanged);
    dialog->StartDownload();

    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kCompleted);
    QCOMPARE(Status(*dialog), u"更新完成！"_s);
    QCOMPARE(Text(*dialog, "id1008"), u"2KB"_s);
    QCOMPARE(Text(*dialog, "id1009"), u"2KB"_s);
    QCOMPARE(Text(*dialog, "id1001"), u"Kb/秒"_s);
    const QStringList percents = SpyTexts(percent);
    QVERIFY2(percents.size() >= 2, qPrintable(percents.join(u' ')));
    QCOMPARE(percents.at(percents.size() - 2), u"100%"_s);
    QCOMPARE(percents.last(), u"0%"_s);
    QCOMPARE(Control<QProgressBar>(*dialog, "id1003")->maximum(), 3000);
    QCOMPARE(Control<QProgressBar>(*dialog, "id1003")->value(), 3000);

    // Every read of at most 512 bytes moves the bar; none is skipped or merged.
    QList<int> positions;
    for (const QList<QVariant>& args : progress) {
        if (args.at(0).toInt() > 0)
            positions.append(args.at(0).toInt());
    }
    QVERIFY(positions.size() >= 6);
    int previous = 0;
    for (int position : positions) {
        QVERIFY(position > previous && position - previous <= 512);
        previous = position;
    }
    QCOMPARE(previous, 3000);
    QCOMPARE(ReadFile(u"Tavix.bin"_s), body);
}

void UpdaterDownloadTest::keepsThePartialFileWhenTheConnectionIsCut() {
    const QByteArray body = Body(3000, 3);
    TestHttpServer::Response response = TestHttpServer::Ok(body);
    response.sendBytes = 1000;
    m_server->setResponse(u"/Tavix.bin"_s, response);
    auto dialog = Start(m_server->url(u"/Tavix.bin"_s).toString());

    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kFailed);
    QVERIFY2(Status(*dialog).startsWith(u"更新失败,"_s), qPrintable(Status(*dialog)));
    QVERIFY(Status(*dialog).size() > u"更新失败,"_s.size());
    QCOMPARE(Text(*dialog, "id1001"), u"Kb/秒"_s);
    QCOMPARE(Text(*dialog, "id1004"), u"0%"_s);
    QCOMPARE(Control<QProgressBar>(*dialog, "id1003")->value(), 1000);
    QCOMPARE(ReadFile(u"Tavix.bin"_s), body.left(1000));
    Grab(*dialog, u"updater-failed.png"_s);
}

void UpdaterDownloadTest::failsWhenTheServerStalls() {
    const QByteArray body = Body(3000, 5);
    TestHttpServer::Response response = TestHttpServer::Ok(body);
    response.sendBytes = 1024;
    response.hold = true;
    m_server->setResponse(u"/Tavix.bin"_s, response);
    auto dialog = std::make_unique<CUpdateDlg>(m_server->url(u"/Tavix.bin"_s).toString());
    dialog->SetStallTimeout(std::chrono::milliseconds(300));
    dialog->StartDownload();

    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kFailed);
    QCOMPARE(Status(*dialog), u"更新失败,下载超时：0.3秒内没有收到数据"_s);
    QCOMPARE(ReadFile(u"Tavix.bin"_s), body.left(1024));
    m_server->releaseHeld();
}

void UpdaterDownloadTest::failsOnAnHttpErrorStatus_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("404") << 404 << QByteArray("Not Found");
    QTest::newRow("500") << 500 << QByteArray("Internal Server Error");
}

void UpdaterDownloadTest::failsOnAnHttpErrorStatus() {
    QFETCH(int, code);
    QFETCH(QByteArray, reason);
    m_server->setResponse(u"/Tavix.bin"_s, TestHttpServer::Status(code, reason, "<html>error page</html>"));
    auto dialog = Start(m_server->url(u"/Tavix.bin"_s).toString());
    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kFailed);
    QCOMPARE(Status(*dialog), u"更新失败,"_s + QString::number(code) + u' ' + QString::fromLatin1(reason));
    QCOMPARE(Files(), QStringList());
    QVERIFY(!dialog->findChild<QMessageBox*>());
}

void UpdaterDownloadTest::reportsAUrlThatCannotBeOpened_data() {
    QTest::addColumn<QString>("url");
    QVERIFY(m_refusing.Port() != 0);
    const QString refused = u"http://127.0.0.1:"_s + QString::number(m_refusing.Port()) + u"/Tavix.bin"_s;
    QTest::newRow("connection refused") << refused;
    QTest::newRow("not a web address") << u"ftp://127.0.0.1/Tavix.bin"_s;
    QTest::newRow("not a URL") << u"::::"_s;
}

void UpdaterDownloadTest::reportsAUrlThatCannotBeOpened() {
    QFETCH(QString, url);
    auto dialog = Start(url);
    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kOpenFailed);
    auto* box = dialog->findChild<QMessageBox*>();
    QVERIFY(box);
    QCOMPARE(box->text(), u"更新失败"_s);
    QCOMPARE(box->windowTitle(), u"通知"_s);
    QCOMPARE(Status(*dialog), url);
    QCOMPARE(Files(), QStringList());
    QTest::keyClick(box, Qt::Key_Enter);
    QTRY_VERIFY(!dialog->findChild<QMessageBox*>());
}

void UpdaterDownloadTest::doesNotFollowASymbolicLink() {
    const QString outside = m_root.filePath(u"outside.txt"_s);
    {
        QFile file(outside);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep");
    }
    QVERIFY(QFile::link(outside, u"Tavix.bin"_s));
    m_server->setResponse(u"/Tavix.bin"_s, TestHttpServer::Ok(Body(600, 5)));
    auto dialog = Start(m_server->url(u"/Tavix.bin"_s).toString());
    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kFailed);
    QVERIFY2(Status(*dialog).startsWith(u"更新失败,Tavix.bin"_s), qPrintable(Status(*dialog)));
    QCOMPARE(ReadFile(outside), QByteArray("keep"));
}

void UpdaterDownloadTest::namesTheFileFromTheServersAnswer_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("Content-Disposition reduced to a plain name") << u"/get"_s << u"evil.txt"_s;
    QTest::newRow("last segment of the redirected URL") << u"/latest"_s << u"Tavix-2.zip"_s;
}

void UpdaterDownloadTest::namesTheFileFromTheServersAnswer() {
    QFETCH(QString, path);
    QFETCH(QString, name);
    const QByteArray body = Body(1500, 6);
    m_server->setResponse(u"/get"_s,
                          TestHttpServer::Ok(body, "Content-Disposition: attachment; filename=\"../../evil.txt\"\r\n"));
    m_server->setResponse(u"/latest"_s, TestHttpServer::Status(302, "Found", {}, "Location: /files/Tavix-2.zip\r\n"));
    m_server->setResponse(u"/files/Tavix-2.zip"_s, TestHttpServer::Ok(body));
    auto dialog = Start(m_server->url(path).toString());
    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kCompleted);
    QCOMPARE(Files(), QStringList{name});
    QCOMPARE(ReadFile(name), body);
    QVERIFY(!QFile::exists(m_root.filePath(name)));
}

void UpdaterDownloadTest::completesWithAnUnknownSize() {
    const QByteArray body = Body(5000, 7);
    m_server->setResponse(u"/Tavix.bin"_s, TestHttpServer::Ok(body, {}, false));
    auto dialog = std::make_unique<CUpdateDlg>(m_server->url(u"/Tavix.bin"_s).toString());
    QSignalSpy percent(Control<QLineEdit>(*dialog, "id1004"), &QLineEdit::textChanged);
    dialog->StartDownload();
    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kCompleted);
    QCOMPARE(SpyTexts(percent), QStringList{u"0%"_s});
    QCOMPARE(Text(*dialog, "id1008"), u"0KB"_s);
    QCOMPARE(Text(*dialog, "id1009"), u"4KB"_s);
    auto* bar = Control<QProgressBar>(*dialog, "id1003");
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(ReadFile(u"Tavix.bin"_s), body);
}

void UpdaterDownloadTest::showsTheFiguresDuringADownload() {
    const QByteArray body = Body(3000, 8);
    TestHttpServer::Response response = TestHttpServer::Ok(body);
    response.sendBytes = 1024;
    response.hold = true;
    m_server->setResponse(u"/Tavix.bin"_s, response);
    auto dialog = Start(m_server->url(u"/Tavix.bin"_s).toString());

    QTRY_COMPARE(Control<QProgressBar>(*dialog, "id1003")->value(), 1024);
    QCOMPARE(dialog->CurrentState(), CUpdateDlg::State::kDownloading);
    QCOMPARE(Status(*dialog), u"正在更新..."_s);
    QCOMPARE(Text(*dialog, "id1008"), u"2KB"_s);
    QCOMPARE(Text(*dialog, "id1009"), u"1KB"_s);
    QCOMPARE(Text(*dialog, "id1004"), u"34%"_s);
    QVERIFY(Text(*dialog, "id1001").endsWith(u"KB/秒"_s));
    Grab(*dialog, u"updater-downloading.png"_s);

    m_server->releaseHeld();
    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kCompleted);
    QCOMPARE(ReadFile(u"Tavix.bin"_s), body);
    Grab(*dialog, u"updater-completed.png"_s);
}

void UpdaterDownloadTest::abandonsARunningDownloadWhenClosed() {
    const QByteArray body = Body(3000, 13);
    TestHttpServer::Response response = TestHttpServer::Ok(body);
    response.sendBytes = 2048;
    response.hold = true;
    m_server->setResponse(u"/Tavix.bin"_s, response);
    auto dialog = Start(m_server->url(u"/Tavix.bin"_s).toString());
    QTRY_COMPARE(Control<QProgressBar>(*dialog, "id1003")->value(), 2048);

    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
    dialog.reset(); // must not wait for the rest of the download
    QCOMPARE(ReadFile(u"Tavix.bin"_s), body.left(2048));
}

void UpdaterDownloadTest::downloadsNothingWithoutAUrl() {
    m_server->setResponse(u"/Tavix.bin"_s, TestHttpServer::Ok(Body(100, 9)));
    const QString url = m_server->url(u"/Tavix.bin"_s).toString();
    // No text after the program name, and a URL standing where the program name belongs.
    for (const QString& commandLine : {u"update.exe"_s, url}) {
        auto dialog = Start(UrlFromCommandLine(commandLine));
        QCOMPARE(dialog->CurrentState(), CUpdateDlg::State::kIdle);
        QCOMPARE(Status(*dialog), QString());
        for (const char* id : {"id1008", "id1009", "id1001", "id1004"})
            QCOMPARE(Text(*dialog, id), QString());
        Grab(*dialog, u"updater-empty.png"_s);
    }
    auto dialog = Start(UrlFromArguments({u"update"_s}));
    QCOMPARE(dialog->CurrentState(), CUpdateDlg::State::kIdle);
    // A real download of the same server proves it would have been seen.
    QCOMPARE(m_server->connectionCount(), 0);
    auto control = Start(url);
    QTRY_COMPARE(control->CurrentState(), CUpdateDlg::State::kCompleted);
    QCOMPARE(m_server->connectionCount(), 1);
}

void UpdaterDownloadTest::goesThroughTheProxyOfTheEnvironment() {
    const QByteArray body = Body(900, 10);
    m_server->setResponse(u"/Tavix.bin"_s, TestHttpServer::Ok(body));
    qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(m_server->port()));
    auto dialog = Start(u"http://updates.quorvex.invalid/Tavix.bin"_s);
    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kCompleted);
    QCOMPARE(m_server->targets(), QStringList{u"http://updates.quorvex.invalid/Tavix.bin"_s});
    QCOMPARE(ReadFile(u"Tavix.bin"_s), body);
}

void UpdaterDownloadTest::bypassesTheProxyForNoProxyHosts() {
    // A proxy there would refuse every connection.
    QVERIFY(m_refusing.Port() != 0);
    const QByteArray deadProxy = "http://127.0.0.1:" + QByteArray::number(m_refusing.Port());
    const QByteArray body = Body(900, 11);
    m_server->setResponse(u"/Tavix.bin"_s, TestHttpServer::Ok(body));
    qputenv("http_proxy", deadProxy);
    qputenv("no_proxy", "localhost,127.0.0.1");
    auto dialog = Start(m_server->url(u"/Tavix.bin"_s).toString());
    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kCompleted);
    QCOMPARE(m_server->targets(), QStringList{u"/Tavix.bin"_s});
}

void UpdaterDownloadTest::downloadsOverHttps() {
    if (!QSslSocket::supportsSsl())
        QSKIP("no TLS backend");
    const QString dir = QStringLiteral(TAVIX_UPDATER_TEST_DATA);
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(dir + u"/loopback.crt"_s);
    QFile keyFile(dir + u"/loopback.key"_s);
    QVERIFY(certificates.size() == 1 && keyFile.open(QIODevice::ReadOnly));
    const QSslKey key(&keyFile, QSsl::Rsa);
    QVERIFY(!key.isNull());

    // The test's own certificate authority is trusted in this process only.
    QSslConfiguration trusted = QSslConfiguration::defaultConfiguration();
    const QSslConfiguration original = trusted;
    trusted.addCaCertificates(certificates);
    QSslConfiguration::setDefaultConfiguration(trusted);

    TestHttpServer tls;
    QVERIFY(tls.listenTls(certificates.first(), key));
    const QByteArray body = Body(4000, 12);
    tls.setResponse(u"/Tavix.bin"_s, TestHttpServer::Ok(body));
    auto dialog = Start(tls.url(u"/Tavix.bin"_s).toString());
    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kCompleted);
    QSslConfiguration::setDefaultConfiguration(original);
    QCOMPARE(ReadFile(u"Tavix.bin"_s), body);
}

void UpdaterDownloadTest::refusesAnUntrustedCertificate() {
    if (!QSslSocket::supportsSsl())
        QSKIP("no TLS backend");
    // The same server as above, but its certificate authority is not trusted by this process.
    const QString dir = QStringLiteral(TAVIX_UPDATER_TEST_DATA);
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(dir + u"/loopback.crt"_s);
    QFile keyFile(dir + u"/loopback.key"_s);
    QVERIFY(certificates.size() == 1 && keyFile.open(QIODevice::ReadOnly));
    const QSslKey key(&keyFile, QSsl::Rsa);
    TestHttpServer tls;
    QVERIFY(tls.listenTls(certificates.first(), key));
    tls.setResponse(u"/Tavix.bin"_s, TestHttpServer::Ok(Body(4000, 13)));
    auto dialog = Start(tls.url(u"/Tavix.bin"_s).toString());
    QTRY_COMPARE(dialog->CurrentState(), CUpdateDlg::State::kOpenFailed);
    QCOMPARE(tls.targets(), QStringList()); // the request never left the client
    QCOMPARE(Files(), QStringList());
}

void UpdaterDownloadTest::opensTheAboutBoxAndClosesOnEnter() {
    auto dialog = Start(QString());
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    QCOMPARE(dialog->windowTitle(), u"Quorvex更新"_s);
    auto* about = dialog->findChild<QAction*>(u"id16"_s);
    QVERIFY(about);
    QCOMPARE(about->text(), u"关于(&A)..."_s);
    QCOMPARE(about->shortcut(), QKeySequence(Qt::Key_F1));

    QTest::keyClick(dialog.get(), Qt::Key_F1);
    QDialog* box = nullptr;
    QTRY_VERIFY((box = dialog->findChild<QDialog*>(u"id100"_s)) && box->isVisible());
    QCOMPARE(box->windowTitle(), u"关于"_s);
    box->reject();
    QTRY_VERIFY(!box->isVisible());

    QTest::keyClick(dialog.get(), Qt::Key_Return);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
}

QTEST_MAIN(UpdaterDownloadTest)
#include "UpdaterDownloadTest.moc"
