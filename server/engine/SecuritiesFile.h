#pragma once

#include "server/market/Securities.h"

#include <optional>
#include <string>
#include <vector>

namespace server {

// The organiser's securities file: one "code,name,previous close" a line (a tab may stand for
// the commas), UTF-8 or GBK, '#' starting a comment line. The first fault is told with its
// line: a code that is not six digits or comes twice, an empty or overlong name, a price that
// is not positive with at most two decimals, text that is neither UTF-8 nor GBK.
std::optional<std::vector<Security>> LoadSecuritiesFile(const std::string& path, std::string& error);

} // namespace server
