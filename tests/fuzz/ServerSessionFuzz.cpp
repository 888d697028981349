// A whole session's frame stream on the server: framing, GBK decoding, query strings and
// every request handler, against a contest in an in-memory database. Each answer must fit a
// frame and convert back to the UTF-8 it came from, and after every frame the money adds up:
// cash is never negative nor less than what is frozen, the frozen cash is what the open
// orders hold, and each holding's frozen shares are what its open sells have left to sell.
//
// The contest is made once. Every input runs in a transaction that is rolled back
// afterwards, with the market rewound and the accounts reloaded: the engine's own way back
// from a failed batch, so each input starts from the same contest.
#include "FuzzCheck.h"

#include "server/engine/GbkCodec.h"
#include "server/engine/QueryString.h"
#include "server/engine/Replies.h"
#include "server/engine/Requests.h"
#include "server/engine/ServerOptions.h"
#include "server/ledger/Ledger.h"
#include "server/ledger/UserDirectory.h"
#include "server/market/LocalTime.h"
#include "server/market/Market.h"
#include "server/store/Store.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace {

std::unique_ptr<server::Store> MigratedStore() {
    auto db = server::OpenStore(":memory:", server::Synchronous::kNormal);
    db->Migrate();
    return db;
}

struct Contest {
    server::ServerOptions options;
    server::UserDirectory directory;
    std::unique_ptr<server::Store> db = MigratedStore();
    server::Market market{options.seed, options.mainLimitPercent, options.growthLimitPercent};
    server::Ledger ledger{*db, market, options.fees, &directory};
    // A Monday morning while the market is open: orders are taken and matched.
    server::LocalTime now{"2026-12-07", "10:30:00", 10 * 60 + 30};
    std::int64_t userId = 0;
    std::string funds;
    std::string positions;

    // The account holds 1,000 shares of 600000 bought the trading day before, so that sells
    // are taken and freeze shares.
    Contest() {
        const server::LocalTime friday{"2026-12-04", "14:00:00", 14 * 60};
        db->Begin();
        ledger.Load();
        ledger.SetDay(friday.day);
        userId = ledger.AddUser("fuzz", "-", 100'000'000, "A000001", "0000001", friday.day, friday.time);
        const std::string ask = server::FormatCents(market.Find("600000")->asks[0].price);
        FUZZ_CHECK(ledger.PlaceOrder(*ledger.FindAccount(userId), "600000", ask, "1000", "1", friday.time).Accepted());
        ledger.Rollover(now.day, friday);
        ledger.Flush();
        db->Commit();
        FUZZ_CHECK(ledger.FindAccount(userId)->positions.at("600000").available == 1000);
        funds = Funds();
        positions = Positions();
    }
    std::string Funds() { return server::FundsReply(ledger.Funds(*ledger.FindAccount(userId))); }
    std::string Positions() { return server::PositionsReply(ledger.Positions(*ledger.FindAccount(userId))); }
};

void CheckMoney(const server::Ledger& ledger, const server::Account& account) {
    FUZZ_CHECK(account.cash >= 0);
    FUZZ_CHECK(account.frozen >= 0 && account.frozen <= account.cash);
    server::Cents held = 0;
    std::map<std::string, std::int64_t> selling;
    for (const std::int64_t id : account.openOrders) {
        const auto it = ledger.OpenOrders().find(id);
        FUZZ_CHECK(it != ledger.OpenOrders().end() && it->second.userId == account.id);
        const server::Order& order = it->second;
        FUZZ_CHECK(order.filled >= 0 && order.filled < order.qty && order.frozenCash >= 0);
        held += order.frozenCash;
        if (order.sell)
            selling[order.code] += order.qty - order.filled;
    }
    FUZZ_CHECK(held == account.frozen);
    for (const auto& [code, position] : account.positions) {
        const auto it = selling.find(code);
        FUZZ_CHECK(position.frozen == (it == selling.end() ? 0 : it->second));
        FUZZ_CHECK(position.available >= 0 && position.available + position.frozen <= position.balance);
    }
    for (const auto& [code, shares] : selling)
        FUZZ_CHECK(account.positions.count(code) == 1);
}

void RunFrames(Contest& contest, const std::uint8_t* data, std::size_t size) {
    net::FrameDecoder decoder;
    decoder.Append(reinterpret_cast<const char*>(data), size);
    net::Frame frame;
    while (decoder.Next(frame) == net::FrameDecoder::Status::kFrame) {
        const auto body = server::GbkToUtf8(frame.body);
        if (!body)
            continue;
        const auto query = server::QueryString::Parse(*body);
        if (!query)
            continue;
        const auto answer = server::HandleAccountRequest(contest.ledger, server::WindowAt(contest.options, contest.now),
                                                         contest.userId, frame.command, *query, contest.now);
        contest.ledger.MatchOpenOrders(contest.now.time);
        CheckMoney(contest.ledger, *contest.ledger.FindAccount(contest.userId));
        if (!answer)
            continue;
        const std::string gbk = server::Utf8ToGbk(answer->body);
        FUZZ_CHECK(gbk.size() + net::kHeaderSize <= net::kMaxFrameLength);
        const auto back = server::GbkToUtf8(gbk);
        FUZZ_CHECK(back.has_value());
        if (gbk.find('?') == std::string::npos)
            FUZZ_CHECK(*back == answer->body);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Contest contest;
    server::Market::Checkpoint market = contest.market.Save();
    contest.db->Begin();
    RunFrames(contest, data, size);
    contest.db->Rollback();
    contest.market.Rewind(std::move(market));
    contest.ledger.Load();
    CheckMoney(contest.ledger, *contest.ledger.FindAccount(contest.userId));
    // Whatever the batch did, the account is back where it was.
    FUZZ_CHECK(contest.Funds() == contest.funds);
    FUZZ_CHECK(contest.Positions() == contest.positions);
    return 0;
}
