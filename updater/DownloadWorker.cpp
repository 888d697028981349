#include "updater/DownloadWorker.h"

#include "updater/FileName.h"
#include "updater/ThreadHandOver.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>

#ifndef Q_OS_WIN
#include <fcntl.h>
#endif

#include <cerrno>

namespace {

constexpr qsizetype kMaxErrorLength = 255;

bool IsHttpUrl(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == u"http" || scheme == u"https");
}

} // namespace

CDownloadWorker::CDownloadWorker(QString url, std::shared_ptr<ProgressQueue> progress, QObject* parent)
    : QObject(parent)
    , m_url(std::move(url))
    , m_progress(std::move(progress)) {}

CDownloadWorker::~CDownloadWorker() {
    // Deleted as its thread ends, which the dialog's EndWorker() has asked for.
    if (m_progress)
        HandOverAcquire(m_progress.get());
}

void CDownloadWorker::Start() {
    if (m_url.isEmpty()) {
        m_phase = Phase::kEnded;
        return;
    }
    emit statusChanged(m_url);

    m_requestUrl = QUrl(m_url, QUrl::TolerantMode);
    if (!IsHttpUrl(m_requestUrl)) {
        m_phase = Phase::kEnded;
        emit openFailed();
        return;
    }

    // http_proxy, https_proxy and no_proxy of the environment decide the route.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    m_manager = new QNetworkAccessManager(this);

    QNetworkRequest request(m_requestUrl);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");
    // The file is stored byte for byte as the server holds it, never transparently unpacked.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(static_cast<int>(m_stallTimeout.count()));

    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &CDownloadWorker::OnMetaDataChanged);
    connect(m_reply, &QNetworkReply::readyRead, this, &CDownloadWorker::OnReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &CDownloadWorker::OnFinished);
}

void CDownloadWorker::OnMetaDataChanged() {
    EnsureOpened();
}

void CDownloadWorker::OnReadyRead() {
    if (EnsureOpened())
        ReadAvailable();
}

void CDownloadWorker::OnFinished() {
    if (m_phase == Phase::kEnded)
        return;
    if (!EnsureOpened()) {
        if (m_phase == Phase::kEnded)
            return;
        // No answer from the server at all: the URL could not be opened.
        ReleaseReply();
        m_phase = Phase::kEnded;
        emit openFailed();
        return;
    }
    ReadAvailable();
    if (m_phase == Phase::kEnded)
        return;
    if (m_reply->error() == QNetworkReply::OperationCanceledError || m_reply->error() == QNetworkReply::TimeoutError) {
        // Only the transfer time-out cancels a running reply; closing the window ends the thread first.
        Fail(tr("下载超时：%1秒内没有收到数据").arg(m_stallTimeout.count() / 1000.0));
        return;
    }
    if (m_reply->error() != QNetworkReply::NoError) {
        Fail(m_reply->errorString());
        return;
    }
    m_file.close();
    if (m_file.error() != QFileDevice::NoError) {
        Fail(m_file.errorString());
        return;
    }
    ReleaseReply();
    Finish(true);
}

bool CDownloadWorker::EnsureOpened() {
    if (m_phase != Phase::kOpening)
        return m_phase == Phase::kDownloading;
    const QVariant statusAttribute = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttribute.isValid())
        return false;
    const int status = statusAttribute.toInt();
    if (status >= 300 && status < 400 && !m_reply->isFinished())
        return false; // a redirection being followed
    if (status < 200 || status >= 300) {
        const QString reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        Fail(reason.isEmpty() ? QString::number(status) : QString::number(status) + u' ' + reason);
        return false;
    }

    m_phase = Phase::kDownloading;
    m_clock.start();
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    m_total = length.isValid() ? length.toLongLong() : -1;
    if (!CreateLocalFile())
        return false;
    emit statusChanged(tr("正在更新..."));
    emit progressRangeChanged(ComputeFigures(m_total, 0, 0).progressMaximum);
    return true;
}

bool CDownloadWorker::CreateLocalFile() {
    const QString name = ChooseFileName(m_reply->rawHeader("Content-Disposition"), m_reply->url(), m_requestUrl);
#ifdef Q_OS_WIN
    // An existing file is overwritten from its start.
    m_file.setFileName(name);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Fail(name + u": " + m_file.errorString());
        return false;
    }
#else
    // An existing file is overwritten from its start; a symbolic link planted under the
    // name is not followed, so nothing is written outside the current directory.
    const int fd =
        ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        Fail(name + u": " + qt_error_string(errno));
        return false;
    }
    if (!m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        Fail(name + u": " + m_file.errorString());
        return false;
    }
#endif
    return true;
}

void CDownloadWorker::ReadAvailable() {
    char buffer[kReadSize];
    while (m_phase == Phase::kDownloading) {
        const qint64 count = m_reply->read(buffer, kReadSize);
        if (count <= 0)
            return;
        if (m_file.write(buffer, count) != count) {
            Fail(m_file.errorString());
            return;
        }
        m_received += count;
        if (m_progress->Push(ComputeFigures(m_total, m_received, m_clock.elapsed())))
            emit progressAvailable();
    }
}

void CDownloadWorker::Fail(const QString& message) {
    // The bytes written so far stay in the file.
    if (m_file.isOpen())
        m_file.close();
    ReleaseReply();
    emit statusChanged(tr("更新失败,") + message.left(kMaxErrorLength));
    Finish(false);
}

void CDownloadWorker::Finish(bool succeeded) {
    m_phase = Phase::kEnded;
    if (succeeded)
        emit statusChanged(tr("更新完成！"));
    emit ended(succeeded);
}

void CDownloadWorker::ReleaseReply() {
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    // Destroying a reply still running aborts its transfer.
    m_reply->deleteLater();
    m_reply = nullptr;
}
