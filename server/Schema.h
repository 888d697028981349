#pragma once

namespace server {

class Database;

// Creates the tables of a contest database when they are missing.
void CreateSchema(Database& db);

} // namespace server
