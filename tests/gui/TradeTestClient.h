#pragma once

#include "controls/ModalHook.h"
#include "net/Commands.h"
#include "net/GbkText.h"
#include "net/LinkNotifier.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/ClientContext.h"
#include "shell/Gbk.h"
#include "tests/support/FakeTradingServer.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace trade_test {

using namespace std::chrono_literals;

// Table notifications are not routed anywhere: the views under test are refilled by the
// tests themselves or by their own buttons.
class QuietNotifier final : public net::LinkNotifier {
public:
    bool HasMainFrame() const override { return true; }
    void NotifyTable(int) override {}
    void DeliverReply(int, std::string_view) override {}
    void PostReply(int, std::string) override {}
};

// The main window's part that the order forms reach: records the codes picked for selling.
class RecordingFrame final : public MainFrameHooks {
public:
    void SellPosition(int code) override { codes.push_back(code); }
    std::vector<int> codes;
};

// Answers every modal question of the code under test without a modal loop: records what
// would be shown, runs an optional action while "the dialog is open", and answers from a
// script (yes / accepted when the script is empty).
class ModalScript final {
public:
    ModalScript() {
        SetModalHook([this](const ModalRequest& request) {
            shown.push_back(request);
            if (whileOpen)
                whileOpen();
            bool yes = true;
            if (!answers.empty()) {
                yes = answers.front();
                answers.pop_front();
            }
            if (request.kind == ModalRequest::Kind::kMessageBoxYesNo)
                return int(yes ? QMessageBox::Yes : QMessageBox::No);
            return int(yes ? QDialog::Accepted : QDialog::Rejected);
        });
    }
    ~ModalScript() { SetModalHook({}); }
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    std::vector<ModalRequest> shown;
    std::deque<bool> answers;
    std::function<void()> whileOpen;
};

inline std::string Gbk(const char* utf8) {
    return ToGbk(QString::fromUtf8(utf8));
}

// Records built from UTF-8 texts, stored as the GBK bytes the link keeps.
inline net::PositionRecord Position(const char* code, const char* name, const char* available,
                                    const char* profit = "0") {
    net::PositionRecord r{};
    net::StoreField(r.code, code);
    net::StoreField(r.name, Gbk(name));
    net::StoreField(r.balance, available);
    net::StoreField(r.available, available);
    net::StoreField(r.frozen, "0");
    net::StoreField(r.profit, profit);
    net::StoreField(r.costPrice, "10.00");
    net::StoreField(r.profitRatio, "0.00");
    net::StoreField(r.marketPrice, "10.00");
    net::StoreField(r.marketValue, "1000.00");
    return r;
}

inline net::OrderRecord Order(const char* code, const char* orderQty, const char* filledQty, const char* side,
                              const char* time, const char* status) {
    net::OrderRecord r{};
    net::StoreField(r.code, code);
    net::StoreField(r.name, Gbk("浦发银行"));
    net::StoreField(r.orderQty, orderQty);
    net::StoreField(r.filledQty, filledQty);
    net::StoreField(r.orderPrice, "10.50");
    net::StoreField(r.avgPrice, "0.00");
    net::StoreField(r.side, side);
    net::StoreField(r.orderTime, time);
    net::StoreField(r.status, Gbk(status));
    return r;
}

inline net::TradeRecord Trade(const char* code, const char* side) {
    net::TradeRecord r{};
    net::StoreField(r.tradeDate, "2021-02-23");
    net::StoreField(r.tradeTime, "10:31:02");
    net::StoreField(r.code, code);
    net::StoreField(r.name, Gbk("平安银行"));
    net::StoreField(r.side, Gbk(side));
    net::StoreField(r.avgPrice, "18.20");
    net::StoreField(r.quantity, "100");
    net::StoreField(r.amount, "1820.00");
    return r;
}

inline net::QuoteRecord Quote(const char* code, const char* name, float ask1, float bid1, float prevClose) {
    net::QuoteRecord q{};
    net::StoreField(q.code, code);
    net::StoreField(q.name, Gbk(name));
    for (int level = 0; level < 5; ++level) {
        q.askPrice[level] = ask1 > 0 ? ask1 + 0.01f * float(level) : 0.0f;
        q.bidPrice[level] = bid1 > 0 ? bid1 - 0.01f * float(level) : 0.0f;
        q.askVolume[level] = 100 * (level + 1);
        q.bidVolume[level] = 200 * (level + 1);
    }
    q.lastPrice = bid1 > 0 ? bid1 : ask1;
    q.prevClose = prevClose;
    return q;
}

// The shared state, a link and the context the views need, optionally connected to a
// loopback server that records the requests.
struct TradeTestClient {
    net::SharedState state;
    QuietNotifier notifier;
    net::TradingLink link;
    RecordingFrame frame;
    ClientContext context{state, link, &frame};
    std::unique_ptr<tavix::test::FakeTradingServer> server;

    explicit TradeTestClient(net::LinkTimings timings = {})
        : link(state, notifier, timings) {
        state.credentials.Set("u1", "p1");
    }
    TradeTestClient(const TradeTestClient&) = delete;
    TradeTestClient& operator=(const TradeTestClient&) = delete;

    // Starts the link against a new loopback server; true once the link is connected.
    bool Connect() {
        server = std::make_unique<tavix::test::FakeTradingServer>();
        state.port = server->Port();
        // Answered heartbeats keep the link from reconnecting during a slow test.
        server->SetAutoReply(net::kCmdHeartbeat, [](const net::Frame&) { return std::string(); });
        link.Start();
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (link.Socket().Connected())
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // The whole body of the next request with `command`, credentials included.
    std::optional<std::string> NextBody(int command) {
        const auto frame = server->WaitForCommand(command, 5s);
        if (!frame)
            return std::nullopt;
        return frame->body;
    }

    // How many requests with `command` the server got before a marker sent now: frames
    // arrive in order on the one connection, so this also proves that none is on its way.
    int CountBeforeMarker(int command) {
        static constexpr int kMarker = 99;
        if (!link.SendRequest(kMarker, "marker") || !server->WaitForCommand(kMarker, 5s))
            return -1;
        return server->CountOf(command);
    }

    void SetPositions(std::initializer_list<net::PositionRecord> rows) {
        net::PositionTable::Slots table{};
        std::size_t i = 0;
        for (const auto& r : rows)
            table[i++] = r;
        state.positions.Store(table);
    }
    void SetOrders(const std::vector<net::OrderRecord>& rows) {
        net::TodayOrderTable::Slots table{};
        for (std::size_t i = 0; i < rows.size() && i < table.size(); ++i)
            table[i] = rows[i];
        state.todayOrders.Store(table);
    }
    void SetTrades(std::initializer_list<net::TradeRecord> rows) {
        net::TodayTradeTable::Slots table{};
        std::size_t i = 0;
        for (const auto& r : rows)
            table[i++] = r;
        state.todayTrades.Store(table);
    }
    void SetFunds(const char* cash, const char* frozen, const char* value8) {
        net::FundsRecord f{};
        net::StoreField(f.cashBalance, cash);
        net::StoreField(f.frozenFunds, frozen);
        net::StoreField(f.value8, value8);
        state.funds.Store(f);
    }
};

} // namespace trade_test
