#pragma once

#include "net/LinkTimings.h"
#include "net/SharedState.h"

#include <chrono>
#include <memory>

namespace tavix::test {

using namespace std::chrono_literals;

// The link's time-outs scaled down so that silence and reconnects take a fraction of a second.
inline net::LinkTimings FastTimings() {
    net::LinkTimings t;
    t.connectTimeout = 300ms;
    t.receiveWait = 200ms;
    t.heartbeatAfter = 300ms;
    t.reconnectAfter = 600ms;
    t.retryDelay = 100ms;
    t.sendTimeout = 500ms;
    return t;
}

inline std::unique_ptr<net::SharedState> StateFor(int port, std::string user = "u1", std::string password = "p1") {
    auto state = std::make_unique<net::SharedState>();
    state->port = port;
    state->credentials.Set(std::move(user), std::move(password));
    return state;
}

} // namespace tavix::test
