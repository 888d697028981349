#pragma once

namespace server {

// The public ranking page: one self-contained document that reads /ranking.json every few
// seconds and redraws its table; a column heading sorts by that column.
extern const char kRankingPage[];

} // namespace server
