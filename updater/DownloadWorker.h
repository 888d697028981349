#pragma once

#include "updater/DownloadFigures.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Downloads one URL into the current directory on the thread it lives on, reading 512 bytes
// at a time and reporting every read. Created on the dialog's thread, moved to the worker
// thread, then driven by start(); all its slots run on the worker thread.
class CDownloadWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDownloadWorker)

public:
    static constexpr qint64 kReadSize = 512;

    explicit CDownloadWorker(QString url, QObject* parent = nullptr);
    ~CDownloadWorker() override;

    void start();

signals:
    void statusChanged(const QString& text);
    void progressRangeChanged(int maximum);
    void progressed(const DownloadFigures& figures);
    // The URL could not be opened; nothing was written and the download is over.
    void openFailed();
    // The download is over: complete, or failed with the failure already shown in the status.
    void ended(bool succeeded);

private:
    enum class Phase { kOpening, kDownloading, kEnded };

    void onMetaDataChanged();
    void onReadyRead();
    void onFinished();
    // Moves from opening to downloading once the server's answer is known; false until then.
    bool EnsureOpened();
    bool CreateLocalFile();
    void ReadAvailable();
    void Fail(const QString& message);
    void Finish(bool succeeded);
    void ReleaseReply();

    QString m_url;
    QUrl m_requestUrl;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    QFile m_file;
    QElapsedTimer m_clock;
    qint64 m_total = -1;
    qint64 m_received = 0;
    Phase m_phase = Phase::kOpening;
};
