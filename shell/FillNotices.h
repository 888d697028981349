#pragma once

#include "net/Records.h"

#include <QStringList>

#include <map>
#include <string>
#include <vector>

// Tells which of today's trades are new since the table was last stored, as the short
// notices the status bar shows ("成交：买入 600000 浦发银行 1000股 @7.11"). The first table
// seen (the login's) only sets what is known: those fills were announced before.
class CFillNotices final {
public:
    QStringList Take(const std::vector<net::TradeRecord>& trades);
    // The next table is again only learnt (a new login, a new day's empty list).
    void Forget();

private:
    bool m_primed = false;
    // Each record's bytes with how often they occur: two equal fills in one second are two.
    std::map<std::string, int> m_seen;
};
