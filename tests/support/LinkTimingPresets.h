#pragma once

// The link's time-outs as the tests and benchmarks run it, in one place; the product's own
// are net::LinkTimings{} (the `timing`-labelled scenarios use those).

#include "net/LinkTimings.h"

#include <chrono>

namespace tavix::test {

using namespace std::chrono_literals;

// Scaled down so that silence and reconnects take a fraction of a second (a loopback server).
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

// Receive waits as short as the fast ones, but silence never triggers a heartbeat or a
// reconnect: only a broken connection does.
inline net::LinkTimings QuietTimings() {
    net::LinkTimings t = FastTimings();
    t.heartbeatAfter = 60s;
    t.reconnectAfter = 120s;
    t.retryDelay = 50ms;
    t.sendTimeout = 300ms;
    return t;
}

// Against the real quorvexd (through the fault proxy): breaks are noticed in a fraction of a
// second; the retry pause stays short but real.
inline net::LinkTimings RealServerTimings() {
    net::LinkTimings t;
    t.connectTimeout = 1000ms;
    t.receiveWait = 200ms;
    t.heartbeatAfter = 1000ms;
    t.reconnectAfter = 2000ms;
    t.retryDelay = 200ms;
    t.sendTimeout = 2000ms;
    return t;
}

// The client's windows against a loopback server: quick answers and reconnection, no
// heartbeat within a test.
inline net::LinkTimings WindowTimings() {
    net::LinkTimings t;
    t.connectTimeout = 1000ms;
    t.receiveWait = 100ms;
    t.retryDelay = 50ms;
    t.heartbeatAfter = 30000ms;
    t.reconnectAfter = 60000ms;
    return t;
}

// The client's windows against the real quorvexd: quick answers, the product's heartbeats.
inline net::LinkTimings RealClientTimings() {
    net::LinkTimings t;
    t.receiveWait = 100ms;
    t.retryDelay = 50ms;
    return t;
}

} // namespace tavix::test
