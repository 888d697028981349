#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QStringList>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 server on loopback for the updater's tests. Each path has a canned answer
// that can be cut short (the connection closes after part of the body) or held (part of the
// body is sent and the rest waits for releaseHeld()). It also serves requests sent to it as a
// proxy (absolute URIs), and over TLS when given a certificate.
class TestHttpServer final : public QObject {
    Q_OBJECT

public:
    struct Response {
        QByteArray head; // status line and header lines, each ending with CRLF
        QByteArray body;
        qsizetype sendBytes = -1; // body bytes sent before cutting or holding; -1: all
        bool hold = false;
    };

    static Response Ok(const QByteArray& body, const QByteArray& extraHeaders = {}, bool withLength = true);
    static Response Status(int code, const QByteArray& reason, const QByteArray& body = {},
                           const QByteArray& extraHeaders = {});

    explicit TestHttpServer(QObject* parent = nullptr);
    ~TestHttpServer() override;

    bool listen();
    bool listenTls(const QSslCertificate& certificate, const QSslKey& key);
    quint16 port() const;
    QUrl url(const QString& pathAndQuery) const;

    void setResponse(const QString& path, const Response& response);
    // Request targets as sent on the request line ("/a" or, through a proxy, "http://h/a").
    const QStringList& targets() const { return m_targets; }
    int connectionCount() const { return m_connections; }
    // Sends the rest of every held answer and closes its connection.
    void releaseHeld();

private:
    void Serve(QTcpSocket* socket);
    void onPendingConnection();

    QTcpServer* m_server = nullptr;
    bool m_tls = false;
    QHash<QString, Response> m_responses;
    QStringList m_targets;
    int m_connections = 0;
    struct Held {
        QPointer<QTcpSocket> socket;
        QByteArray rest;
    };
    QList<Held> m_held;
};
