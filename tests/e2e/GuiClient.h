#pragma once

// The client's main window, views and trading link as the program builds them after an
// accepted login, driven against a real quorvexd; shared by the end-to-end GUI tests.

#include "controls/ModalHook.h"
#include "core/ClientContext.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/GuiNotifier.h"
#include "shell/MainFrame.h"
#include "shell/StatusPanes.h"
#include "tests/support/LinkTimingPresets.h"
#include "trade/OrderFormView.h"
#include "wire/Commands.h"
#include "wire/GbkText.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>

namespace e2e_gui {

using namespace std::chrono_literals;

constexpr int kWait = 15000; // ms; generous for a loaded machine

// Every modal question is answered yes, every message is recorded.
class Answers final {
public:
    Answers() {
        SetModalHook([this](const ModalRequest& request) {
            texts << request.text;
            if (request.kind == ModalRequest::Kind::kMessageBoxYesNo)
                return int(QMessageBox::Yes);
            return int(QDialog::Accepted);
        });
    }
    ~Answers() { SetModalHook({}); }
    Answers(const Answers&) = delete;
    Answers& operator=(const Answers&) = delete;
    QStringList texts;
};

// The client as the program builds it after an accepted login: shared state, the notifier,
// the trading link and the main window, logged in as `user` and loaded.
struct Client {
    net::SharedState state;
    CGuiNotifier notifier;
    net::TradingLink link;
    ClientContext context{state, link, nullptr};
    std::unique_ptr<CMainFrame> frame;
    std::atomic<int> subscriptions{0};

    static net::LinkTimings Timings() { return tavix::test::RealClientTimings(); }

    // `iniPath`: the client.ini the views keep their settings in (the watch list, say).
    Client(int port, const std::string& user, const std::string& password, const std::string& iniPath = {})
        : link(state, notifier, Timings()) {
        state.serverAddress = "127.0.0.1";
        state.port = port;
        state.credentials.Set(user, password);
        state.accountStatus = "0";
        context.iniPath = iniPath;
        link.SetRequestObserver([this](int command, bool sent) {
            if (command == net::kCmdQuoteSubscribe && sent)
                ++subscriptions;
        });
        link.Start();
        frame = std::make_unique<CMainFrame>(context);
        notifier.SetMainFrame(frame.get());
        frame->resize(1400, 800);
        frame->show();
    }
    ~Client() {
        notifier.Close();
        link.Stop();
    }

    bool WaitConnected() {
        return QTest::qWaitFor([&] { return link.Socket().Connected(); }, kWait);
    }
    // Sends the login with the credentials the client was made with (GBK bytes, as the wire).
    void SendLogin() {
        const auto [user, password] = state.credentials.Get();
        link.SendRequest(net::kCmdLogin, "user_name=" + user + "&pwd=" + password + "&yjm=E2E0");
    }
    // Logs in and runs the initial load; true once the account's funds have arrived.
    bool LogIn() {
        if (!WaitConnected())
            return false;
        SendLogin();
        link.StartInitialLoad();
        return QTest::qWaitFor([&] { return net::FieldText(state.funds.Get().value8) == "100"; }, kWait);
    }
    bool LogIn(const std::string& user, const std::string& password) {
        state.credentials.Set(user, password);
        return LogIn();
    }

    template <typename View>
    View* Show(const QString& label) {
        frame->ShowFunction(label);
        return qobject_cast<View*>(frame->RightView());
    }
    QString Pane(int pane) const { return frame->Panes()->PaneText(pane); }
};

template <typename T>
inline T* Find(QWidget* view, int id) {
    return view->findChild<T*>(QStringLiteral("id%1").arg(id));
}
inline QString Text(QWidget* view, int id) {
    return Find<QLabel>(view, id)->text();
}
inline void Click(QWidget* view, int id) {
    Find<QAbstractButton>(view, id)->click();
}
inline long long Cents(const QString& text) {
    return std::llround(text.toDouble() * 100);
}

// Types a code into an order form and waits for its quote (name and default price).
inline bool EnterCode(COrderFormView* form, const char* code) {
    Find<QLineEdit>(form, 1002)->setText(QString::fromLatin1(code));
    return QTest::qWaitFor(
        [&] { return !Text(form, 1005).isEmpty() && !Find<QLineEdit>(form, 1007)->text().isEmpty(); }, kWait);
}

// Sends the form's order and returns the server's answer as shown to the user.
inline QString Order(COrderFormView* form, Answers& answers, const QString& price, const QString& quantity) {
    Find<QLineEdit>(form, 1007)->setText(price);
    Find<QLineEdit>(form, 1011)->setText(quantity);
    const qsizetype before = answers.texts.size();
    Click(form, 1013);
    // The sell form asks first; the answer is the last text shown.
    if (!QTest::qWaitFor(
            [&] {
                return answers.texts.size() > before && !answers.texts.last().startsWith(QStringLiteral("确认要卖出"));
            },
            kWait))
        return QStringLiteral("<no answer>");
    return answers.texts.last();
}

inline bool Accepted(const QString& answer) {
    return answer.startsWith(QStringLiteral("委托已受理"));
}

} // namespace e2e_gui
