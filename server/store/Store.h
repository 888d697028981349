#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace server {

class DatabaseError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A commit whose outcome cannot be known: a sync of the store's files failed (the system may
// have dropped what it could not write, however later syncs turn out), or the connection broke
// after the database was asked to commit. Nothing the commit covered may be acknowledged, and
// what the server holds in memory may differ from what the database holds after recovery.
class CommitUncertain final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a commit reaches the disk. kFull syncs the log at every commit, so an acknowledged
// change survives a power cut; kNormal syncs only at checkpoints and survives a killed
// process but may lose the last commits to a power cut. (PostgreSQL commits follow the
// server's own synchronous_commit.)
enum class Synchronous { kFull, kNormal };

// What opening a store may do: create a missing contest, only open an existing one, or only
// read one (nothing created, migrated or written).
enum class StoreAccess { kCreate, kExisting, kReadOnly };

// What a store's statement does; Statement below is the handle the ledger holds.
class StatementImpl {
public:
    virtual ~StatementImpl() = default;
    virtual void Bind(int index, std::int64_t value) = 0;
    virtual void Bind(int index, std::string_view value) = 0;
    virtual bool Step() = 0;
    // Runs a statement whose rows nobody reads; a store may send it on without waiting, as
    // long as a failure still surfaces by the end of the transaction.
    virtual void Run() {
        Step();
        Reset();
    }
    virtual void Reset() = 0;
    virtual std::int64_t Int(int column) const = 0;
    virtual std::string Text(int column) const = 0;
};

// A statement with `?` placeholders, values bound separately (never pasted into the text);
// bind indexes start at 1, column indexes at 0. Failures throw DatabaseError.
class Statement final {
public:
    explicit Statement(std::unique_ptr<StatementImpl> impl)
        : impl_(std::move(impl)) {}

    Statement& Bind(int index, std::int64_t value) {
        impl_->Bind(index, value);
        return *this;
    }
    Statement& Bind(int index, std::string_view value) {
        impl_->Bind(index, value);
        return *this;
    }
    Statement& Bind(int index, const char* value) { return Bind(index, std::string_view(value)); }
    Statement& Bind(int index, const std::string& value) { return Bind(index, std::string_view(value)); }
    Statement& Bind(int index, int value) { return Bind(index, static_cast<std::int64_t>(value)); }

    // True while a row is available.
    bool Step() { return impl_->Step(); }
    // Runs a statement that returns no rows, then resets it for the next use.
    void Run() { impl_->Run(); }
    // Forgets the rows and the bound values.
    void Reset() { impl_->Reset(); }

    std::int64_t Int(int column) const { return impl_->Int(column); }
    std::string Text(int column) const { return impl_->Text(column); }

private:
    std::unique_ptr<StatementImpl> impl_;
};

// Where a contest lives: the tables, the transaction that makes a batch durable, and what
// the engine needs to notice changes made by the administration commands. The ledger's
// statements are plain SQL both stores understand; anything a store says its own way
// (schema, transactions, change detection, identities) lives in its implementation.
class Store {
public:
    virtual ~Store() = default;

    // Brings the schema to the newest numbered migration (at every start).
    virtual void Migrate() = 0;
    // How many of the numbered migrations the database has had, and how many there are.
    virtual std::int64_t AppliedMigrations() = 0;
    virtual std::int64_t KnownMigrations() const = 0;

    virtual void Execute(const char* sql) = 0;
    virtual Statement Prepare(const char* sql) = 0;
    // The id the last INSERT on this connection gave its row.
    virtual std::int64_t LastInsertId() = 0;

    // A write transaction; Commit returns once the transaction is durable.
    virtual void Begin() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;

    // One request inside a batch's transaction, undone alone when it fails. Release throws
    // when anything the request wrote failed (a store that sends writes on without waiting
    // finds out here); RollbackToSavepoint leaves the transaction as it was before Savepoint.
    virtual void Savepoint() { Execute("SAVEPOINT request"); }
    virtual void ReleaseSavepoint() { Execute("RELEASE SAVEPOINT request"); }
    virtual void RollbackToSavepoint() {
        Execute("ROLLBACK TO SAVEPOINT request");
        Execute("RELEASE SAVEPOINT request");
    }

    // Changes when another connection (an administration command) has committed; the
    // engine then reloads the contest. Call inside a transaction.
    virtual std::int64_t DataVersion() = 0;
    // Inside an administration command's transaction: makes DataVersion change for the others.
    virtual void NoteAdminChange() = 0;

    // True once the store can no longer be reached (a database server's connection is gone).
    virtual bool Lost() const { return false; }

    // Two servers may share one database server: the serving one leads, the other waits.
    // True at once when this one leads (a file has one server only, by its lock).
    virtual bool TryToLead() { return true; }
    // Waits at most `limit` for the lead: false when another server still holds it.
    virtual bool WaitToLead(std::chrono::milliseconds) { return true; }
    // After the connection was lost: connects again with the same settings (anything the old
    // session held is gone); throws DatabaseError while the database cannot be reached.
    virtual void Reconnect() {}
    // Called from any thread: breaks the connection, so that a call waiting on a dead network
    // path returns (with a failure) at once. The connection stays lost until Reconnect.
    virtual void Abandon() {}

    // A file store has its log copied back by a checkpointer of the engine's.
    virtual bool IsFile() const = 0;
    // Where it is, for messages (a PostgreSQL URI without its password).
    virtual std::string Describe() const = 0;
};

// "postgresql://…" or "postgres://…" (a libpq URI) opens PostgreSQL; anything else is the
// path of a SQLite file.
bool IsPostgresLocation(std::string_view location);
std::unique_ptr<Store> OpenStore(const std::string& location, Synchronous synchronous = Synchronous::kFull,
                                 StoreAccess access = StoreAccess::kCreate);

} // namespace server
