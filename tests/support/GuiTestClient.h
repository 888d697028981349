#pragma once

#include "core/ClientContext.h"
#include "net/LinkTimings.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "tests/support/FakeTradingServer.h"
#include "wire/Commands.h"
#include "wire/GbkText.h"

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavix::test {

// The part of the main window that views reach: records the codes picked for selling.
class RecordingFrame final : public MainFrameHooks {
public:
    void SellPosition(int code) override { soldCodes.push_back(code); }
    void OpenChart(const QString& code) override { charts.push_back(code.toStdString()); }
    void OpenOrderForm(bool buy, const QString& code) override {
        forms.push_back((buy ? "buy " : "sell ") + code.toStdString());
    }
    std::vector<int> soldCodes;
    std::vector<std::string> charts;
    std::vector<std::string> forms;
};

// 23 February 2021, 10:00 local time: the day the link puts into its dated queries, so no
// test depends on the day it runs.
inline std::time_t TestDay() {
    std::tm day{};
    day.tm_year = 2021 - 1900;
    day.tm_mon = 1;
    day.tm_mday = 23;
    day.tm_hour = 10;
    day.tm_isdst = -1;
    return std::mktime(&day);
}

struct GuiTestOptions {
    bool connect = false;   // start the link and wait for its connection at once
    bool withFrame = false; // the context has a main window (a RecordingFrame)
    std::string user = "u1";
    std::string password = "p1";
    net::LinkTimings timings{};
};

// One client's world for a GUI test: a loopback trading server, the shared state pointed at
// it, a notifier of the test's choice (the program's own, a recorder, or one that routes to a
// view), a trading link on the fixed test day, a recording main window and the context that
// views and dialogs take. Construct it on the test's GUI thread.
template <class Notifier>
class GuiTestClient {
public:
    explicit GuiTestClient(GuiTestOptions options = {})
        : link(Pointed(state, server.Port()), notifier, options.timings, &TestDay)
        , context{state, link, options.withFrame ? &frame : nullptr} {
        if (!options.user.empty() || !options.password.empty())
            state.credentials.Set(options.user, options.password);
        // Answered heartbeats keep the link from reconnecting during a slow test.
        server.SetAutoReply(net::kCmdHeartbeat, [](const net::Frame&) { return std::string(); });
        if (options.connect)
            Connect();
    }
    ~GuiTestClient() {
        // A network thread waiting for a window is released before the link stops.
        if constexpr (requires(Notifier & n) { n.Close(); })
            notifier.Close();
        link.Stop();
    }
    GuiTestClient(const GuiTestClient&) = delete;
    GuiTestClient& operator=(const GuiTestClient&) = delete;

    // Starts the link; true once it is connected and the server has the connection.
    bool Connect() {
        link.Start();
        return Connected();
    }
    // Events are processed while waiting: a notifier may hold the network thread until the
    // GUI thread has taken a notification.
    bool Connected() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!link.Socket().Connected() || !server.Connected()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // The whole body of the next request with `command`, credentials included.
    std::optional<std::string> NextBody(int command) {
        const auto frame = server.WaitForCommand(command, std::chrono::seconds(5));
        if (!frame)
            return std::nullopt;
        return frame->body;
    }
    // The same without the credentials the link appends.
    std::optional<std::string> NextQuery(int command) {
        auto body = NextBody(command);
        if (!body)
            return std::nullopt;
        const std::string tail = "&curuser=" + state.credentials.CurrentUser() + "&curpwd=" + Password();
        if (body->size() >= tail.size() && body->compare(body->size() - tail.size(), tail.size(), tail) == 0)
            body->resize(body->size() - tail.size());
        return body;
    }
    // Waits until the server has received frames with each of `commands` (in any order).
    bool WaitForCommands(const std::vector<int>& commands) {
        for (int command : commands)
            if (!server.WaitForCommand(command, std::chrono::seconds(5)))
                return false;
        return true;
    }
    // How many requests with `command` the server got before a marker sent now: frames
    // arrive in order on the one connection, so this also proves that none is on its way.
    int CountBeforeMarker(int command) {
        static constexpr int kMarker = 99;
        if (!link.SendRequest(kMarker, "marker") || !server.WaitForCommand(kMarker, std::chrono::seconds(5)))
            return -1;
        return server.CountOf(command);
    }
    // Frames the server received with `command` so far.
    int Received(int command) const { return server.CountOf(command); }

    // Tables filled as the link's parsers would from a reply body (GBK bytes).
    void FillPositions(std::string_view body) { link.Dispatch(net::kCmdPositions, body); }
    void FillFunds(std::string_view body) { link.Dispatch(net::kCmdFunds, body); }
    void FillTodayTrades(std::string_view body) { link.Dispatch(net::kCmdTodayTrades, body); }
    void FillTodayOrders(std::string_view body) { link.Dispatch(net::kCmdTodayOrders, body); }
    // Tables stored directly from records.
    void SetPositions(std::initializer_list<net::PositionRecord> rows) { Store(state.positions, rows); }
    void SetOrders(const std::vector<net::OrderRecord>& rows) { Store(state.todayOrders, rows); }
    void SetTrades(std::initializer_list<net::TradeRecord> rows) { Store(state.todayTrades, rows); }
    // The funds as the server sends them: 资金余额 and 可用金额 are both the cash that open
    // orders do not hold.
    void SetFunds(const char* available, const char* frozen, const char* value8) {
        net::FundsRecord f{};
        net::StoreField(f.cashBalance, available);
        net::StoreField(f.availableFunds, available);
        net::StoreField(f.frozenFunds, frozen);
        net::StoreField(f.value8, value8);
        state.funds.Store(f);
    }
    // Stores a quote whose last price (and first bid/ask) is `lastPrice`.
    void SetQuote(const std::string& code, float lastPrice, float prevClose = 0.0f) {
        net::QuoteRecord quote{};
        net::StoreField(quote.code, code);
        quote.lastPrice = lastPrice;
        quote.prevClose = prevClose;
        quote.bidPrice[0] = lastPrice;
        quote.askPrice[0] = lastPrice;
        state.quotes.Store(quote);
    }

    FakeTradingServer server;
    net::SharedState state;
    Notifier notifier;
    net::TradingLink link;
    RecordingFrame frame;
    ClientContext context;

private:
    static net::SharedState& Pointed(net::SharedState& state, int port) {
        state.serverAddress = "127.0.0.1";
        state.port = port;
        return state;
    }
    std::string Password() const { return state.credentials.CurrentPassword(); }
    template <class Table, class Rows>
    static void Store(Table& table, const Rows& rows) {
        typename Table::Slots filled{};
        std::size_t i = 0;
        for (const auto& r : rows)
            if (i < filled.size())
                filled[i++] = r;
        table.Store(filled);
    }
};

} // namespace tavix::test
