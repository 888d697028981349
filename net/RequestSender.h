#pragma once

#include <string_view>

namespace net {

// What the account queries need of the link: a request on the wire and the quote
// subscription widened. TradingLink implements it; tests may record instead.
class RequestSender {
public:
    virtual ~RequestSender() = default;

    // Any thread. Appends the credentials, frames the body and writes it whole. False when
    // the connection was never established or the write failed; nothing is queued.
    virtual bool SendRequest(int command, std::string_view body) = 0;

    // Any thread. Adds the comma-separated codes to QuoteCodes and sends the list only when
    // one of them was new. Returns true when a request was sent.
    virtual bool AddQuoteSubscription(std::string_view codes) = 0;
};

} // namespace net
