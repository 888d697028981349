// The disk under the contest: a full disk refuses changes but answers everyone and
// recovers by itself, the write-ahead log stays bounded under load, and commits are synced
// to the disk unless the weaker setting is asked for.

#include "server/store/sqlite/SqliteStore.h"
#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"
#include "wire/Frame.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sqlite3.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tavix::test;

namespace {

// A small tmpfs mounted for the test and removed with it; empty when this process may
// not mount (not root, or no mount capability in a container).
class SmallDisk final {
public:
    explicit SmallDisk(const char* size) {
        if (::geteuid() != 0)
            return;
        const std::string options = std::string("size=") + size;
        if (::mount("tmpfs", dir_.Path().c_str(), "tmpfs", 0, options.c_str()) == 0)
            mounted_ = true;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(dir_.Path().c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    std::filesystem::path Path() const { return dir_.Path(); }

private:
    ScratchDir dir_;
    bool mounted_ = false;
};

// Fills the rest of the disk; the file goes with the object.
class Filler final {
public:
    explicit Filler(std::filesystem::path path)
        : path_(std::move(path)) {
        std::ofstream out(path_, std::ios::binary);
        const std::string block(64 * 1024, 'x');
        while (out.write(block.data(), static_cast<std::streamsize>(block.size())))
            out.flush();
        // Whatever block did not fit, byte by byte, so nothing at all is left.
        out.clear();
        for (int i = 0; i < 64 * 1024 && out.put('x'); ++i)
            out.flush();
    }
    ~Filler() { Remove(); }
    void Remove() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }

private:
    std::filesystem::path path_;
};

template <class F>
bool Eventually(F done, std::chrono::seconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(ServerDiskTest, AFullDiskRefusesOrdersAnswersQueriesAndRecovers) {
    SmallDisk disk("8m");
    if (!disk.Mounted())
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    ServerHarness harness([&](server::ServerOptions& o) { o.dbPath = (disk.Path() / "quorvex.db").string(); });
    harness.AddUser("alice", "pw");
    TestClient client(harness.Port());
    ASSERT_EQ(Fields(client.Login("alice", "pw"), ",,,")[0], "0");
    const std::string order = "code=600000&price=9.50&num=100&name=x&type=1";
    // Enough stored orders that the log holds pages the database file has yet to grow by.
    std::string burst;
    for (int i = 0; i < 300; ++i)
        burst += net::FormatFrame(net::kCmdOrder, net::WithCredentials(order, "alice", "pw"));
    client.SendRaw(burst);
    for (int i = 0; i < 300; ++i) {
        const auto reply = client.NextAnswer();
        ASSERT_TRUE(reply);
        ASSERT_TRUE(reply->body.starts_with("0,")) << reply->body;
    }

    Filler filler(disk.Path() / "filler");
    // Orders are refused with a reason while the disk is full; queries are still answered
    // from what was stored before, also when they share a failing batch with an order.
    for (int i = 0; i < 10; ++i) {
        client.SendRaw(net::FormatFrame(net::kCmdOrder, net::WithCredentials(order, "alice", "pw")) +
                       net::FormatFrame(net::kCmdFunds, net::WithCredentials("", "alice", "pw")));
        const auto refused = client.NextAnswer();
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->command, net::kCmdOrder);
        EXPECT_TRUE(refused->body.starts_with("1,")) << refused->body;
        const auto funds = client.NextAnswer();
        ASSERT_TRUE(funds) << "query " << i << " got no answer";
        EXPECT_EQ(funds->command, net::kCmdFunds);
        EXPECT_EQ(Fields(funds->body).size(), 10u);
    }
    EXPECT_EQ(Records(client.Request(net::kCmdTodayOrders, "start=1-1-1")).size(), 300u);
    // The background checkpoint meets the full disk too...
    EXPECT_TRUE(Eventually([&] { return harness.Engine().CheckpointFailures() > 0; }));
    const std::uint64_t checkpointsWhileFull = harness.Engine().CheckpointCount();

    // ...and when space comes back, orders go through again and the checkpoints resume.
    filler.Remove();
    EXPECT_TRUE(Eventually([&] { return client.Request(net::kCmdOrder, order).starts_with("0,"); }));
    EXPECT_TRUE(Eventually([&] { return harness.Engine().CheckpointCount() > checkpointsWhileFull + 2; }));
}

TEST(ServerDiskTest, TheWriteAheadLogStaysBoundedUnderLoad) {
    constexpr std::int64_t kLimit = 64 * 1024;
    ScratchDir dir;
    const auto db = dir.Path() / "quorvex.db";
    ServerHarness harness([&](server::ServerOptions& o) {
        o.dbPath = db.string();
        o.logLimitBytes = kLimit;
    });
    constexpr int kClients = 4;
    constexpr int kOrders = 600;
    std::vector<std::unique_ptr<TestClient>> clients;
    for (int c = 0; c < kClients; ++c) {
        const std::string name = "trader" + std::to_string(c);
        harness.AddUser(name, "pw", 1'000'000'000);
        clients.push_back(std::make_unique<TestClient>(harness.Port()));
        ASSERT_EQ(Fields(clients.back()->Login(name, "pw"), ",,,")[0], "0");
    }
    for (auto& client : clients) {
        std::string burst;
        for (int i = 0; i < kOrders; ++i)
            burst += net::FormatFrame(net::kCmdOrder,
                                      net::WithCredentials("code=600000&price=9.50&num=100&name=x&type=1",
                                                           "trader" + std::to_string(&client - &clients[0]), "pw"));
        client->SendRaw(burst);
    }
    std::uintmax_t largest = 0;
    for (auto& client : clients)
        for (int i = 0; i < kOrders; ++i) {
            const auto reply = client->NextAnswer(std::chrono::seconds(30));
            ASSERT_TRUE(reply);
            ASSERT_TRUE(reply->body.starts_with("0,")) << reply->body;
            std::error_code ec;
            largest = std::max(largest, std::filesystem::file_size(db.string() + "-wal", ec));
        }
    // One batch may pass the limit before the log is emptied; never more than that.
    // A batch here holds at most 4 × 32 orders, well under 256 KB of log.
    EXPECT_LE(largest, static_cast<std::uintmax_t>(kLimit + 256 * 1024));
    std::error_code ec;
    EXPECT_LE(std::filesystem::file_size(db.string() + "-wal", ec), static_cast<std::uintmax_t>(kLimit + 256 * 1024));
}

TEST(ServerDiskTest, TheLogIsEmptiedInTheBackgroundOnceCopied) {
    // Far below the limit: nothing forces the log out, yet once the checkpointer has copied it
    // all, the file is emptied without the engine doing anything.
    ScratchDir dir;
    const auto db = dir.Path() / "quorvex.db";
    ServerHarness harness([&](server::ServerOptions& o) { o.dbPath = db.string(); });
    harness.AddUser("trader", "pw", 1'000'000'000);
    TestClient client(harness.Port());
    ASSERT_EQ(Fields(client.Login("trader", "pw"), ",,,")[0], "0");
    std::string burst;
    for (int i = 0; i < 200; ++i)
        burst += net::FormatFrame(net::kCmdOrder,
                                  net::WithCredentials("code=600000&price=9.50&num=100&name=x&type=1", "trader", "pw"));
    client.SendRaw(burst);
    for (int i = 0; i < 200; ++i) {
        const auto reply = client.NextAnswer(std::chrono::seconds(30));
        ASSERT_TRUE(reply);
        ASSERT_TRUE(reply->body.starts_with("0,")) << reply->body;
    }
    std::error_code ec;
    EXPECT_TRUE(Eventually([&] { return std::filesystem::file_size(db.string() + "-wal", ec) == 0; }))
        << std::filesystem::file_size(db.string() + "-wal", ec) << " bytes left in the log";
    // What the log held is in the database: the orders are all there.
    EXPECT_EQ(Records(client.Request(net::kCmdTodayOrders, "start=1-1-1")).size(), 200u);
}

// An organiser's query or a backup holding a read transaction neither stops orders nor keeps
// the log from being emptied once it lets go; an online backup taken meanwhile holds every
// order acknowledged before it.
TEST(ServerDiskTest, AReaderDoesNotHoldOrdersAndAnOnlineBackupHoldsEveryAcknowledgedOne) {
    constexpr std::int64_t kLimit = 64 * 1024;
    constexpr int kOrders = 600;
    ScratchDir dir;
    const auto db = dir.Path() / "quorvex.db";
    const auto wal = db.string() + "-wal";
    ServerHarness harness([&](server::ServerOptions& o) {
        o.dbPath = db.string();
        o.logLimitBytes = kLimit;
    });
    harness.AddUser("trader", "pw", 1'000'000'000);
    TestClient client(harness.Port());
    ASSERT_EQ(Fields(client.Login("trader", "pw"), ",,,")[0], "0");
    const auto order = [] {
        return net::FormatFrame(net::kCmdOrder,
                                net::WithCredentials("code=600000&price=9.50&num=100&name=x&type=1", "trader", "pw"));
    };

    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open_v2(db.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT COUNT(*) FROM orders;", nullptr, nullptr, nullptr), SQLITE_OK);
    std::string burst;
    for (int i = 0; i < kOrders; ++i)
        burst += order();
    client.SendRaw(burst);
    for (int i = 0; i < kOrders; ++i) {
        const auto reply = client.NextAnswer(std::chrono::seconds(30));
        ASSERT_TRUE(reply);
        ASSERT_TRUE(reply->body.starts_with("0,")) << reply->body;
    }
    std::error_code ec;
    EXPECT_GT(std::filesystem::file_size(wal, ec), static_cast<std::uintmax_t>(kLimit)) << "the reader kept the log";

    // What the README tells an organiser to do (sqlite3's .backup runs the same calls).
    const auto copy = dir.Path() / "backup.db";
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    ASSERT_EQ(sqlite3_open_v2(db.c_str(), &source, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_open(copy.c_str(), &target), SQLITE_OK);
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    ASSERT_NE(backup, nullptr);
    EXPECT_EQ(sqlite3_backup_step(backup, -1), SQLITE_DONE);
    EXPECT_EQ(sqlite3_backup_finish(backup), SQLITE_OK);
    sqlite3_close(source);
    const auto value = [&](const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        std::string text;
        if (sqlite3_prepare_v2(target, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
            text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        return text;
    };
    EXPECT_EQ(value("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(value("SELECT COUNT(*) FROM orders"), std::to_string(kOrders));
    EXPECT_EQ(value("SELECT COUNT(*) FROM users WHERE name='trader'"), "1");
    sqlite3_close(target);

    // Let go: a later batch empties the log again.
    ASSERT_EQ(sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(reader);
    bool emptied = false;
    for (int i = 0; i < 100 && !emptied; ++i) {
        client.SendRaw(order());
        const auto reply = client.NextAnswer(std::chrono::seconds(30));
        ASSERT_TRUE(reply);
        emptied = std::filesystem::file_size(wal, ec) <= static_cast<std::uintmax_t>(kLimit);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(emptied) << std::filesystem::file_size(wal, ec) << " bytes of log left";
}

} // namespace

TEST(SqliteStoreTest, CommitsArePowerSafeUnlessTheWeakerSettingIsAsked) {
    ScratchDir dir;
    const std::string path = (dir.Path() / "sync.db").string();
    const auto level = [](server::SqliteStore& db) {
        server::Statement s = db.Prepare("PRAGMA synchronous");
        return s.Step() ? s.Int(0) : -1;
    };
    server::SqliteStore full(path);
    EXPECT_EQ(level(full), 2); // FULL: the log is synced at every commit
    server::SqliteStore normal(path, server::Synchronous::kNormal);
    EXPECT_EQ(level(normal), 1); // NORMAL
}
