#pragma once

#include <chrono>

namespace net {

// Time-outs of the trading link. The defaults are the product's; tests shorten them.
struct LinkTimings {
    std::chrono::milliseconds connectTimeout{3000};   // wait for a connect to complete
    std::chrono::milliseconds receiveWait{2000};      // one wait for incoming bytes
    std::chrono::milliseconds heartbeatAfter{3000};   // silence after which a heartbeat goes out
    std::chrono::milliseconds reconnectAfter{6000};   // silence after which the link reconnects
    std::chrono::milliseconds retryDelay{1000};       // pause between connect and login attempts
    std::chrono::milliseconds sendTimeout{5000};      // longest a stalled server may block a send
    std::chrono::milliseconds loginAnswerWait{10000}; // the login dialog gives up on an answer
    std::chrono::milliseconds quoteStaleAfter{10000}; // a quote not refreshed this long is shown grey
};

} // namespace net
