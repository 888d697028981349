#pragma once

#include <functional>
#include <vector>

namespace server {

class SqliteStore;

// The schema of a SQLite contest file as numbered migrations: entry i brings a file from
// version i to i + 1. The first also completes files written before migrations were counted.
const std::vector<std::function<void(SqliteStore&)>>& SqliteMigrations();

} // namespace server
