#include "shell/FillNotices.h"

#include "core/Gbk.h"

QStringList CFillNotices::Take(const std::vector<net::TradeRecord>& trades) {
    std::map<std::string, int> now;
    QStringList notices;
    for (const net::TradeRecord& t : trades) {
        const std::string key(reinterpret_cast<const char*>(&t), sizeof t);
        const int count = ++now[key];
        const auto before = m_seen.find(key);
        if (!m_primed || (before != m_seen.end() && before->second >= count))
            continue;
        notices << QStringLiteral("成交：%1 %2 %3 %4股 @%5")
                       .arg(FromGbkField(t.side), FromGbkField(t.code), FromGbkField(t.name), FromGbkField(t.quantity),
                            FromGbkField(t.avgPrice));
    }
    m_seen = std::move(now);
    m_primed = true;
    return notices;
}

void CFillNotices::Forget() {
    m_primed = false;
    m_seen.clear();
}
