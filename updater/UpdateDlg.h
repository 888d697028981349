#pragma once

#include "updater/DownloadWorker.h"

#include "updater/DownloadFigures.h"

#include <QDialog>
#include <QThread>

#include <memory>
#include <optional>

class CAboutDlg;
class CDownloadWorker;
class ProgressQueue;
class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;

// The updater's window: size, received bytes, speed, progress and a status line for one
// download that runs on a worker thread. The window stays open after the download ends;
// closing it (close box, Enter, Escape) abandons a download still running.
class CUpdateDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CUpdateDlg)

public:
    enum class State { kIdle, kDownloading, kCompleted, kFailed, kOpenFailed };
    Q_ENUM(State)

    explicit CUpdateDlg(QString url, QWidget* parent = nullptr);
    ~CUpdateDlg() override;

    // Starts the download on its own thread; with no URL the window stays empty. Once only.
    void StartDownload();
    // Before StartDownload(): how long the transfer may stall before it fails (tests shorten it).
    void SetStallTimeout(std::chrono::milliseconds timeout) { m_stallTimeout = timeout; }
    State CurrentState() const { return m_state; }
    // The about box, opened by "关于(&A)..." (context menu or F1).
    void ShowAbout();

signals:
    void stateChanged(CUpdateDlg::State state);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void SetState(State state);
    void ShowProgress();
    void ShowFigures(const DownloadFigures& figures);
    void OnOpenFailed();
    void OnEnded(bool succeeded);
    // Ends the worker's thread, which then deletes the worker.
    void EndWorker();

    QString m_url;
    std::chrono::milliseconds m_stallTimeout = CDownloadWorker::kDefaultStallTimeout;
    State m_state = State::kIdle;
    bool m_started = false;
    QLineEdit* m_size = nullptr;
    QLineEdit* m_received = nullptr;
    QLineEdit* m_speed = nullptr;
    QProgressBar* m_progress = nullptr;
    QLineEdit* m_percent = nullptr;
    QLabel* m_status = nullptr;
    QAction* m_aboutAction = nullptr;
    CAboutDlg* m_about = nullptr;
    std::shared_ptr<ProgressQueue> m_progressQueue;
    std::optional<DownloadFigures> m_shown; // figures on screen, none before the first read
    QThread m_thread;
    CDownloadWorker* m_worker = nullptr; // lives on m_thread, deleted there when it ends
};
