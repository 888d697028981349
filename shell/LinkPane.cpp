#include "shell/LinkPane.h"

#include "core/Gbk.h"

#include <QDateTime>

LinkPaneText DescribeLink(const net::LinkStatus& status) {
    switch (status.phase) {
    case net::LinkPhase::kBroken:
        return {QStringLiteral("连接中断，正在重连…"), true};
    case net::LinkPhase::kRefused:
        return {QStringLiteral("重新登录失败，请重新启动"), true};
    case net::LinkPhase::kConnecting:
    case net::LinkPhase::kConnected:
    case net::LinkPhase::kLive:
        break;
    }
    const QString time = status.lastQuote == 0
                             ? QStringLiteral("--:--:--")
                             : QDateTime::fromSecsSinceEpoch(status.lastQuote).toString(QStringLiteral("HH:mm:ss"));
    QString text = QStringLiteral("行情 ") + time;
    // Quotes keep arriving while the market is shut or in a call; only continuous trading
    // goes without a word, so a moving time never passes for live trading.
    const QString market = FromGbk(status.marketPhase);
    if (!market.isEmpty() && market != QStringLiteral("交易中"))
        text += QLatin1Char(' ') + market;
    return {text, false};
}
