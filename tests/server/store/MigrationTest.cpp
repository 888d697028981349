// A contest written by the release before migrations 2 and 3 opens on this one, on whichever
// store the run uses, and keeps every account, holding and open order; and both stores end
// their migrations with the same tables and columns.

#include "server/ledger/Ledger.h"
#include "server/market/Market.h"
#include "server/store/Store.h"
#include "tests/support/ServerHarness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

using namespace tavix::test;

namespace {

std::string Script(const char* name) {
    std::ifstream in(std::filesystem::path(TAVIX_TEST_DATA_DIR) / name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::int64_t Count(server::Store& store, const char* sql) {
    server::Statement count = store.Prepare(sql);
    return count.Step() ? count.Int(0) : -1;
}

// Table name → column names, the stores' own bookkeeping left out.
using Columns = std::map<std::string, std::set<std::string>>;

Columns SqliteColumns(server::Store& store) {
    Columns columns;
    server::Statement rows = store.Prepare("SELECT m.name, c.name FROM sqlite_master m, pragma_table_info(m.name) c "
                                           "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite_%'");
    while (rows.Step())
        columns[rows.Text(0)].insert(rows.Text(1));
    return columns;
}

Columns PgColumns(server::Store& store) {
    Columns columns;
    server::Statement rows =
        store.Prepare("SELECT table_name, column_name FROM information_schema.columns "
                      "WHERE table_schema = current_schema() AND table_name <> 'schema_migrations'");
    while (rows.Step())
        columns[rows.Text(0)].insert(rows.Text(1));
    return columns;
}

TEST(MigrationTest, AContestOfThePreviousReleaseOpensWithItsAccountsAndOrders) {
    ScratchDir dir;
    TestDatabase db(dir.Path());
    {
        auto old = server::OpenStore(db.Location());
        old->Execute(Script(db.IsPostgres() ? "release1-pg.sql" : "release1-sqlite.sql").c_str());
        old->Execute(Script("release1-contest.sql").c_str());
        if (db.IsPostgres()) // that release numbered its rows from the sequences; the script names them
            old->Execute("SELECT setval(pg_get_serial_sequence(t, 'id'), 10) FROM "
                         "unnest(ARRAY['users', 'orders', 'trades', 'funds_flow', 'statements']) t");
    }
    auto store = server::OpenStore(db.Location());
    ASSERT_EQ(store->AppliedMigrations(), 1);
    store->Migrate();
    EXPECT_EQ(store->AppliedMigrations(), store->KnownMigrations());
    EXPECT_EQ(store->KnownMigrations(), 5);
    // Migration 3 gives the stored prices their day's figures, zero until the next tick.
    EXPECT_EQ(Count(*store, "SELECT last FROM prices WHERE code = '600000'"), 1012);
    EXPECT_EQ(Count(*store, "SELECT open + high + low + volume + amount FROM prices"), 0);
    EXPECT_EQ(Count(*store, "SELECT COUNT(*) FROM daily_totals"), 0);

    server::Market market{1, 10, 20};
    server::Ledger ledger{*store, market, net::FeeSchedule{}, nullptr};
    store->Begin();
    ledger.Load();
    EXPECT_EQ(ledger.Day(), "2026-03-05");
    server::Account* old = ledger.FindAccount("old");
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->cash, 98'999'490);
    EXPECT_EQ(old->frozen, 95'501);
    EXPECT_EQ(old->Available(), 98'903'989);
    ASSERT_EQ(old->positions.count("600000"), 1u);
    EXPECT_EQ(old->positions["600000"].balance, 1000);
    EXPECT_EQ(old->positions["600000"].available, 1000);
    EXPECT_EQ(old->positions["600000"].cost, 1'000'510);
    ASSERT_EQ(ledger.OpenOrders().size(), 1u);
    EXPECT_EQ(ledger.OpenOrders().begin()->first, 2);
    EXPECT_EQ(ledger.OpenOrders().begin()->second.frozenCash, 95'501);

    // The day closes on the migrated tables: the resting buy expires and gives its money
    // back, and the account's close is recorded in migration 2's table.
    ledger.Rollover("2026-03-06", server::LocalTime{"2026-03-05", "15:00:00", 15 * 60});
    ledger.Flush();
    store->Commit();
    EXPECT_EQ(old->frozen, 0);
    EXPECT_EQ(old->cash, 98'999'490);
    EXPECT_TRUE(ledger.OpenOrders().empty());
    EXPECT_EQ(Count(*store, "SELECT COUNT(*) FROM daily_totals WHERE user_id = 1"), 1);
    EXPECT_EQ(Count(*store, "SELECT status FROM orders WHERE id = 2"), 3); // expired
    EXPECT_EQ(Count(*store, "SELECT COUNT(*) FROM closed_days"), 2);
}

// Every table and column one store has, the other has too (the PostgreSQL run compares them
// with a SQLite contest beside it).
TEST(MigrationTest, BothStoresHaveTheSameTablesAndColumns) {
    ScratchDir dir;
    TestDatabase db(dir.Path());
    if (!db.IsPostgres())
        GTEST_SKIP() << "compared in the PostgreSQL run";
    auto pg = server::OpenStore(db.Location());
    pg->Migrate();
    auto sqlite = server::OpenStore((dir.Path() / "beside.db").string());
    sqlite->Migrate();
    const Columns inSqlite = SqliteColumns(*sqlite);
    const Columns inPg = PgColumns(*pg);
    EXPECT_GE(inSqlite.size(), 14u);
    EXPECT_EQ(inSqlite.at("prices"),
              (std::set<std::string>{"code", "day", "prev_close", "last", "open", "high", "low", "volume", "amount"}));
    EXPECT_EQ(inSqlite, inPg);
}

} // namespace
