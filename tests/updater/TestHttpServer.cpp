#include "tests/updater/TestHttpServer.h"

#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

TestHttpServer::Response TestHttpServer::Ok(const QByteArray& body, const QByteArray& extraHeaders, bool withLength) {
    Response r;
    r.head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n" + extraHeaders;
    if (withLength)
        r.head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    r.body = body;
    return r;
}

TestHttpServer::Response TestHttpServer::Status(int code, const QByteArray& reason, const QByteArray& body,
                                                const QByteArray& extraHeaders) {
    Response r;
    r.head = "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason + "\r\nContent-Type: text/html\r\n" +
             "Connection: close\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extraHeaders;
    r.body = body;
    return r;
}

TestHttpServer::TestHttpServer(QObject* parent)
    : QObject(parent) {}

TestHttpServer::~TestHttpServer() = default;

bool TestHttpServer::listen() {
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &TestHttpServer::onPendingConnection);
    return m_server->listen(QHostAddress::LocalHost);
}

bool TestHttpServer::listenTls(const QSslCertificate& certificate, const QSslKey& key) {
    auto* server = new QSslServer(this);
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificate(certificate);
    config.setPrivateKey(key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    server->setSslConfiguration(config);
    m_server = server;
    m_tls = true;
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &TestHttpServer::onPendingConnection);
    return m_server->listen(QHostAddress::LocalHost);
}

quint16 TestHttpServer::port() const {
    return m_server->serverPort();
}

QUrl TestHttpServer::url(const QString& pathAndQuery) const {
    return QUrl((m_tls ? u"https://127.0.0.1:" : u"http://127.0.0.1:") + QString::number(port()) + pathAndQuery);
}

void TestHttpServer::setResponse(const QString& path, const Response& response) {
    m_responses.insert(path, response);
}

void TestHttpServer::onPendingConnection() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        ++m_connections;
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Serve(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            Serve(socket);
    }
}

void TestHttpServer::Serve(QTcpSocket* socket) {
    if (socket->property("served").toBool())
        return;
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n"))
        return;
    socket->setProperty("served", true);

    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    const QString target = requestLine.size() > 1 ? QString::fromLatin1(requestLine[1]) : QString();
    m_targets.append(target);
    const QString path = target.startsWith(u'/') ? target.section(u'?', 0, 0) : QUrl(target).path();

    const auto found = m_responses.constFind(path);
    const Response response = found != m_responses.cend() ? *found : Status(404, "Not Found", "<h1>Not Found</h1>");
    const qsizetype sent =
        response.sendBytes < 0 ? response.body.size() : std::min(response.sendBytes, response.body.size());
    socket->write(response.head + "\r\n" + response.body.left(sent));
    if (response.hold) {
        m_held.append({socket, response.body.mid(sent)});
        return;
    }
    socket->disconnectFromHost();
}

void TestHttpServer::releaseHeld() {
    for (const Held& held : std::as_const(m_held)) {
        if (!held.socket)
            continue;
        held.socket->write(held.rest);
        held.socket->disconnectFromHost();
    }
    m_held.clear();
}
