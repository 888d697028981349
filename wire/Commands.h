#pragma once

// Command codes of the trading protocol and the notification numbers that the
// trading link delivers to the user interface.

namespace net {

enum Command : int {
    kCmdLogin = 1,
    kCmdOrder = 2,
    kCmdCancelOne = 3,
    kCmdCancelAllSells = 4,
    kCmdCancelAllBuys = 5,
    kCmdCancelAll = 6,
    kCmdTodayOrders = 7,
    kCmdTodayTrades = 8,
    kCmdPositions = 9,
    kCmdFundsFlow = 10,
    kCmdFunds = 11,
    kCmdHistoryOrders = 12,
    kCmdHistoryTrades = 13,
    kCmdSettlement = 14,
    kCmdQuoteSubscribe = 17,
    kCmdQuoteUpdate = 18,
    kCmdMarketPhase = 19, // pushed: the market's state in a few words, at login and when it changes
    kCmdQuoteBoard = 20,  // every security's quote and day figures, a page at a time
    kCmdChangePassword = 21,
    kCmdBars = 22,     // minute or daily bars of one security
    kCmdStanding = 23, // my rank and the top of one period: net/Standing.h
    kCmdCurve = 24,    // my return since the start by trading day, beside the index and the median
    kCmdHeartbeat = 90,
};

// A cancel: one order (3), or every open sell, buy or order (4 to 6).
constexpr bool IsCancelAll(int command) {
    return command == kCmdCancelAllSells || command == kCmdCancelAllBuys || command == kCmdCancelAll;
}

constexpr bool IsCancel(int command) {
    return command == kCmdCancelOne || IsCancelAll(command);
}

// The requests that change an account; every other request only reads.
constexpr bool IsOrderOrCancel(int command) {
    return command == kCmdOrder || IsCancel(command);
}

// Window-message numbers kept from the original design; the GUI maps each to a slot.
enum Message : int {
    kMsgHistoryTableStored = 1124, // a history table is new: the right-hand view refreshes
    kMsgSellPosition = 1125,       // a position was picked for selling
    kMsgRedrawPanels = 1127,       // the main frame got the focus
    kMsgPositionsStored = 1128,
    kMsgTodayTradesStored = 1129, // also sent right after today's orders were requested
    kMsgTodayOrdersStored = 1130,
    kMsgLoginReply = 1131,
    kMsgOrderReply = 1132,
    kMsgPasswordReply = 1133,
    kMsgReloginFailed = 1134,      // the server rejected the re-login after a reconnect
    kMsgFundsStored = 1135,        // the funds record is new
    kMsgCancelReply = 1136,        // answer to a cancel (commands 3 to 6)
    kMsgOrderResultUnknown = 1137, // an order or cancel was unanswered when the link broke
    kMsgStandingStored = 1140,     // an answer to command 23 or 24 is in SharedState::standing
};

// The client version built into this program; a login answer naming another forces an update.
inline constexpr const char* kClientVersion = "20210223";
inline constexpr int kDefaultPort = 9690;

} // namespace net
