#pragma once

#include "server/Store.h"

#include <string>

struct pg_conn;

namespace server {

// A contest in a PostgreSQL database, over one libpq connection. Values always travel as
// parameters. Writers (the serving engine and the administration commands) take one
// transaction-level advisory lock, so they follow each other as SQLite's writers do.
class PgStore final : public Store {
public:
    // `uri` is a libpq connection URI; throws DatabaseError when it cannot connect.
    explicit PgStore(const std::string& uri);
    ~PgStore() override;
    PgStore(const PgStore&) = delete;
    PgStore& operator=(const PgStore&) = delete;

    void Migrate() override;
    void Execute(const char* sql) override;
    Statement Prepare(const char* sql) override;
    std::int64_t LastInsertId() override;
    void Begin() override;
    void Commit() override;
    void Rollback() override;
    std::int64_t DataVersion() override;
    void NoteAdminChange() override;
    bool IsFile() const override { return false; }
    std::string Describe() const override { return description_; }

    // The serving server holds this session lock for as long as its connection lives; a
    // second server waits here until the first one's connection is gone.
    void WaitToLead();
    // The same without waiting: false when another server leads.
    bool TryToLead();

    // A statement's text with `?` placeholders numbered as PostgreSQL wants them ($1, $2, …);
    // question marks inside quotes stay.
    static std::string NumberPlaceholders(const char* sql);

private:
    pg_conn* conn_ = nullptr;
    std::string description_;
};

} // namespace server
