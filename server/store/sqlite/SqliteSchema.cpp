#include "server/store/sqlite/SqliteSchema.h"

#include "server/store/sqlite/SqliteStore.h"

namespace server {

namespace {

void CreateSchema(SqliteStore& db) {
    // Money is stored in cents, prices in cents, quantities in shares.
    db.Execute(R"sql(
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS users(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    pwhash TEXT NOT NULL,
    status INTEGER NOT NULL DEFAULT 0,
    sh_account TEXT NOT NULL,
    sz_account TEXT NOT NULL,
    initial_cash INTEGER NOT NULL,
    cash INTEGER NOT NULL,
    frozen INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS positions(
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    code TEXT NOT NULL,
    name TEXT NOT NULL,
    balance INTEGER NOT NULL,
    available INTEGER NOT NULL,
    frozen INTEGER NOT NULL,
    cost INTEGER NOT NULL,
    PRIMARY KEY(user_id, code)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS orders(
    id INTEGER PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    day TEXT NOT NULL,
    time TEXT NOT NULL,
    code TEXT NOT NULL,
    name TEXT NOT NULL,
    side INTEGER NOT NULL,
    price INTEGER NOT NULL,
    qty INTEGER NOT NULL,
    filled INTEGER NOT NULL DEFAULT 0,
    filled_amount INTEGER NOT NULL DEFAULT 0,
    commission INTEGER NOT NULL DEFAULT 0,
    frozen_cash INTEGER NOT NULL DEFAULT 0,
    status INTEGER NOT NULL DEFAULT 0,
    transfer_fee INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS orders_by_user ON orders(user_id, day);
CREATE INDEX IF NOT EXISTS orders_open ON orders(status) WHERE status = 0;
CREATE TABLE IF NOT EXISTS trades(
    id INTEGER PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    order_id INTEGER NOT NULL,
    day TEXT NOT NULL,
    time TEXT NOT NULL,
    code TEXT NOT NULL,
    name TEXT NOT NULL,
    side INTEGER NOT NULL,
    price INTEGER NOT NULL,
    qty INTEGER NOT NULL,
    amount INTEGER NOT NULL,
    commission INTEGER NOT NULL,
    stamp_duty INTEGER NOT NULL,
    transfer_fee INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS trades_by_user ON trades(user_id, day);
CREATE TABLE IF NOT EXISTS funds_flow(
    id INTEGER PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    day TEXT NOT NULL,
    time TEXT NOT NULL,
    summary TEXT NOT NULL,
    code TEXT NOT NULL,
    name TEXT NOT NULL,
    operation TEXT NOT NULL,
    qty INTEGER NOT NULL,
    price INTEGER NOT NULL,
    amount INTEGER NOT NULL,
    balance INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS funds_flow_by_user ON funds_flow(user_id, day);
CREATE TABLE IF NOT EXISTS statements(
    id INTEGER PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    day TEXT NOT NULL,
    code TEXT NOT NULL,
    name TEXT NOT NULL,
    summary TEXT NOT NULL,
    qty INTEGER NOT NULL,
    price INTEGER NOT NULL,
    amount INTEGER NOT NULL,
    settled INTEGER NOT NULL,
    commission INTEGER NOT NULL,
    stamp_duty INTEGER NOT NULL,
    transfer_fee INTEGER NOT NULL,
    balance INTEGER NOT NULL,
    contract_no INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS statements_by_user ON statements(user_id, day);
CREATE TABLE IF NOT EXISTS prices(
    code TEXT PRIMARY KEY,
    day TEXT NOT NULL,
    prev_close INTEGER NOT NULL,
    last INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS closed_days(day TEXT PRIMARY KEY, closed_at TEXT NOT NULL) WITHOUT ROWID;
)sql");
    // Files written before orders kept their transfer fee so far: take it from their trades.
    bool hasTransferFee = false;
    Statement columns = db.Prepare("PRAGMA table_info(orders)");
    while (columns.Step())
        hasTransferFee = hasTransferFee || columns.Text(1) == "transfer_fee";
    if (!hasTransferFee) {
        db.Execute("ALTER TABLE orders ADD COLUMN transfer_fee INTEGER NOT NULL DEFAULT 0");
        db.Execute("UPDATE orders SET transfer_fee = (SELECT COALESCE(SUM(t.transfer_fee), 0) FROM trades t "
                   "WHERE t.order_id = orders.id) WHERE status = 0");
    }
}

// Migration 2: where each account stood at every settlement, the money the organiser moved in
// or out of it, and the market's close beside them (the index in hundredths of a point, the
// contest's median return in hundredths of a percent).
void AddDailyCloses(SqliteStore& db) {
    db.Execute(R"sql(
CREATE TABLE daily_totals(
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    day TEXT NOT NULL,
    total INTEGER NOT NULL,
    PRIMARY KEY(user_id, day)) WITHOUT ROWID;
CREATE TABLE cash_flows(
    id INTEGER PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    day TEXT NOT NULL,
    amount INTEGER NOT NULL);
CREATE TABLE daily_market(day TEXT PRIMARY KEY, index_close INTEGER NOT NULL, median_return INTEGER NOT NULL)
    WITHOUT ROWID;
CREATE TABLE index_base(code TEXT PRIMARY KEY, price INTEGER NOT NULL) WITHOUT ROWID;
)sql");
}

// Migration 3: the day's figures of each security beside its prices, today's minute bars and the
// daily bars.
void AddMarketHistory(SqliteStore& db) {
    db.Execute(R"sql(
ALTER TABLE prices ADD COLUMN open INTEGER NOT NULL DEFAULT 0;
ALTER TABLE prices ADD COLUMN high INTEGER NOT NULL DEFAULT 0;
ALTER TABLE prices ADD COLUMN low INTEGER NOT NULL DEFAULT 0;
ALTER TABLE prices ADD COLUMN volume INTEGER NOT NULL DEFAULT 0;
ALTER TABLE prices ADD COLUMN amount INTEGER NOT NULL DEFAULT 0;
CREATE TABLE minute_bars(
    code TEXT NOT NULL,
    day TEXT NOT NULL,
    minute INTEGER NOT NULL,
    open INTEGER NOT NULL,
    high INTEGER NOT NULL,
    low INTEGER NOT NULL,
    close INTEGER NOT NULL,
    volume INTEGER NOT NULL,
    PRIMARY KEY(code, day, minute)) WITHOUT ROWID;
CREATE TABLE daily_bars(
    code TEXT NOT NULL,
    day INTEGER NOT NULL,
    open INTEGER NOT NULL,
    high INTEGER NOT NULL,
    low INTEGER NOT NULL,
    close INTEGER NOT NULL,
    volume INTEGER NOT NULL,
    PRIMARY KEY(code, day)) WITHOUT ROWID;
)sql");
}

// Migration 4: nothing. PostgreSQL indexes an account's rows by day and then id here; a file's
// (user_id, day) indexes end with the row id, which is the id, already.
void IndexNewestFirst(SqliteStore&) {}

// Migration 5: the leader's lease of a PostgreSQL contest. A file is served by one server
// alone and never writes it; it is here so that both stores keep the same tables and numbers.
void AddLeaderLease(SqliteStore& db) {
    db.Execute(R"sql(
CREATE TABLE IF NOT EXISTS leader_lease(
    id INTEGER PRIMARY KEY CHECK (id = 1),
    holder TEXT NOT NULL,
    backend_pid INTEGER NOT NULL,
    expires_at TEXT NOT NULL);
)sql");
}

} // namespace

const std::vector<std::function<void(SqliteStore&)>>& SqliteMigrations() {
    static const std::vector<std::function<void(SqliteStore&)>> kMigrations = {
        CreateSchema, AddDailyCloses, AddMarketHistory, IndexNewestFirst, AddLeaderLease};
    return kMigrations;
}

} // namespace server
