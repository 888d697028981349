#pragma once

#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/LinkNotifier.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "wire/GbkText.h"

#include <QString>

#include <string>

// A client state filled with a plausible account, without a connection: enough for the
// order forms to show a live quote and their panels.
class QuietNotifier final : public net::LinkNotifier {
public:
    bool HasMainFrame() const override { return true; }
    void NotifyTable(int) override {}
    void DeliverReply(int, std::string_view) override {}
    void PostReply(int, std::string) override {}
};

struct TradeFixture {
    net::SharedState state;
    QuietNotifier notifier;
    net::TradingLink link{state, notifier};
    ClientContext context{state, link, nullptr};

    static std::string Gbk(const char* utf8) { return ToGbk(QString::fromUtf8(utf8)); }

    void FillQuote(const char* code, const char* name, float last, float prevClose, int tick = 0) {
        net::QuoteRecord q{};
        net::StoreField(q.code, code);
        net::StoreField(q.name, Gbk(name));
        for (int level = 0; level < 5; ++level) {
            q.askPrice[level] = last + 0.01f * float(level + 1);
            q.bidPrice[level] = last - 0.01f * float(level);
            q.askVolume[level] = 1200 + 300 * level + tick % 7 * 100;
            q.bidVolume[level] = 800 + 500 * level + tick % 5 * 100;
        }
        q.lastPrice = last;
        q.prevClose = prevClose;
        state.quotes.Store(q);
    }

    void FillAccount() {
        net::FundsRecord f{};
        net::StoreField(f.cashBalance, "100000.00");
        net::StoreField(f.frozenFunds, "0.00");
        net::StoreField(f.availableFunds, "100000.00");
        net::StoreField(f.value8, "100");
        state.funds.Store(f);

        net::PositionTable::Slots positions{};
        const char* held[][4] = {{"600000", "浦发银行", "1000", "10.20"}, {"000001", "平安银行", "500", "18.30"}};
        for (int i = 0; i < 2; ++i) {
            net::PositionRecord& r = positions[i];
            net::StoreField(r.code, held[i][0]);
            net::StoreField(r.name, Gbk(held[i][1]));
            net::StoreField(r.balance, held[i][2]);
            net::StoreField(r.available, held[i][2]);
            net::StoreField(r.frozen, "0");
            net::StoreField(r.profit, i == 0 ? "120.50" : "-35.00");
            net::StoreField(r.costPrice, held[i][3]);
            net::StoreField(r.profitRatio, "1.18");
            net::StoreField(r.marketPrice, held[i][3]);
            net::StoreField(r.marketValue, "10320.00");
        }
        state.positions.Store(positions);
        FillQuote("600000", "浦发银行", 10.32f, 10.20f);
        FillQuote("000001", "平安银行", 18.25f, 18.30f);
        FillOrders(6);

        net::TodayTradeTable::Slots trades{};
        const char* sides[] = {"买入", "卖出", "买入"};
        for (int i = 0; i < 3; ++i) {
            net::TradeRecord& t = trades[i];
            net::StoreField(t.tradeDate, "2021-02-23");
            net::StoreField(t.tradeTime, "10:3" + std::to_string(i) + ":02");
            net::StoreField(t.code, i == 1 ? "000001" : "600000");
            net::StoreField(t.name, Gbk(i == 1 ? "平安银行" : "浦发银行"));
            net::StoreField(t.side, Gbk(sides[i]));
            net::StoreField(t.avgPrice, "10.31");
            net::StoreField(t.quantity, "200");
            net::StoreField(t.amount, "2062.00");
        }
        state.todayTrades.Store(trades);
    }

    // `count` orders: every third filled, every fifth cancelled, the rest open; or, with
    // `allOpen`, every one still open (the most a cancellation list can show).
    void FillOrders(int count, bool allOpen = false) {
        net::TodayOrderTable::Slots orders{};
        for (int i = 0; i < count && i < int(orders.size()); ++i) {
            net::OrderRecord& r = orders[i];
            const bool filled = !allOpen && i % 3 == 2;
            const bool cancelled = !allOpen && i % 5 == 4;
            net::StoreField(r.code, i % 2 == 0 ? "600000" : "000001");
            net::StoreField(r.name, Gbk(i % 2 == 0 ? "浦发银行" : "平安银行"));
            net::StoreField(r.orderQty, "500");
            net::StoreField(r.filledQty, filled ? "500" : (i % 4 == 1 ? "200" : "0"));
            net::StoreField(r.orderPrice, "10.30");
            net::StoreField(r.avgPrice, filled ? "10.30" : "0.00");
            net::StoreField(r.side, i % 2 == 0 ? "1" : "2");
            net::StoreField(r.orderTime,
                            "2021-02-23 09:" + std::to_string(30 + i % 30) + ":0" + std::to_string(i % 10));
            net::StoreField(r.status, Gbk(cancelled ? "已撤" : (filled ? "已成" : "未成")));
        }
        state.todayOrders.Store(orders);
    }
};
