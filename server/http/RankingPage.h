#pragma once

#include <string>

namespace server {

// The public ranking page (ranking.html, built in): one self-contained document that reads
// /ranking.json every few seconds and redraws its table; a column heading sorts by that column.
extern const char kRankingPage[];

// The Content-Security-Policy sent with the page: nothing runs or loads but its own script and
// style (named by their hashes) and its reads of /ranking.json.
std::string RankingPagePolicy();

} // namespace server
