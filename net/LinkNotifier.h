#pragma once

#include <string_view>

namespace net {

// How the trading link reaches the user interface. NotifyTable and DeliverReply are
// synchronous: they return only once the receiving window has handled them, so a view that
// refills on a notification reads a complete table, and `body` stays valid during the call.
// PostReply does not wait: its handler may open a dialog, and the network thread must keep
// reading quotes and answering heartbeats meanwhile. All three reach the windows in the
// order they were called. The link holds no lock while it calls. The client's main window
// implements this; tests use a recorder.
class LinkNotifier {
public:
    virtual ~LinkNotifier() = default;

    // Whether the main window exists (table notifications, order and password answers and
    // quote updates are dropped before it does).
    virtual bool HasMainFrame() const = 0;

    // A table was stored: kMsgHistoryTableStored, kMsgPositionsStored,
    // kMsgTodayTradesStored, kMsgTodayOrdersStored or kMsgFundsStored. Called only while
    // HasMainFrame().
    virtual void NotifyTable(int message) = 0;

    // A reply for a window: kMsgLoginReply (to the login dialog, whether or not a main
    // frame exists), kMsgOrderReply and kMsgPasswordReply (only while HasMainFrame()).
    virtual void DeliverReply(int message, std::string_view body) = 0;

    // A reply whose handler may open a dialog, handed over without waiting: kMsgLoginReply
    // when the login was rejected, kMsgOrderReply, kMsgCancelReply, kMsgPasswordReply and
    // kMsgReloginFailed (the server's reason; only while HasMainFrame()) and
    // kMsgOrderResultUnknown (empty body, once after the re-login that follows a break with
    // an order or cancel unanswered).
    virtual void PostReply(int message, std::string body) = 0;
};

} // namespace net
