#pragma once

#include "wire/Board.h"

// The number of shares that the funds can buy at a price in one order of `board`: whole
// lots of 100, with room left for the charges of the default fee schedule (commission with
// its minimum, transfer fee), no more than the board's largest order, and nothing where
// that is below the board's smallest buy, so that an order for all of them is accepted by a
// server that charges those rates. `value8` is the server's buying-power multiplier (100 =
// the funds as they are); 0 without a positive price or funds.
long long MaxBuyableShares(double value8, double availableFunds, double price, net::Board board);
