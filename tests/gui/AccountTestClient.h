#pragma once

#include "controls/ModalHook.h"
#include "controls/TFormView.h"
#include "net/Commands.h"
#include "net/LinkNotifier.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/ClientContext.h"
#include "tests/support/FakeTradingServer.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <thread>

// What the main window does with the link's table notifications, reduced to what the
// account views need: every notification goes to the view in the right-hand pane. Tests
// call the parsers on the GUI thread, so the calls arrive directly.
class PaneNotifier final : public net::LinkNotifier {
public:
    QPointer<CTFormView> pane;

    bool HasMainFrame() const override { return true; }
    void NotifyTable(int message) override {
        if (!pane)
            return;
        switch (message) {
        case net::kMsgHistoryTableStored:
            pane->OnHistoryTableStored();
            break;
        case net::kMsgTodayTradesStored:
            pane->OnTodayTradesStored();
            break;
        case net::kMsgTodayOrdersStored:
            pane->OnTodayOrdersStored();
            break;
        default:
            break;
        }
    }
    void DeliverReply(int, std::string_view) override {}
    void PostReply(int, std::string) override {}
};

// Records the texts of every modal dialog the code under test opens and accepts them.
class ModalRecorder final {
public:
    ModalRecorder() {
        SetModalHook([this](const ModalRequest& request) {
            texts << request.text;
            return int(QDialog::Accepted);
        });
    }
    ~ModalRecorder() { SetModalHook({}); }
    ModalRecorder(const ModalRecorder&) = delete;
    ModalRecorder& operator=(const ModalRecorder&) = delete;

    QStringList texts;
};

// 23 February 2021, 10:00 local time: the day the link puts into its dated queries, so no
// test depends on the day it runs.
inline std::time_t AccountTestDay() {
    std::tm day{};
    day.tm_year = 2021 - 1900;
    day.tm_mon = 1;
    day.tm_mday = 23;
    day.tm_hour = 10;
    day.tm_isdst = -1;
    return std::mktime(&day);
}

// The shared state, the link and the context a view needs; optionally connected to a
// loopback server that records the requests.
struct AccountTestClient {
    net::SharedState state;
    PaneNotifier notifier;
    net::TradingLink link{state, notifier, {}, &AccountTestDay};
    ClientContext context{state, link, nullptr};
    std::unique_ptr<tavix::test::FakeTradingServer> server;

    AccountTestClient() {
        state.credentials.Set("u1", "p1");
        state.historyOrders.Create();
        state.historyTrades.Create();
        state.fundsFlow.Create();
        state.settlement.Create();
    }
    AccountTestClient(const AccountTestClient&) = delete;
    AccountTestClient& operator=(const AccountTestClient&) = delete;

    // Starts the link against a new loopback server; true once the link is connected.
    bool Connect() {
        server = std::make_unique<tavix::test::FakeTradingServer>();
        state.port = server->Port();
        link.Start();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (link.Socket().Connected())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // The body of the next request with `command` as the server got it, without the
    // credentials the link appends.
    std::optional<std::string> NextBody(int command) {
        const auto frame = server->WaitForCommand(command, std::chrono::seconds(5));
        if (!frame)
            return std::nullopt;
        std::string body = frame->body;
        const std::string tail = "&curuser=u1&curpwd=p1";
        if (body.size() >= tail.size() && body.compare(body.size() - tail.size(), tail.size(), tail) == 0)
            body.resize(body.size() - tail.size());
        return body;
    }
};
