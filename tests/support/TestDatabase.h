#pragma once

#include <filesystem>
#include <string>

namespace tavix::test {

// Where a test's or a benchmark's contest lives: a SQLite file in a folder, or a fresh
// database in a PostgreSQL cluster, dropped again with the object.
class TestDatabase final {
public:
    // A SQLite file in `dir`; or, when the tests run against PostgreSQL (QUORVEXD_TEST_PG_STATE
    // names the state file of scripts/pg-test-cluster.sh), a database in that cluster.
    explicit TestDatabase(const std::filesystem::path& dir);
    // A database in the cluster whose maintenance database `adminUri` names ("…/postgres"),
    // its name starting with `prefix`.
    TestDatabase(std::string adminUri, const std::string& prefix);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // A file path or a PostgreSQL URI, for ServerOptions::dbPath and --db.
    const std::string& Location() const { return location_; }
    bool IsPostgres() const { return !adminUri_.empty(); }
    // The database's name in its cluster (PostgreSQL only).
    const std::string& Name() const { return name_; }

private:
    void CreateInCluster(const std::string& prefix);

    std::string location_;
    std::string adminUri_;
    std::string name_;
};

} // namespace tavix::test
