#include "server/store/sqlite/SqliteStore.h"

#include "server/store/sqlite/SqliteSchema.h"

#include <sqlite3.h>

#include <filesystem>

namespace server {
namespace {

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
    throw DatabaseError(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

// A checkpoint syncs the log before it copies it: once that failed, the log's unsynced pages
// may be gone from the disk, whatever a later sync says.
void ThrowIfSyncFailed(sqlite3* db, const char* what) {
    if (sqlite3_extended_errcode(db) == SQLITE_IOERR_FSYNC)
        throw CommitUncertain(std::string(what) + ": " + sqlite3_errmsg(db));
}

class SqliteStatement final : public StatementImpl {
public:
    SqliteStatement(sqlite3* db, sqlite3_stmt* stmt)
        : db_(db)
        , stmt_(stmt) {}
    ~SqliteStatement() override { sqlite3_finalize(stmt_); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void Bind(int index, std::int64_t value) override {
        if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK)
            Fail(db_, "bind");
    }
    void Bind(int index, std::string_view value) override {
        if (sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT) !=
            SQLITE_OK)
            Fail(db_, "bind");
    }
    bool Step() override {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        const std::string message = sqlite3_errmsg(db_);
        sqlite3_reset(stmt_);
        throw DatabaseError("step: " + message);
    }
    void Reset() override {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    std::int64_t Int(int column) const override { return sqlite3_column_int64(stmt_, column); }
    std::string Text(int column) const override {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
    }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_;
};

} // namespace

SqliteStore::SqliteStore(const std::string& path, Synchronous synchronous, StoreAccess access)
    : path_(path) {
    const int flags = access == StoreAccess::kReadOnly   ? SQLITE_OPEN_READONLY
                      : access == StoreAccess::kExisting ? SQLITE_OPEN_READWRITE
                                                         : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        if (access != StoreAccess::kCreate && !std::filesystem::exists(path))
            throw DatabaseError("no contest at " + path + " (no such file; init-db creates one)");
        throw DatabaseError("cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, 10000);
    if (access == StoreAccess::kReadOnly)
        return; // a reader changes nothing, not even the file's journal mode
    Execute("PRAGMA journal_mode=WAL");
    // FULL syncs the log at each commit; the engine commits a whole batch at once, so one
    // sync covers every request in it.
    Execute(synchronous == Synchronous::kFull ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
    Execute("PRAGMA foreign_keys=ON");
    {
        Statement pageSize = Prepare("PRAGMA page_size");
        pageSize_ = pageSize.Step() ? static_cast<int>(pageSize.Int(0)) : 4096;
    }
    sqlite3_wal_hook(db_, &SqliteStore::OnCommit, this);
}

std::int64_t SqliteStore::AppliedMigrations() {
    // The file's own counter holds the number of the last migration applied.
    Statement version = Prepare("PRAGMA user_version");
    return version.Step() ? version.Int(0) : 0;
}

std::int64_t SqliteStore::KnownMigrations() const {
    return static_cast<std::int64_t>(SqliteMigrations().size());
}

void SqliteStore::Migrate() {
    const std::int64_t applied = AppliedMigrations();
    const auto& migrations = SqliteMigrations();
    for (std::size_t i = static_cast<std::size_t>(applied); i < migrations.size(); ++i) {
        Execute("BEGIN IMMEDIATE");
        try {
            migrations[i](*this);
            Execute(("PRAGMA user_version=" + std::to_string(i + 1)).c_str());
            Execute("COMMIT");
        } catch (...) {
            Execute("ROLLBACK");
            throw;
        }
    }
}

SqliteStore::~SqliteStore() {
    sqlite3_close_v2(db_);
}

void SqliteStore::Execute(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw DatabaseError(std::string("SQL failed (") + sql + "): " + message);
    }
}

Statement SqliteStore::Prepare(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
        Fail(db_, std::string("prepare ") + sql);
    return Statement(std::make_unique<SqliteStatement>(db_, stmt));
}

int SqliteStore::OnCommit(void* self, sqlite3*, const char*, int pages) {
    auto* database = static_cast<SqliteStore*>(self);
    database->logBytes_ = static_cast<std::int64_t>(pages) * database->pageSize_;
    // No automatic checkpoint at commit: that copy ends in an fsync which would stall every
    // answer of the batch behind it. The owner copies in the background, or when the log
    // has grown too large.
    return SQLITE_OK;
}

bool SqliteStore::TruncateLog(std::chrono::milliseconds wait, std::string& error) {
    sqlite3_busy_timeout(db_, static_cast<int>(wait.count()));
    int logFrames = 0;
    int copied = 0;
    const int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logFrames, &copied);
    sqlite3_busy_timeout(db_, 10000);
    if (rc == SQLITE_OK) {
        logBytes_ = 0;
        return true;
    }
    ThrowIfSyncFailed(db_, "emptying the write-ahead log");
    error = rc == SQLITE_BUSY ? "another connection holds the log (a reader, or a writer that was not paused)"
                              : sqlite3_errmsg(db_);
    return false;
}

std::optional<SqliteStore::Copied> SqliteStore::PassiveCheckpoint() {
    int logFrames = 0;
    int copied = 0;
    const int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copied);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        return std::nullopt; // another checkpoint is running: nothing wrong, try again later
    if (rc != SQLITE_OK) {
        ThrowIfSyncFailed(db_, "checkpoint");
        Fail(db_, "checkpoint");
    }
    return Copied{logFrames > 0 && copied == logFrames};
}

void SqliteStore::KeepLogAtClose() {
    sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

std::int64_t SqliteStore::LastInsertId() {
    return sqlite3_last_insert_rowid(db_);
}

std::int64_t SqliteStore::DataVersion() {
    Statement s = Prepare("SELECT value FROM meta WHERE key='admin_generation'");
    return s.Step() ? s.Int(0) : 0;
}

void SqliteStore::NoteAdminChange() {
    Execute("INSERT INTO meta(key, value) VALUES('admin_generation', 1) ON CONFLICT(key) DO UPDATE "
            "SET value = CAST(meta.value AS INTEGER) + 1");
}

} // namespace server
