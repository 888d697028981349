#pragma once

#include "server/Store.h"

#include <cstdint>
#include <string>

struct sqlite3;

namespace server {

// A contest in one SQLite file, in WAL mode. Failures throw DatabaseError.
class Database final : public Store {
public:
    explicit Database(const std::string& path);
    ~Database() override;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void Migrate() override;
    void Execute(const char* sql) override;
    Statement Prepare(const char* sql) override;
    std::int64_t LastInsertId() override;
    void Begin() override { Execute("BEGIN IMMEDIATE"); }
    void Commit() override { Execute("COMMIT"); }
    void Rollback() override { Execute("ROLLBACK"); }
    // SQLite counts other connections' commits itself.
    std::int64_t DataVersion() override;
    void NoteAdminChange() override {}
    bool IsFile() const override { return true; }
    std::string Describe() const override { return path_; }

    int Changes() const;
    sqlite3* Handle() const { return db_; }

private:
    std::string path_;
    sqlite3* db_ = nullptr;
};

} // namespace server
