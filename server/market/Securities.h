#pragma once

#include "server/market/Money.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace server {

struct SecurityInfo {
    std::string_view code;
    std::string_view name; // UTF-8
    Cents basePrice;       // starting previous close of the simulation
};

// The securities of the simulated market: Shanghai main board and STAR market,
// Shenzhen main board and ChiNext.
std::span<const SecurityInfo> DefaultSecurities();

// A security the organiser listed (--securities).
struct Security {
    std::string code;
    std::string name; // UTF-8
    Cents prevClose = 0;
};

// Views of `securities` for the market; valid while they are.
std::vector<SecurityInfo> SecurityViews(const std::vector<Security>& securities);

// Percent limit of a security's daily move: the growth boards (ChiNext, STAR) use the
// wider one.
int LimitPercentFor(std::string_view code, int mainPercent, int growthPercent);

} // namespace server
