// The engine's batches on their own: a request that cannot be written, order numbers across
// a takeover, a batch of thousands, the log's syncing thread, a crash between a batch's commit
// and its answers, the day rollover while serving, and the market's prices across a restart.

#include "server/engine/Engine.h"
#include "server/engine/LogSyncer.h"
#include "server/ledger/UserDirectory.h"
#include "server/store/pg/PgStore.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "tests/support/TestClock.h"
#include "wire/Commands.h"
#include "wire/SplitText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace tavix::test;
using namespace std::chrono_literals;

namespace {

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
        server::LogSyncer syncer(
            [&] {
                int mine = 0;
                {
                    std::lock_guard lock(mutex);
                    mine = ++begun;
                }
                std::this_thread::sleep_for(5ms);
                std::lock_guard lock(mutex);
                lastFinished = mine;
                return std::string();
            },
            {});
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

TEST(LogSyncerTest, AFailedSyncIsFinalAndNothingThatWaitedForItIsDelivered) {
    std::atomic<bool> failing{false};
    std::mutex mutex;
    std::vector<int> delivered;
    std::vector<std::string> reported;
    const auto deliver = [&](int n) {
        return [&, n] {
            std::lock_guard lock(mutex);
            delivered.push_back(n);
        };
    };
    {
        server::LogSyncer syncer([&] { return failing ? std::string("injected: Input/output error") : std::string(); },
                                 [&](const std::string& why) {
                                     std::lock_guard lock(mutex);
                                     reported.push_back(why);
                                 });
        std::promise<void> first;
        syncer.Hand([&] {
            deliver(1)();
            first.set_value();
        });
        ASSERT_EQ(first.get_future().wait_for(10s), std::future_status::ready);
        failing = true;
        syncer.Hand(deliver(2));        // its sync fails
        syncer.Hand(deliver(3), false); // a rolled-back batch's answers, behind it
        EXPECT_THROW(syncer.SyncNow(), std::runtime_error);
        // The disk answers again: a sync now proves nothing about the pages the failed one lost.
        failing = false;
        syncer.Hand(deliver(4));
        EXPECT_THROW(syncer.SyncNow(), std::runtime_error);
    } // whatever was still pending had its chance
    EXPECT_EQ(delivered, std::vector<int>{1});
    ASSERT_EQ(reported.size(), 1u) << "told once";
    EXPECT_NE(reported[0].find("injected: Input/output error"), std::string::npos) << reported[0];
}

// An engine over a store of its own, trading against the fixed book as "amy".
struct LoneEngine {
    ScratchDir dir;
    TestDatabase db{dir.Path()};
    server::ServerOptions options;
    std::unique_ptr<server::UserDirectory> directory;
    std::unique_ptr<server::Engine> engine;
    std::promise<void> stopped; // OnStoreLost

    LoneEngine() {
        options.dbPath = db.Location();
        options.tickMs = kNoTicks;
        options.quotesCsv = (dir.Path() / "book.csv").string();
        std::ofstream(options.quotesCsv) << FixedBookCsv();
    }
    void Serve(bool addAmy) {
        directory = std::make_unique<server::UserDirectory>();
        engine = std::make_unique<server::Engine>(options, *directory);
        engine->Open();
        if (addAmy)
            engine->RunNow([](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
                ledger.AddUser("amy", "hash", 100'000'000, "", "", now.day, now.time);
                return std::nullopt;
            });
        engine->OnStoreLost([this] { stopped.set_value(); });
        engine->Start({});
    }
    // Posts a resting buy of amy's; `answered` is set if an answer ever comes.
    void Post(std::promise<std::string>& answer, std::atomic<bool>& answered) {
        engine->Post(
            [](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
                return ledger.PlaceOrder(*ledger.FindAccount("amy"), "600000", "9.50", "100", "1", now.time);
            },
            [&](std::optional<std::string> a) {
                answered = true;
                answer.set_value(a.value_or(""));
            },
            std::string("1,busy"));
    }
    std::string Place() {
        std::promise<std::string> answer;
        std::atomic<bool> answered{false};
        Post(answer, answered);
        auto future = answer.get_future();
        EXPECT_EQ(future.wait_for(10s), std::future_status::ready);
        return future.wait_for(0s) == std::future_status::ready ? future.get() : "";
    }
    std::int64_t StoredOrders() {
        auto store = server::OpenStore(options.dbPath);
        server::Statement count = store->Prepare("SELECT COUNT(*) FROM orders");
        return count.Step() ? count.Int(0) : -1;
    }
};

// A crash between a batch's commit and its answers, as a failed sync of the log: the batch is
// never answered, nor is anything after it, and the server stops; the next start recovers the
// commit from the log, and numbers go on after it.
TEST(EngineSyncTest, AFailedSyncStopsTheServerAndItsBatchIsNeverAnswered) {
    LoneEngine lone;
    if (lone.db.IsPostgres())
        GTEST_SKIP() << "the log's sync is a SQLite store's";
    std::atomic<bool> failing{false};
    lone.options.logSync = [&] { return failing ? std::string("injected: Input/output error") : std::string(); };
    lone.Serve(true);
    EXPECT_TRUE(lone.Place().starts_with("0,委托已受理，合同编号1"));

    failing = true;
    std::promise<std::string> second, third;
    std::atomic<bool> secondAnswered{false}, thirdAnswered{false};
    lone.Post(second, secondAnswered);
    ASSERT_EQ(lone.stopped.get_future().wait_for(10s), std::future_status::ready);
    lone.Post(third, thirdAnswered);
    failing = false; // a sync that works again changes nothing
    lone.engine->Stop();
    EXPECT_FALSE(secondAnswered) << "answered a batch whose sync failed";
    EXPECT_FALSE(thirdAnswered) << "answered after a failed sync";
    lone.engine.reset();
    const std::filesystem::path log = lone.options.dbPath + "-wal";
    EXPECT_TRUE(std::filesystem::exists(log) && std::filesystem::file_size(log) > 0)
        << "the log was copied into the database at close instead of left for recovery";

    lone.options.logSync = {};
    lone.Serve(false);
    EXPECT_TRUE(lone.Place().starts_with("0,委托已受理，合同编号3")) << "the unanswered commit holds number 2";
    EXPECT_EQ(lone.StoredOrders(), 3) << "nothing after the failed sync was applied";
}

// The same crash on PostgreSQL: the connection breaks while the database commits (its commit
// waits for a lock the test holds), so nobody can know whether the batch committed. The
// server says nothing of it, not even "busy", and stops; here the commit did go through once
// the lock was let go, as a refusal would have denied.
TEST(EngineSyncTest, AConnectionThatBreaksWhilePostgresCommitsStopsTheServerUnanswered) {
    LoneEngine lone;
    if (!lone.db.IsPostgres())
        GTEST_SKIP() << "a PostgreSQL store's";
    const std::string direct = lone.options.dbPath;
    const auto hostAt = direct.find("host=") + 5;
    FaultProxy proxy(direct.substr(hostAt, direct.find('&', hostAt) - hostAt) + "/.s.PGSQL.5432");
    lone.options.dbPath =
        "postgresql:///" + lone.db.Name() + "?host=127.0.0.1&port=" + std::to_string(proxy.Port()) + "&user=postgres";
    lone.Serve(true);
    EXPECT_TRUE(lone.Place().starts_with("0,委托已受理，合同编号1"));

    server::PgStore admin(direct);
    admin.Execute("CREATE FUNCTION wait_at_commit() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN PERFORM "
                  "pg_advisory_xact_lock(4711); RETURN NULL; END$$; CREATE CONSTRAINT TRIGGER wait_at_commit AFTER "
                  "INSERT ON orders DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION wait_at_commit()");
    server::PgStore holder(direct);
    holder.Execute("SELECT pg_advisory_lock(4711)");
    std::promise<std::string> second;
    std::atomic<bool> answered{false};
    lone.Post(second, answered);
    const auto waiting = [&] {
        server::Statement s = admin.Prepare("SELECT COUNT(*) FROM pg_locks WHERE locktype = 'advisory' AND objid = "
                                            "4711 AND NOT granted");
        return s.Step() && s.Int(0) == 1;
    };
    ASSERT_TRUE(WaitUntil(waiting, 10s)) << "the commit never waited";
    proxy.CutAll();
    ASSERT_EQ(lone.stopped.get_future().wait_for(10s), std::future_status::ready);
    holder.Execute("SELECT pg_advisory_unlock(4711)");
    ASSERT_TRUE(WaitUntil([&] { return lone.StoredOrders() == 2; }, 10s)) << "the broken commit went through after all";
    lone.engine->Stop();
    EXPECT_FALSE(answered) << "answered " << (answered ? second.get_future().get() : "");

    admin.Execute("DROP TRIGGER wait_at_commit ON orders");
    lone.options.dbPath = direct;
    lone.Serve(false);
    EXPECT_TRUE(lone.Place().starts_with("0,委托已受理，合同编号3")) << "the unanswered commit holds number 2";
}

TEST(EngineRolloverTest, MidnightClosesTheDayWhileServing) {
    auto clock = std::make_shared<TestClock>(At(day::kMonday, day::kMidMorning));
    ServerHarness harness([clock](server::ServerOptions& o) {
        o.tickMs = kNoTicks;
        o.clock = [clock] { return (*clock)(); };
    });
    harness.AddUser("amy", "pw");
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime& now) {
        EXPECT_EQ(ledger.Day(), day::kMonday);
        server::Account& amy = *ledger.FindAccount("amy");
        EXPECT_TRUE(ledger.PlaceOrder(amy, "600000", "10.00", "100", "1", now.time).starts_with("0,")); // fills
        EXPECT_TRUE(ledger.PlaceOrder(amy, "600000", "9.50", "100", "1", now.time).starts_with("0,"));  // rests
        EXPECT_EQ(amy.positions.at("600000").available, 0);
        EXPECT_GT(amy.frozen, 0);
    });

    // A minute before midnight nothing changes.
    clock->Set(At(day::kMonday, {23, 59}));
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime&) {
        EXPECT_EQ(ledger.Day(), day::kMonday);
        EXPECT_EQ(ledger.OpenOrderCount(), 1u);
    });

    // The first batch of the new day rolls over before it does anything else.
    clock->Set(At(day::kTuesday, {0, 0, 1}));
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime&) {
        EXPECT_EQ(ledger.Day(), day::kTuesday);
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
    auto clock = std::make_shared<TestClock>(At(day::kMonday, day::kMidMorning));
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
    clock->Set(At(day::kTuesday, {9, 0}));
    server::UserDirectory directory;
    server::Engine engine(options, directory);
    engine.Open();
    const auto nextDay = Prices(*engine.Snapshot());
    ASSERT_EQ(nextDay.size(), before.size());
    for (const auto& [code, prices] : before)
        EXPECT_EQ(nextDay.at(code).second, prices.first) << code;
}

} // namespace
