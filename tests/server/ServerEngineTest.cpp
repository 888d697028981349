// The engine's batches on their own: a batch that cannot be committed, the day rollover
// while serving, and the market's prices across a restart.

#include "server/engine/Engine.h"
#include "server/ledger/UserDirectory.h"
#include "tests/server/ServerHarness.h"
#include "wire/SplitText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>

using namespace servertest;
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

TEST(EngineBatchTest, AFailedBatchAnswersWithItsFailuresAndLosesNothingElse) {
    ServerHarness harness([](server::ServerOptions& o) { o.tickMs = kNoTicks; });
    harness.AddUser("amy", "pw");

    // The engine is held inside one batch while the next one queues up, so the order and
    // the request that breaks the batch are applied together.
    std::promise<void> holding, release;
    auto released = release.get_future().share();
    harness.Post(
        [&holding, released](server::Ledger&, const server::LocalTime&) -> std::optional<std::string> {
            holding.set_value();
            released.wait();
            return std::nullopt;
        },
        [](std::optional<std::string>) {}, std::nullopt);
    ASSERT_EQ(holding.get_future().wait_for(10s), std::future_status::ready);

    std::promise<std::optional<std::string>> orderAnswer, brokenAnswer;
    std::string placed;
    harness.Post(
        [&placed](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
            // 300 shares at 10.00: every share the book offers at that price.
            placed = ledger.PlaceOrder(*ledger.FindAccount("amy"), "600000", "10.00", "300", "1", now.time);
            return placed;
        },
        [&](std::optional<std::string> answer) { orderAnswer.set_value(std::move(answer)); },
        std::string("1,系统繁忙，委托未受理，请稍后再试"));
    harness.Post([](server::Ledger&,
                    const server::LocalTime&) -> std::optional<std::string> { throw std::runtime_error("disk full"); },
                 [&](std::optional<std::string> answer) { brokenAnswer.set_value(std::move(answer)); },
                 std::string("9,系统繁忙"));
    release.set_value();

    auto order = orderAnswer.get_future();
    auto broken = brokenAnswer.get_future();
    ASSERT_EQ(order.wait_for(10s), std::future_status::ready);
    ASSERT_EQ(broken.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(placed.starts_with("0,")) << "the order was applied before the batch broke: " << placed;
    EXPECT_EQ(order.get(), std::optional<std::string>("1,系统繁忙，委托未受理，请稍后再试"));
    EXPECT_EQ(broken.get(), std::optional<std::string>("9,系统繁忙"));

    // The account is as the database holds it, and the shares the lost fill took are on
    // offer again: the same order fills whole at 10.00.
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime& now) {
        server::Account& amy = *ledger.FindAccount("amy");
        EXPECT_EQ(amy.cash, 100'000'000);
        EXPECT_EQ(amy.frozen, 0);
        EXPECT_TRUE(amy.positions.empty());
        EXPECT_EQ(ledger.OpenOrderCount(), 0u);
        const std::string again = ledger.PlaceOrder(amy, "600000", "10.00", "300", "1", now.time);
        EXPECT_TRUE(again.starts_with("0,")) << again;
        ASSERT_EQ(amy.positions.count("600000"), 1u) << "nothing filled: the book lost the volume";
        EXPECT_EQ(amy.positions.at("600000").balance, 300);
        EXPECT_EQ(ledger.OpenOrderCount(), 0u);
        // 3,000.00 + commission 5.00 (minimum) + transfer fee 0.03 (3,000.00 x 0.00001).
        EXPECT_EQ(amy.cash, 100'000'000 - 300'000 - 500 - 3);
    });
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
