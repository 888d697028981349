#pragma once

#include "net/LinkNotifier.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>

class CLoginDlg;
class CMainFrame;

// Carries the trading link's notifications to the windows on the user interface thread,
// in the order they were made. NotifyTable and DeliverReply from another thread wait until
// the window has handled them; PostReply does not (a call from the user interface thread
// runs at once). Close() ends every wait and drops later notifications, so a thread blocked
// here can never hold up the end of the program.
class CGuiNotifier final : public QObject, public net::LinkNotifier {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CGuiNotifier)
public:
    explicit CGuiNotifier(QObject* parent = nullptr);
    ~CGuiNotifier() override;

    // The receiver of login answers (only while it is shown).
    void SetLoginDialog(CLoginDlg* dialog);
    // The receiver of table notifications and order and password answers.
    void SetMainFrame(CMainFrame* frame);
    // Any thread. Ends the waits and drops every later notification.
    void Close();

    bool HasMainFrame() const override;
    void NotifyTable(int message) override;
    void DeliverReply(int message, std::string_view body) override;
    void PostReply(int message, std::string body) override;

private:
    struct Waiter;
    // Hands a reply to the window that takes it (user interface thread).
    void HandleReply(int message, const std::string& body);
    // Runs `work` on the user interface thread without waiting for it.
    void PostToGuiThread(std::function<void()> work);
    // Runs `work` on the user interface thread and waits for it (or for Close()).
    void RunOnGuiThread(std::function<void()> work);
    // Appends `work` to m_queued and has the user interface thread run it, one per event,
    // in the order queued.
    void Queue(std::function<void()> work);
    Q_INVOKABLE void RunNextQueued();

    QPointer<CLoginDlg> m_login;
    QPointer<CMainFrame> m_frame;
    std::atomic<bool> m_hasFrame{false};

    std::mutex m_mutex;
    bool m_closed = false;
    std::set<std::shared_ptr<Waiter>> m_waiters;
    std::deque<std::function<void()>> m_queued;
};
