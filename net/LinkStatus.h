#pragma once

#include <ctime>
#include <string>

namespace net {

// Where the link stands, for the status bar and the quote colouring. Read from any thread
// without waiting for the network thread.
enum class LinkPhase {
    kConnecting, // no connection yet
    kConnected,  // connected, no accepted login on this link
    kLive,       // a login is accepted on the current connection
    kBroken,     // the session's connection broke; reconnecting until a re-login is accepted
    kRefused,    // the server rejected the re-login; no more attempts until the user logs in
};

struct LinkStatus {
    LinkPhase phase = LinkPhase::kConnecting;
    std::time_t brokenSince = 0; // when the link last went from live to broken
    std::time_t lastQuote = 0;   // when the last quote frame arrived; 0 before the first
    // The market's state as the server last told it since the last accepted login, GBK as it
    // came ("休市", "交易中", ...); empty when it told nothing.
    std::string marketPhase;
};

} // namespace net
