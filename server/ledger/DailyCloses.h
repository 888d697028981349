#pragma once

#include "server/market/Money.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace server {

// An account's total at one settlement. `flow` is the money the organiser moved into the
// account (out of it when negative) during that trading day, before its close; `unit` the
// value of one unit of the account since the contest's start (1 at the start), so that
// the organiser's money changes neither a return nor a rank.
struct DayClose {
    std::string day; // "2026-12-07"
    Cents total = 0;
    Cents flow = 0;
    double unit = 1;
};
using DayCloses = std::shared_ptr<const std::vector<DayClose>>;

// The market at one settlement: the index in hundredths of a point (1,000 points at the
// contest's start) and the median of every account's return since the start, in
// hundredths of a percent.
struct MarketClose {
    std::string day;
    std::int64_t index = 0;
    std::int64_t medianReturn = 0;
};
using MarketCloses = std::shared_ptr<const std::vector<MarketClose>>;

// The unit value after a day that began at `previousTotal` (the last close, or the starting
// cash), took `flow` from the organiser and ended at `total`: the day's growth without the
// organiser's money. A day that began with nothing leaves the unit where it was.
double NextUnit(double unit, Cents previousTotal, Cents flow, Cents total);

// The median of `values` (the mean of the middle two for an even count); 0 for none.
double Median(std::vector<double> values);

// A growth factor (1.0123) as hundredths of a percent (123), rounded.
std::int64_t GrowthHundredths(double factor);

} // namespace server
