// The engine's batches on their own: a request that cannot be written, order numbers across
// a takeover, a batch of thousands, the log's syncing thread, the day rollover while
// serving, and the market's prices across a restart.

#include "server/engine/Engine.h"
#include "server/engine/LogSyncer.h"
#include "server/ledger/UserDirectory.h"
#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"
#include "wire/SplitText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace tavix::test;
using namespace std::chrono_literals;

namespace {

// A wall clock the test moves by hand.
class TestClock final {
public:
    void Set(std::string day, std::string time, int minuteOfDay) {
        std::lock_guard lock(mutex_);
        now_ = {std::move(day), std::move(time), minuteOfDay};
    }
    server::LocalTime operator()() const {
        std::lock_guard lock(mutex_);
        return now_;
    }

private:
    mutable std::mutex mutex_;
    server::LocalTime now_{"2026-03-02", "10:00:00", 600};
};

constexpr int kNoTicks = 3'600'000; // one tick an hour: the fixed book stays as the test leaves it

// Holds the engine inside one batch until the returned promise is kept, so that what is
// posted meanwhile is applied together as the next batch.
std::promise<void> HoldEngine(ServerHarness& harness) {
    std::promise<void> holding, release;
    auto released = release.get_future().share();
    harness.Post(
        [&holding, released](server::Ledger&, const server::LocalTime&) -> std::optional<std::string> {
            holding.set_value();
            released.wait();
            return std::nullopt;
        },
        [](std::optional<std::string>) {}, std::nullopt);
    EXPECT_EQ(holding.get_future().wait_for(10s), std::future_status::ready);
    return release;
}

// Posts an order of `name` and returns where its answer will be.
std::future<std::optional<std::string>> PostOrder(ServerHarness& harness, const std::string& name, const char* price,
                                                  const char* qty) {
    auto answer = std::make_shared<std::promise<std::optional<std::string>>>();
    auto future = answer->get_future();
    harness.Post(
        [=](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
            return ledger.PlaceOrder(*ledger.FindAccount(name), "600000", price, qty, "1", now.time);
        },
        [answer](std::optional<std::string> a) { answer->set_value(std::move(a)); }, std::string("1,busy"));
    return future;
}

TEST(EngineBatchTest, ARequestThatCannotBeWrittenFailsAloneAndTheOthersCommit) {
    ServerHarness harness([](server::ServerOptions& o) { o.tickMs = kNoTicks; });
    harness.AddUser("amy", "pw");
    harness.AddUser("bob", "pw");
    harness.AddUser("cat", "pw");

    std::promise<void> release = HoldEngine(harness);
    auto bob = PostOrder(harness, "bob", "10.00", "100");
    // amy's request fills 200 shares at 10.00 (the rest of that level), then writes a value
    // the store refuses: PostgreSQL takes no bytes that are not UTF-8 (as with a quotes file
    // in GBK); SQLite takes any bytes but no second account of one name. On PostgreSQL nothing
    // is read after the refused write, so a store that sends writes on without waiting must
    // still learn of it before the request is done.
    const bool pg = server::IsPostgresLocation(harness.Options().dbPath);
    std::promise<std::optional<std::string>> amyAnswer;
    std::string placed;
    harness.Post(
        [&placed, pg](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
            server::Account& amy = *ledger.FindAccount("amy");
            placed = ledger.PlaceOrder(amy, "600000", "10.00", "200", "1", now.time);
            if (pg)
                ledger.SetPasswordHash(amy, "\xba\xaa\xb5\xa6");
            else
                ledger.AddUser("bob", "hash", 100, "", "", now.day, now.time);
            return placed;
        },
        [&](std::optional<std::string> answer) { amyAnswer.set_value(std::move(answer)); }, std::string("9,busy"));
    auto cat = PostOrder(harness, "cat", "9.50", "100");
    release.set_value();

    auto amy = amyAnswer.get_future();
    ASSERT_EQ(amy.wait_for(10s), std::future_status::ready);
    ASSERT_EQ(bob.wait_for(10s), std::future_status::ready);
    ASSERT_EQ(cat.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(placed.starts_with("0,")) << "the order was applied before the request broke: " << placed;
    EXPECT_EQ(amy.get(), std::optional<std::string>("9,busy"));
    const auto bobAnswer = bob.get();
    const auto catAnswer = cat.get();
    ASSERT_TRUE(bobAnswer && catAnswer);
    EXPECT_TRUE(bobAnswer->starts_with("0,")) << *bobAnswer;
    EXPECT_TRUE(catAnswer->starts_with("0,")) << *catAnswer;

    // amy's account is as the store holds it, and the shares her lost fill took are on offer
    // again: the same order fills whole at 10.00. The others' orders are stored.
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime& now) {
        server::Account& amy = *ledger.FindAccount("amy");
        EXPECT_EQ(amy.cash, 100'000'000);
        EXPECT_EQ(amy.frozen, 0);
        EXPECT_TRUE(amy.positions.empty());
        EXPECT_EQ(ledger.OrdersReply(amy, "0", "9"), "");
        EXPECT_EQ(ledger.OpenOrderCount(), 1u) << "cat's order rests";
        const server::Account& bob = *ledger.FindAccount("bob");
        ASSERT_EQ(bob.positions.count("600000"), 1u);
        EXPECT_EQ(bob.positions.at("600000").balance, 100);
        EXPECT_EQ(net::SplitText(ledger.OrdersReply(*ledger.FindAccount("cat"), "0", "9"), "|").size(), 2u);
        const std::string again = ledger.PlaceOrder(amy, "600000", "10.00", "200", "1", now.time);
        EXPECT_TRUE(again.starts_with("0,")) << again;
        ASSERT_EQ(amy.positions.count("600000"), 1u) << "nothing filled: the book lost the volume";
        EXPECT_EQ(amy.positions.at("600000").balance, 200);
        // 2,000.00 + commission 5.00 (minimum) + transfer fee 0.02 (2,000.00 x 0.00001).
        EXPECT_EQ(amy.cash, 100'000'000 - 200'000 - 500 - 2);
    });
}

TEST(EngineBatchTest, OrderNumbersGoOnAfterAnotherServerTakesTheStoreOver) {
    ScratchDir dir;
    TestDatabase db(dir.Path());
    server::ServerOptions options;
    options.dbPath = db.Location();
    options.tickMs = kNoTicks;
    options.quotesCsv = (dir.Path() / "book.csv").string();
    std::ofstream(options.quotesCsv) << FixedBookCsv();
    const auto place = [](server::Engine& engine, const char* price) {
        std::promise<std::optional<std::string>> answer;
        engine.Post(
            [price](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
                return ledger.PlaceOrder(*ledger.FindAccount("amy"), "600000", price, "100", "1", now.time);
            },
            [&](std::optional<std::string> a) { answer.set_value(std::move(a)); });
        auto future = answer.get_future();
        EXPECT_EQ(future.wait_for(10s), std::future_status::ready);
        return future.get().value_or("");
    };
    {
        server::UserDirectory directory;
        server::Engine leader(options, directory);
        leader.Open(true);
        leader.RunNow([](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
            ledger.AddUser("amy", "hash", 100'000'000, "", "", now.day, now.time);
            return std::nullopt;
        });
        leader.Start({});
        EXPECT_TRUE(place(leader, "9.50").starts_with("0,委托已受理，合同编号1")) << "numbers start at 1";
        EXPECT_TRUE(place(leader, "9.50").starts_with("0,委托已受理，合同编号2"));
        // A request that fails alone takes no number with it.
        std::promise<void> failed;
        leader.Post(
            [](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
                ledger.PlaceOrder(*ledger.FindAccount("amy"), "600000", "9.50", "100", "1", now.time);
                throw std::runtime_error("cannot be written");
            },
            [&](std::optional<std::string>) { failed.set_value(); });
        EXPECT_EQ(failed.get_future().wait_for(10s), std::future_status::ready);
        EXPECT_TRUE(place(leader, "9.50").starts_with("0,委托已受理，合同编号3"));
    } // the leader is gone, and its connection with it
    server::UserDirectory directory;
    server::Engine next(options, directory);
    next.Open(true);
    next.Start({});
    EXPECT_TRUE(place(next, "9.50").starts_with("0,委托已受理，合同编号4"));
}

// The store refuses one stock's orders (as PostgreSQL refused names that were not UTF-8):
// over the wire, that order fails alone, and the others of its batch, of its own account and
// of another, are stored.
TEST(EngineBatchTest, AnOrderTheStoreRefusesFailsAloneOverTheWire) {
    ServerHarness harness([](server::ServerOptions& o) { o.tickMs = kNoTicks; });
    harness.AddUser("amy", "pw");
    harness.AddUser("bob", "pw");
    {
        auto store = server::OpenStore(harness.Options().dbPath);
        if (server::IsPostgresLocation(harness.Options().dbPath))
            store->Execute("CREATE FUNCTION refuse_300750() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN IF "
                           "NEW.code = '300750' THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END$$; "
                           "CREATE TRIGGER refuse_300750 BEFORE INSERT ON orders FOR EACH ROW EXECUTE FUNCTION "
                           "refuse_300750()");
        else
            store->Execute("CREATE TRIGGER refuse_300750 BEFORE INSERT ON orders WHEN NEW.code = '300750' "
                           "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
    TestClient amy(harness.Port());
    TestClient bob(harness.Port());
    ASSERT_EQ(Fields(amy.Login("amy", "pw"), ",,,")[0], "0");
    ASSERT_EQ(Fields(bob.Login("bob", "pw"), ",,,")[0], "0");
    const auto order = [](const char* code) {
        return std::string("code=") + code + "&price=9.50&num=100&name=x&type=1";
    };

    std::promise<void> release = HoldEngine(harness);
    amy.Send(net::kCmdOrder, order("600000"));
    amy.Send(net::kCmdOrder, order("300750"));
    amy.Send(net::kCmdOrder, order("000001"));
    for (int i = 0; i < 3; ++i)
        bob.Send(net::kCmdOrder, order("600000"));
    std::this_thread::sleep_for(300ms); // read and queued behind the held batch
    release.set_value();

    std::vector<std::string> amyAnswers;
    for (int i = 0; i < 3; ++i) {
        const auto reply = amy.NextAnswer(10s);
        ASSERT_TRUE(reply);
        amyAnswers.push_back(reply->body);
    }
    EXPECT_TRUE(amyAnswers[0].starts_with("0,")) << amyAnswers[0];
    EXPECT_EQ(amyAnswers[1], "1,系统繁忙，委托未受理，请稍后再试");
    EXPECT_TRUE(amyAnswers[2].starts_with("0,")) << amyAnswers[2];
    for (int i = 0; i < 3; ++i) {
        const auto reply = bob.NextAnswer(10s);
        ASSERT_TRUE(reply);
        EXPECT_TRUE(reply->body.starts_with("0,")) << reply->body;
    }
    EXPECT_EQ(harness.GetEngine().GetMetrics().requestsFailed.load(), 1u)
        << "the refused order was in the others' batch";
    const auto amyOrders = Records(amy.Request(net::kCmdTodayOrders, "start=1-1-1"));
    ASSERT_EQ(amyOrders.size(), 2u);
    EXPECT_EQ(amyOrders[0][0], "600000");
    EXPECT_EQ(amyOrders[1][0], "000001");
    EXPECT_EQ(Records(bob.Request(net::kCmdTodayOrders, "start=1-1-1")).size(), 3u);
}

TEST(EngineBatchTest, ABatchOfThousandsOfOrdersIsWrittenWhole) {
    // More statements than one round trip's buffers hold: a store that sends them on without
    // reading must neither stall nor lose any.
    ServerHarness harness([](server::ServerOptions& o) {
        o.tickMs = kNoTicks;
        o.maxOpenOrders = 10'000; // one account's thousands, past the usual cap
    });
    harness.AddUser("amy", "pw", 1'000'000'000);
    std::promise<void> release = HoldEngine(harness);
    constexpr int kOrders = 3000;
    std::vector<std::future<std::optional<std::string>>> answers;
    for (int i = 0; i < kOrders; ++i)
        answers.push_back(PostOrder(harness, "amy", "9.50", "100"));
    release.set_value();
    for (auto& answer : answers) {
        ASSERT_EQ(answer.wait_for(30s), std::future_status::ready);
        const auto text = answer.get();
        ASSERT_TRUE(text && text->starts_with("0,")) << text.value_or("no answer");
    }
    auto store = server::OpenStore(harness.Options().dbPath);
    server::Statement count = store->Prepare("SELECT COUNT(*), MAX(id) FROM orders WHERE status=0");
    ASSERT_TRUE(count.Step());
    EXPECT_EQ(count.Int(0), kOrders);
    EXPECT_EQ(count.Int(1), kOrders);
    count.Reset();
    // Each order holds 950.00 + 5.00 commission + 0.01 transfer fee.
    server::Statement cash = store->Prepare("SELECT frozen FROM users WHERE name='amy'");
    ASSERT_TRUE(cash.Step());
    EXPECT_EQ(cash.Int(0), kOrders * (95'000 + 500 + 1));
}

TEST(LogSyncerTest, NothingIsDeliveredBeforeASyncThatBeganAfterItWasHandedOver) {
    // Each sync takes a while and notes when it began; a delivery notes the newest sync that
    // had finished. A sync that began before a delivery was handed over does not count for it.
    std::mutex mutex;
    int begun = 0;
    int lastFinished = 0;                  // the number of the newest finished sync
    std::vector<std::pair<int, int>> seen; // (syncs begun at hand-over, newest finished at delivery)
    std::vector<int> order;
    {
        server::LogSyncer syncer([&] {
            int mine = 0;
            {
                std::lock_guard lock(mutex);
                mine = ++begun;
            }
            std::this_thread::sleep_for(5ms);
            std::lock_guard lock(mutex);
            lastFinished = mine;
            return true;
        });
        for (int i = 0; i < 40; ++i) {
            int begunNow = 0;
            {
                std::lock_guard lock(mutex);
                begunNow = begun;
            }
            // Every fourth is a batch that was rolled back: no sync needed, order kept.
            const bool durable = i % 4 != 3;
            syncer.Hand(
                [&, i, begunNow, durable] {
                    std::lock_guard lock(mutex);
                    order.push_back(i);
                    if (durable)
                        seen.emplace_back(begunNow, lastFinished);
                },
                durable);
            std::this_thread::sleep_for(std::chrono::microseconds(700 * (i % 5)));
        }
    } // the last ones are delivered before the syncer is gone
    ASSERT_EQ(order.size(), 40u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    for (const auto& [begunAtHand, finished] : seen)
        EXPECT_GT(finished, begunAtHand) << "delivered before a sync that began after it was handed over";
    EXPECT_LT(begun, 30) << "one sync covers what waits for it";
}

TEST(EngineRolloverTest, MidnightClosesTheDayWhileServing) {
    auto clock = std::make_shared<TestClock>();
    ServerHarness harness([clock](server::ServerOptions& o) {
        o.tickMs = kNoTicks;
        o.clock = [clock] { return (*clock)(); };
    });
    harness.AddUser("amy", "pw");
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime& now) {
        EXPECT_EQ(ledger.Day(), "2026-03-02");
        server::Account& amy = *ledger.FindAccount("amy");
        EXPECT_TRUE(ledger.PlaceOrder(amy, "600000", "10.00", "100", "1", now.time).starts_with("0,")); // fills
        EXPECT_TRUE(ledger.PlaceOrder(amy, "600000", "9.50", "100", "1", now.time).starts_with("0,"));  // rests
        EXPECT_EQ(amy.positions.at("600000").available, 0);
        EXPECT_GT(amy.frozen, 0);
    });

    // A minute before midnight nothing changes.
    clock->Set("2026-03-02", "23:59:00", 23 * 60 + 59);
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime&) {
        EXPECT_EQ(ledger.Day(), "2026-03-02");
        EXPECT_EQ(ledger.OpenOrderCount(), 1u);
    });

    // The first batch of the new day rolls over before it does anything else.
    clock->Set("2026-03-03", "00:00:01", 0);
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime&) {
        EXPECT_EQ(ledger.Day(), "2026-03-03");
        const server::Account& amy = *ledger.FindAccount("amy");
        EXPECT_EQ(ledger.OpenOrderCount(), 0u) << "open orders expire with their day";
        EXPECT_EQ(amy.frozen, 0);
        EXPECT_EQ(amy.positions.at("600000").available, 100) << "yesterday's buy is sellable";
    });
}

// last and previous close of every security, from the records the engine sends out.
std::map<std::string, std::pair<std::string, std::string>> Prices(const server::QuoteSnapshot& snapshot) {
    std::map<std::string, std::pair<std::string, std::string>> prices;
    for (const auto& [code, record] : snapshot.records) {
        const auto fields = net::SplitText(record, ",");
        if (fields.size() > 3)
            prices[code] = {std::string(fields[2]), std::string(fields[3])};
    }
    return prices;
}

TEST(EngineRestartTest, TheSimulatedMarketContinuesFromItsStoredPrices) {
    ScratchDir dir;
    auto clock = std::make_shared<TestClock>();
    server::ServerOptions options;
    options.dbPath = (dir.Path() / "quorvex.db").string();
    options.tickMs = 10;
    options.clock = [clock] { return (*clock)(); };

    std::map<std::string, std::pair<std::string, std::string>> before;
    {
        server::UserDirectory directory;
        server::Engine engine(options, directory);
        engine.Open();
        const auto opening = Prices(*engine.Snapshot());
        std::promise<void> moved;
        bool signalled = false;
        engine.Start([&](server::QuoteSnapshotPtr snapshot) {
            if (!signalled && snapshot->tick >= 30) {
                signalled = true;
                moved.set_value();
            }
        });
        ASSERT_EQ(moved.get_future().wait_for(30s), std::future_status::ready);
        engine.Stop();
        before = Prices(*engine.Snapshot());
        ASSERT_FALSE(before.empty());
        EXPECT_NE(before, opening) << "thirty ticks moved no price";
    }

    // The same day with another seed: prices go on from where they stood.
    options.seed = 99;
    {
        server::UserDirectory directory;
        server::Engine engine(options, directory);
        engine.Open();
        EXPECT_EQ(Prices(*engine.Snapshot()), before);
    }

    // The next day: yesterday's last price is the previous close.
    clock->Set("2026-03-03", "09:00:00", 540);
    server::UserDirectory directory;
    server::Engine engine(options, directory);
    engine.Open();
    const auto nextDay = Prices(*engine.Snapshot());
    ASSERT_EQ(nextDay.size(), before.size());
    for (const auto& [code, prices] : before)
        EXPECT_EQ(nextDay.at(code).second, prices.first) << code;
}

} // namespace
