#pragma once

#include "controls/ModalHook.h"
#include "net/LinkTimings.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/ClientContext.h"
#include "shell/GuiNotifier.h"
#include "tests/support/FakeTradingServer.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <QTest>

#include <chrono>
#include <functional>
#include <set>
#include <vector>

using namespace std::chrono_literals;

// Records every modal dialog or message box the code under test opens and answers it
// with `answer` (Accepted by default) instead of running a modal loop.
class ModalRecorder final {
public:
    ModalRecorder() {
        SetModalHook([this](const ModalRequest& request) {
            requests << request;
            if (onShow)
                onShow(request);
            return answer;
        });
    }
    ~ModalRecorder() { SetModalHook({}); }
    ModalRecorder(const ModalRecorder&) = delete;
    ModalRecorder& operator=(const ModalRecorder&) = delete;

    QStringList Texts() const {
        QStringList texts;
        for (const auto& r : requests)
            texts << r.text;
        return texts;
    }

    QList<ModalRequest> requests;
    int answer = QDialog::Accepted;
    std::function<void(const ModalRequest&)> onShow;
};

// A client around a loopback test server: the shared state, the notifier the program
// uses and a trading link connected to the server.
struct ShellTestClient {
    tavix::test::FakeTradingServer server;
    net::SharedState state;
    CGuiNotifier notifier;
    net::TradingLink link;
    ClientContext context{state, link, nullptr};

    static net::LinkTimings Timings() {
        net::LinkTimings t;
        t.connectTimeout = 1000ms;
        t.receiveWait = 100ms;
        t.retryDelay = 50ms;
        t.heartbeatAfter = 30000ms;
        t.reconnectAfter = 60000ms;
        return t;
    }

    explicit ShellTestClient(bool connect = true, const net::LinkTimings& timings = Timings())
        : link(state, notifier, timings) {
        state.serverAddress = "127.0.0.1";
        state.port = server.Port();
        if (connect)
            Connect();
    }
    ~ShellTestClient() { notifier.Close(); }

    void Connect() {
        link.Start();
        QTRY_VERIFY_WITH_TIMEOUT(link.Socket().Connected() && server.Connected(), 5000);
    }

    // Waits until the server has received frames with each of `commands` (in any order).
    bool WaitForCommands(const std::vector<int>& commands) {
        for (int command : commands) {
            if (!server.WaitForCommand(command, 5000ms))
                return false;
        }
        return true;
    }
};
