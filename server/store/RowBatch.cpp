#include "server/store/RowBatch.h"

namespace server {
namespace {

constexpr int kMostRows = 64;

} // namespace

RowBatch::RowBatch(Store& db, std::string head, int columns)
    : db_(db)
    , head_(std::move(head))
    , columns_(columns) {}

void RowBatch::Add(std::vector<Value> row) {
    if (static_cast<int>(row.size()) != columns_)
        throw DatabaseError(head_ + ": a row of " + std::to_string(row.size()) + " values");
    rows_.push_back(std::move(row));
}

Statement& RowBatch::StatementFor(int rows) {
    if (const auto it = statements_.find(rows); it != statements_.end())
        return it->second;
    std::string group = "(";
    for (int c = 0; c < columns_; ++c)
        group += c ? ",?" : "?";
    group += ")";
    std::string sql = head_ + " VALUES";
    for (int r = 0; r < rows; ++r)
        sql += (r ? "," : "") + group;
    return statements_.emplace(rows, db_.Prepare(sql.c_str())).first->second;
}

void RowBatch::Write() {
    std::size_t next = 0;
    while (next < rows_.size()) {
        // 64, 16, 4 or 1 rows a statement: four shapes, each prepared once.
        const std::size_t left = rows_.size() - next;
        int rows = kMostRows;
        while (static_cast<std::size_t>(rows) > left)
            rows /= 4;
        Statement& statement = StatementFor(rows);
        int index = 1;
        for (int r = 0; r < rows; ++r, ++next)
            for (const Value& value : rows_[next]) {
                if (const auto* number = std::get_if<std::int64_t>(&value))
                    statement.Bind(index++, *number);
                else
                    statement.Bind(index++, std::get<std::string>(value));
            }
        statement.Run();
    }
    rows_.clear();
}

} // namespace server
