#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace server {

class DatabaseError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Statement;

// How a commit reaches the disk. kFull syncs the log at every commit, so an acknowledged
// change survives a power cut; kNormal syncs only at checkpoints and survives a killed
// process but may lose the last commits to a power cut.
enum class Synchronous { kFull, kNormal };

// One SQLite connection in WAL mode. Failures throw DatabaseError.
class Database final {
public:
    explicit Database(const std::string& path, Synchronous synchronous = Synchronous::kFull);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void Execute(const char* sql);
    Statement Prepare(const char* sql);
    std::int64_t LastInsertId() const;
    int Changes() const;
    // Changes when another connection (an admin command) has committed to the file.
    std::int64_t DataVersion();
    sqlite3* Handle() const { return db_; }

    // Keeps the log file from staying larger than `bytes` once it has been emptied.
    void LimitLogSize(std::int64_t bytes);
    // Bytes in the write-ahead log after this connection's last commit.
    std::int64_t LogBytes() const { return logBytes_; }
    // Copies the whole log into the database and empties the log file. Gives up (false,
    // with the reason in `error`) when readers hold it for longer than `wait` or the disk
    // refuses the copy.
    bool TruncateLog(std::chrono::milliseconds wait, std::string& error);
    // Copies what it can of the log without waiting for anyone; throws on failure.
    void PassiveCheckpoint();

private:
    static int OnCommit(void* self, sqlite3* db, const char* name, int pages);

    sqlite3* db_ = nullptr;
    std::int64_t logBytes_ = 0;
    int pageSize_ = 4096;
};

// A prepared statement; bind indexes start at 1, column indexes at 0.
class Statement final {
public:
    Statement(sqlite3* db, sqlite3_stmt* stmt)
        : db_(db)
        , stmt_(stmt) {}
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view value);
    Statement& Bind(int index, const char* value) { return Bind(index, std::string_view(value)); }
    Statement& Bind(int index, const std::string& value) { return Bind(index, std::string_view(value)); }
    Statement& Bind(int index, int value) { return Bind(index, static_cast<std::int64_t>(value)); }

    // True while a row is available.
    bool Step();
    // Runs a statement that returns no rows, then resets it for the next use.
    void Run();
    void Reset();

    std::int64_t Int(int column) const;
    std::string Text(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_;
};

} // namespace server
