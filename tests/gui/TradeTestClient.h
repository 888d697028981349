#pragma once

#include "controls/ModalHook.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/LinkNotifier.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "tests/support/FakeTradingServer.h"
#include "tests/support/GuiTestClient.h"
#include "tests/support/ModalRecorder.h"
#include "tests/support/RecordingNotifier.h"
#include "wire/Commands.h"
#include "wire/GbkText.h"

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

using tavix::test::ModalRecorder;

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

// The client as the order forms need it: a main window that records the codes picked for
// selling; notifications are recorded, not routed (the tests refill the views themselves).
struct TradeTestClient : tavix::test::GuiTestClient<tavix::test::RecordingNotifier> {
    explicit TradeTestClient(net::LinkTimings timings = {})
        : GuiTestClient({.withFrame = true, .timings = timings}) {}
};

} // namespace trade_test
