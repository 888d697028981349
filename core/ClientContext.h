#pragma once

#include <string>

class QString;

namespace net {
struct SharedState;
class TradingLink;
} // namespace net

// What the main window offers to the views it hosts.
class MainFrameHooks {
public:
    virtual ~MainFrameHooks() = default;
    // A position was picked for selling (message 1125 to the main window): opens the sell
    // view with the code `code` ("%06d") filled in.
    virtual void SellPosition(int code) = 0;
    // Shows the chart of `code` ("%06d") in the right pane.
    virtual void OpenChart(const QString& code) = 0;
    // Opens the buy (`buy`) or sell form with `code` filled in.
    virtual void OpenOrderForm(bool buy, const QString& code) = 0;
};

// The shared state and the trading link, handed to every window of the client. The
// application object owns one for the run; tests build their own around a test server.
struct ClientContext {
    net::SharedState& state;
    net::TradingLink& link;
    MainFrameHooks* frame = nullptr; // set while the main window exists
    std::string iniPath;             // client.ini (the watchlist); empty: none is kept
};
