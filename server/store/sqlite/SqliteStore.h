#pragma once

#include "server/store/Store.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

struct sqlite3;

namespace server {

// A contest in one SQLite file, in WAL mode. Failures throw DatabaseError.
class SqliteStore final : public Store {
public:
    explicit SqliteStore(const std::string& path, Synchronous synchronous = Synchronous::kFull,
                         StoreAccess access = StoreAccess::kCreate);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    void Migrate() override;
    std::int64_t AppliedMigrations() override;
    std::int64_t KnownMigrations() const override;
    void Execute(const char* sql) override;
    Statement Prepare(const char* sql) override;
    std::int64_t LastInsertId() override;
    void Begin() override { Execute("BEGIN IMMEDIATE"); }
    void Commit() override { Execute("COMMIT"); }
    void Rollback() override { Execute("ROLLBACK"); }
    // A counter in the meta table: SQLite's own count of other connections' commits also
    // moves when the checkpointer empties the log.
    std::int64_t DataVersion() override;
    void NoteAdminChange() override;
    bool IsFile() const override { return true; }
    std::string Describe() const override { return path_; }

    sqlite3* Handle() const { return db_; }

    // Bytes in the write-ahead log after this connection's last commit.
    std::int64_t LogBytes() const { return logBytes_; }
    // Copies the whole log into the database and empties the log file. Gives up (false,
    // with the reason in `error`) when another connection holds it for longer than `wait` or
    // the disk refuses the copy; throws CommitUncertain when a sync failed.
    bool TruncateLog(std::chrono::milliseconds wait, std::string& error);
    // Copies what it can of the log without waiting for anyone; nothing when another
    // checkpoint is running, throws on failure (CommitUncertain when a sync failed).
    struct Copied {
        bool caughtUp = false; // every frame of the log is in the database (and the log has some)
    };
    std::optional<Copied> PassiveCheckpoint();
    // Closing leaves the log as it is, uncopied, for the next start to recover from. Any thread.
    void KeepLogAtClose();

private:
    static int OnCommit(void* self, sqlite3* db, const char* name, int pages);

    std::string path_;
    sqlite3* db_ = nullptr;
    std::int64_t logBytes_ = 0;
    int pageSize_ = 4096;
};

} // namespace server
