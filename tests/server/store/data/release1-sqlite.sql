-- The SQLite schema of the release before migrations 2 (daily closes) and 3 (market history):
-- migration 1 as that release created it, its number in user_version.
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
PRAGMA user_version=1;
