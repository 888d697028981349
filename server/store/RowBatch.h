#pragma once

#include "server/store/Store.h"

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace server {

// New rows of one table, kept until Write sends them in multi-row INSERT statements (up to
// 64 rows each): a store then parses, plans and answers one statement where it would
// otherwise handle one per row. Statements are prepared once per row count.
class RowBatch final {
public:
    using Value = std::variant<std::int64_t, std::string>;

    // `head` is "INSERT INTO table(col, …)", with `columns` columns.
    RowBatch(Store& db, std::string head, int columns);

    // One row of exactly `columns` values.
    void Add(std::vector<Value> row);
    bool Empty() const { return rows_.empty(); }
    // Sends every row kept, in the order added (ids given by the store follow it).
    void Write();
    // Forgets the rows without writing them.
    void Clear() { rows_.clear(); }

private:
    Statement& StatementFor(int rows);

    Store& db_;
    std::string head_;
    int columns_;
    std::vector<std::vector<Value>> rows_;
    std::map<int, Statement> statements_;
};

} // namespace server
