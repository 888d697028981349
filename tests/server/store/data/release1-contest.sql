-- A contest as the release before migrations 2 and 3 left it, for both stores: one account
-- that bought 1,000 of 600000 at 10.00 on 2026-03-04 (10,000.00 + commission 5.00 + transfer
-- fee 0.10 = 10,005.10 out of 1,000,000.00) and rests a buy of 100 at 9.50 on 2026-03-05,
-- which holds 950.00 + 5.00 + 0.01 = 955.01.
INSERT INTO meta(key, value) VALUES('day', '2026-03-05');
INSERT INTO users(id, name, pwhash, status, sh_account, sz_account, initial_cash, cash, frozen)
    VALUES(1, 'old', '-', 0, 'A000001', '0000001', 100000000, 98999490, 95501);
INSERT INTO positions(user_id, code, name, balance, available, frozen, cost)
    VALUES(1, '600000', '浦发银行', 1000, 1000, 0, 1000510);
INSERT INTO orders(id, user_id, day, time, code, name, side, price, qty, filled, filled_amount, commission,
                   frozen_cash, status, transfer_fee)
    VALUES(1, 1, '2026-03-04', '10:00:00', '600000', '浦发银行', 1, 1000, 1000, 1000, 1000000, 500, 0, 1, 10),
          (2, 1, '2026-03-05', '10:30:00', '600000', '浦发银行', 1, 950, 100, 0, 0, 0, 95501, 0, 0);
INSERT INTO trades(id, user_id, order_id, day, time, code, name, side, price, qty, amount, commission, stamp_duty,
                   transfer_fee)
    VALUES(1, 1, 1, '2026-03-04', '10:00:00', '600000', '浦发银行', 1, 1000, 1000, 1000000, 500, 0, 10);
INSERT INTO prices(code, day, prev_close, last) VALUES('600000', '2026-03-05', 1000, 1012);
INSERT INTO closed_days(day, closed_at) VALUES('2026-03-04', '2026-03-04 15:00:00');
