#include "shell/GuiNotifier.h"

#include "shell/LoginDlg.h"
#include "shell/MainFrame.h"
#include "wire/Commands.h"

#include <QThread>

#include <string>

struct CGuiNotifier::Waiter {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;

    void Finish() {
        std::lock_guard lock(mutex);
        finished = true;
        done.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex);
        done.wait(lock, [this] { return finished; });
    }
};

CGuiNotifier::CGuiNotifier(QObject* parent)
    : QObject(parent) {}

CGuiNotifier::~CGuiNotifier() {
    Close();
}

void CGuiNotifier::SetLoginDialog(CLoginDlg* dialog) {
    m_login = dialog;
}

void CGuiNotifier::SetMainFrame(CMainFrame* frame) {
    m_frame = frame;
    std::lock_guard lock(m_mutex);
    m_hasFrame = frame != nullptr && !m_closed;
}

void CGuiNotifier::Close() {
    std::set<std::shared_ptr<Waiter>> waiters;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_hasFrame = false;
        waiters.swap(m_waiters);
    }
    for (const auto& waiter : waiters)
        waiter->Finish();
}

bool CGuiNotifier::HasMainFrame() const {
    return m_hasFrame.load();
}

void CGuiNotifier::NotifyTable(int message) {
    RunOnGuiThread([this, message] {
        if (m_frame)
            m_frame->OnTableStored(message);
    });
}

void CGuiNotifier::DeliverReply(int message, std::string_view body) {
    // A copy: a notification dropped by Close() may still run after the sender moved on.
    RunOnGuiThread([this, message, text = std::string(body)] { HandleReply(message, text); });
}

void CGuiNotifier::PostReply(int message, std::string body) {
    PostToGuiThread([this, message, text = std::move(body)] { HandleReply(message, text); });
}

void CGuiNotifier::HandleReply(int message, const std::string& body) {
    if (message == net::kMsgLoginReply) {
        if (m_login && m_login->isVisible())
            m_login->OnLoginReply(body);
    } else if (m_frame) {
        if (message == net::kMsgOrderReply)
            m_frame->OnOrderReply(body);
        else if (message == net::kMsgCancelReply)
            m_frame->OnCancelReply(body);
        else if (message == net::kMsgPasswordReply)
            m_frame->OnPasswordReply(body);
        else if (message == net::kMsgReloginFailed)
            m_frame->OnReloginFailed(body);
        else if (message == net::kMsgOrderResultUnknown)
            m_frame->OnOrderResultUnknown();
    }
}

void CGuiNotifier::PostToGuiThread(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
    }
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    // Queued behind the notifications already sent, so the windows see them in order.
    Queue([this, work = std::move(work)] {
        {
            std::lock_guard lock(m_mutex);
            if (m_closed)
                return;
        }
        work();
    });
}

void CGuiNotifier::RunOnGuiThread(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        {
            std::lock_guard lock(m_mutex);
            if (m_closed)
                return;
        }
        work();
        return;
    }
    auto waiter = std::make_shared<Waiter>();
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
        m_waiters.insert(waiter);
    }
    Queue([this, waiter, work = std::move(work)] {
        bool closed = false;
        {
            std::lock_guard lock(m_mutex);
            closed = m_closed;
        }
        if (!closed)
            work();
        {
            std::lock_guard lock(m_mutex);
            m_waiters.erase(waiter);
        }
        waiter->Finish();
    });
    waiter->Wait();
}

void CGuiNotifier::Queue(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_queued.push_back(std::move(work));
    }
    // The event only says that one more is waiting: the work itself crosses under m_mutex, a
    // hand-over every thread checker sees, not inside Qt's event queue, which it cannot see into.
    QMetaObject::invokeMethod(this, "RunNextQueued", Qt::QueuedConnection);
}

void CGuiNotifier::RunNextQueued() {
    std::function<void()> work;
    {
        std::lock_guard lock(m_mutex);
        if (m_queued.empty())
            return;
        work = std::move(m_queued.front());
        m_queued.pop_front();
    }
    work();
}
