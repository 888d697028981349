#pragma once

#include "server/store/Store.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

struct pg_conn;
struct pg_result;

namespace server {

// A contest in a PostgreSQL database, over one libpq connection. Values always travel as
// parameters. Writers (the serving engine and the administration commands) take one
// transaction-level advisory lock, so they follow each other as SQLite's writers do.
// Inside a transaction the connection is in pipeline mode: statements whose rows nobody
// reads are sent without waiting for their answers, which are collected (and any failure
// thrown) before the next read and at the commit, so a batch costs a few round trips
// instead of several per order. Each statement text is prepared once per connection and
// then only its values travel.
class PgStore final : public Store {
public:
    // `uri` is a libpq connection URI; throws DatabaseError when it cannot connect.
    // `readOnly`: every transaction of the session is read-only. Keepalives on both ends of
    // the connection notice a dead network path within seconds.
    explicit PgStore(const std::string& uri, bool readOnly = false);
    ~PgStore() override;
    PgStore(const PgStore&) = delete;
    PgStore& operator=(const PgStore&) = delete;

    void Migrate() override;
    std::int64_t AppliedMigrations() override;
    std::int64_t KnownMigrations() const override;
    void Execute(const char* sql) override;
    Statement Prepare(const char* sql) override;
    std::int64_t LastInsertId() override;
    void Begin() override;
    // Throws CommitUncertain when the connection broke after COMMIT may have reached the server.
    void Commit() override;
    void Rollback() override;
    std::int64_t DataVersion() override;
    void ReleaseSavepoint() override;
    void RollbackToSavepoint() override;
    void NoteAdminChange() override;
    bool IsFile() const override { return false; }
    bool Lost() const override;
    std::string Describe() const override { return description_; }

    // The serving server holds this session lock for as long as its connection lives; a
    // second server waits here for at most `limit`: false when the first one still holds it.
    bool WaitToLead(std::chrono::milliseconds limit) override;
    // The same without waiting: false when another server leads.
    bool TryToLead() override;

    void Reconnect() override;
    void Abandon() override;

    // A statement's text with `?` placeholders numbered as PostgreSQL wants them ($1, $2, …);
    // question marks inside quotes stay.
    static std::string NumberPlaceholders(const char* sql);

    // Used by the statements.
    using Values = std::vector<const char*>;
    bool InPipeline() const { return pipeline_; }
    // Sends a statement inside the pipeline without waiting for it.
    void Queue(const std::string& sql, const Values& values);
    // Runs a statement and returns its result: in the pipeline after the answers of
    // everything queued before it (throwing the first failure among them).
    std::shared_ptr<pg_result> Query(const std::string& sql, const Values& values);

private:
    // Reads the answers of the queued statements; throws the first failure after reading all.
    void CollectQueued();
    // A sync point inside the pipeline: every answer up to it read; returns the first failure.
    std::string SyncPipeline();
    void QueueText(const char* sql);
    // The name `sql` is prepared under on this connection, preparing it the first time.
    const std::string& PreparedName(const std::string& sql);
    void ForgetPrepared();
    // Ends the pipeline: a sync point, every answer up to it read; throws the first failure.
    void EndPipeline();
    // The session's settings, after connecting.
    void SetUpSession();

    pg_conn* conn_ = nullptr;
    bool readOnly_ = false;
    std::mutex socketMutex_;
    int socket_ = -1; // the connection's socket while it is open, for Abandon
    bool pipeline_ = false;
    int queued_ = 0;
    bool refused_ = false; // the last pipeline's first failure was the server's refusal
    std::unordered_map<std::string, std::string> prepared_;
    long preparedCount_ = 0;
    std::string description_;
};

} // namespace server
