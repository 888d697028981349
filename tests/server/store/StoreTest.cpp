// The store under the ledger, on whichever store the run uses (SQLite, or PostgreSQL with
// QUORVEXD_TEST_PG_STATE): a write that fails is never committed and never goes unnoticed,
// values travel as values, and the migrations can run again on a store that has them.

#include "server/store/Store.h"
#ifndef QUORVEXD_NO_POSTGRESQL
#include "server/store/pg/PgStore.h"
#endif
#include "tests/support/ServerHarness.h"

#include <gtest/gtest.h>

using namespace tavix::test;

namespace {

std::int64_t CountMeta(server::Store& store, const char* key) {
    server::Statement count = store.Prepare("SELECT COUNT(*) FROM meta WHERE key=?");
    count.Bind(1, key);
    const std::int64_t n = count.Step() ? count.Int(0) : -1;
    count.Reset();
    return n;
}

class StoreTest : public ::testing::Test {
protected:
    StoreTest() {
        store = server::OpenStore(db.Location());
        store->Migrate();
    }
    ScratchDir dir;
    TestDatabase db{dir.Path()};
    std::unique_ptr<server::Store> store;
};

TEST_F(StoreTest, AFailedWriteFailsTheTransactionAndNothingOfItStays) {
    // Two rows with the same key: the second breaks the primary key. Nothing reads in
    // between, so a store that sends writes on without waiting must still report it.
    store->Begin();
    EXPECT_THROW(
        {
            store->Prepare("INSERT INTO meta(key, value) VALUES(?, ?)").Bind(1, "k").Bind(2, "one").Run();
            store->Prepare("INSERT INTO meta(key, value) VALUES(?, ?)").Bind(1, "k").Bind(2, "two").Run();
            store->Prepare("INSERT INTO meta(key, value) VALUES(?, ?)").Bind(1, "after").Bind(2, "x").Run();
            store->Commit();
        },
        server::DatabaseError);
    store->Rollback();
    EXPECT_EQ(CountMeta(*store, "k"), 0);
    EXPECT_EQ(CountMeta(*store, "after"), 0);

    // A failed write followed by a read: the read reports the failure.
    store->Begin();
    store->Prepare("INSERT INTO meta(key, value) VALUES(?, ?)").Bind(1, "day").Bind(2, "d1").Run();
    EXPECT_THROW(
        {
            store->Prepare("INSERT INTO meta(key, value) VALUES(?, ?)").Bind(1, "day").Bind(2, "d2").Run();
            server::Statement read = store->Prepare("SELECT value FROM meta WHERE key='day'");
            read.Step();
        },
        server::DatabaseError);
    store->Rollback();
    EXPECT_EQ(CountMeta(*store, "day"), 0);

    // The store works on after both failures, and a good transaction commits.
    store->Begin();
    store->Prepare("INSERT INTO meta(key, value) VALUES(?, ?)").Bind(1, "k").Bind(2, "ok").Run();
    store->Commit();
    EXPECT_EQ(CountMeta(*store, "k"), 1);
}

TEST_F(StoreTest, ValuesAreBoundNeverPastedIntoTheStatement) {
    const std::string nasty = "x'); DELETE FROM meta; --?\\\"张";
    store->Begin();
    store->Prepare("INSERT INTO meta(key, value) VALUES(?, ?)").Bind(1, "keep").Bind(2, "1").Run();
    // A question mark inside quotes is text, not a placeholder.
    store->Prepare("INSERT INTO meta(key, value) VALUES('what?', ?)").Bind(1, nasty).Run();
    store->Commit();
    server::Statement read = store->Prepare("SELECT value FROM meta WHERE key=?");
    read.Bind(1, "what?");
    ASSERT_TRUE(read.Step());
    EXPECT_EQ(read.Text(0), nasty);
    read.Reset();
    EXPECT_EQ(CountMeta(*store, "keep"), 1);
#ifndef QUORVEXD_NO_POSTGRESQL
    EXPECT_EQ(server::PgStore::NumberPlaceholders("a=? AND b='?' AND c=?"), "a=$1 AND b='?' AND c=$2");
#endif
}

TEST_F(StoreTest, MigratingAgainChangesNothingAndIdsComeFromTheStore) {
    store->Begin();
    store->Prepare("INSERT INTO users(name, pwhash, sh_account, sz_account, initial_cash, cash) VALUES(?,?,?,?,?,?)")
        .Bind(1, "amy")
        .Bind(2, "h")
        .Bind(3, "")
        .Bind(4, "")
        .Bind(5, 100)
        .Bind(6, 100)
        .Run();
    const std::int64_t first = store->LastInsertId();
    store->Prepare("INSERT INTO users(name, pwhash, sh_account, sz_account, initial_cash, cash) VALUES(?,?,?,?,?,?)")
        .Bind(1, "bob")
        .Bind(2, "h")
        .Bind(3, "")
        .Bind(4, "")
        .Bind(5, 100)
        .Bind(6, 100)
        .Run();
    EXPECT_EQ(store->LastInsertId(), first + 1);
    store->Commit();

    auto again = server::OpenStore(db.Location());
    again->Migrate(); // a server started on an existing contest
    server::Statement count = again->Prepare("SELECT COUNT(*) FROM users");
    ASSERT_TRUE(count.Step());
    EXPECT_EQ(count.Int(0), 2);
}

} // namespace
