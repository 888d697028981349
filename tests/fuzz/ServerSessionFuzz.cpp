// A whole session's frame stream on the server: framing, GBK decoding, query strings and
// every request handler, against a contest in an in-memory database. Each answer must fit a
// frame and convert back to the UTF-8 it came from.
//
// The contest is made once. Every input runs in a transaction that is rolled back
// afterwards, with the market rewound and the accounts reloaded: the engine's own way back
// from a failed batch, so each input starts from the same contest.
#include "FuzzCheck.h"

#include "server/engine/GbkCodec.h"
#include "server/engine/QueryString.h"
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

    Contest() {
        db->Begin();
        ledger.Load();
        ledger.SetDay(now.day);
        userId = ledger.AddUser("fuzz", "-", 100'000'000, "A000001", "0000001", now.day, now.time);
        db->Commit();
        funds = Funds();
        positions = Positions();
    }
    std::string Funds() { return ledger.FundsReply(*ledger.FindAccount(userId)); }
    std::string Positions() { return ledger.PositionsReply(*ledger.FindAccount(userId)); }
};

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
        if (!answer)
            continue;
        const std::string gbk = server::Utf8ToGbk(*answer);
        FUZZ_CHECK(gbk.size() + net::kHeaderSize <= net::kMaxFrameLength);
        const auto back = server::GbkToUtf8(gbk);
        FUZZ_CHECK(back.has_value());
        if (gbk.find('?') == std::string::npos)
            FUZZ_CHECK(*back == *answer);
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
    // Whatever the batch did, the account is back where it was.
    FUZZ_CHECK(contest.Funds() == contest.funds);
    FUZZ_CHECK(contest.Positions() == contest.positions);
    return 0;
}
