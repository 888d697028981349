#pragma once

#include "updater/DownloadFigures.h"
#include "updater/ProgressQueue.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// Downloads one URL into the current directory on the thread it lives on, reading 512 bytes
// at a time and putting the figures of every read into a queue shared with the dialog. Created on the dialog's thread,
// moved to the worker thread, then driven by Start(); all its slots run on the worker thread.
class CDownloadWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDownloadWorker)

public:
    static constexpr qint64 kReadSize = 512;
    // A server that sends nothing for this long ends the download as failed.
    static constexpr std::chrono::milliseconds kDefaultStallTimeout{60'000};

    CDownloadWorker(QString url, std::shared_ptr<ProgressQueue> progress, QObject* parent = nullptr);
    ~CDownloadWorker() override;

    // Before Start(): how long the transfer may stall (tests shorten it).
    void SetStallTimeout(std::chrono::milliseconds timeout) { m_stallTimeout = timeout; }
    void Start();

signals:
    void statusChanged(const QString& text);
    void progressRangeChanged(int maximum);
    // New figures wait in the progress queue, which was empty before.
    void progressAvailable();
    // The URL could not be opened; nothing was written and the download is over.
    void openFailed();
    // The download is over: complete, or failed with the failure already shown in the status.
    void ended(bool succeeded);

private:
    enum class Phase { kOpening, kDownloading, kEnded };

    void OnMetaDataChanged();
    void OnReadyRead();
    void OnFinished();
    // Moves from opening to downloading once the server's answer is known; false until then.
    bool EnsureOpened();
    bool CreateLocalFile();
    void ReadAvailable();
    void Fail(const QString& message);
    void Finish(bool succeeded);
    void ReleaseReply();

    QString m_url;
    std::chrono::milliseconds m_stallTimeout = kDefaultStallTimeout;
    std::shared_ptr<ProgressQueue> m_progress;
    QUrl m_requestUrl;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    QFile m_file;
    QElapsedTimer m_clock;
    qint64 m_total = -1;
    qint64 m_received = 0;
    Phase m_phase = Phase::kOpening;
};
