#pragma once

#include "net/LinkTimings.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "tests/support/FakeTradingServer.h"
#include "tests/support/LinkTimingPresets.h"
#include "tests/support/RecordingNotifier.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace tavix::test {

using namespace std::chrono_literals;

// Polls `condition` until it holds or the time-out passes.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// A trading link talking to a loopback test server, logged in as u1/p1.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.port = server.Port();
        state.credentials.Set("u1", "p1");
    }

    // Makes and starts the link and waits until it is connected. With `accepted`, the server
    // first accepts a login, so that reconnects log in again; the answer is not recorded.
    void StartLink(net::LinkTimings timings = FastTimings(), bool accepted = true) {
        link = std::make_unique<net::TradingLink>(state, notifier, timings);
        link->Start();
        ASSERT_TRUE(server.WaitForConnection(5s));
        ASSERT_TRUE(WaitUntil([&] { return link->Socket().Connected(); }));
        if (accepted) {
            ASSERT_TRUE(WaitUntil([&] { return server.Connected(); }));
            server.Send(net::kCmdLogin, "0,,,ok");
            ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 5s));
            notifier.Clear();
        }
    }

    // A link that is never started, for driving parsers and queries directly.
    void MakeLink(std::function<std::time_t()> clock = nullptr) {
        link = std::make_unique<net::TradingLink>(state, notifier, FastTimings(), std::move(clock));
    }

    FakeTradingServer server;
    net::SharedState state;
    RecordingNotifier notifier;
    std::unique_ptr<net::TradingLink> link; // declared last: stopped before the rest goes
};

} // namespace tavix::test
