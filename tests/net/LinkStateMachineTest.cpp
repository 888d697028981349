// The connection's decisions driven by hand, with ticks chosen to reach what a loopback
// server reaches only by chance: silence across the wrap of the tick count, a silent server
// during the re-login, the walk over a list of servers, an order's fate across a break.
// Product timings: heartbeat after 3,000 ms of silence, reconnect after 6,000, retry 1,000.

#include "net/LinkStateMachine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using net::LinkPhase;
using Machine = net::LinkStateMachine;
using Greeting = Machine::Greeting;
using Result = Machine::LoginResult;

// A machine whose user login was accepted on its first connection, made at tick 1,000.
Machine& LiveMachine(Machine& m) {
    m.SetServerCount(1);
    EXPECT_EQ(m.Connected(1000), Greeting::kNothing);
    EXPECT_EQ(m.LoginAnswered(true).kind, Result::kUserAccepted);
    EXPECT_EQ(m.Status().phase, LinkPhase::kLive);
    return m;
}

TEST(LinkStateMachineTest, SilenceIsMeasuredAcrossTheWrapOfTheTickCount) {
    Machine m{net::LinkTimings{}};
    LiveMachine(m);
    const std::uint32_t last = 0xFFFFF000u; // 4,096 ms before the count wraps to 0
    m.FrameArrived(last);
    EXPECT_EQ(m.Idle(last + 3000), Machine::Silence::kWait); // not more than 3,000 ms yet
    EXPECT_EQ(m.Idle(last + 3001), Machine::Silence::kHeartbeat);
    EXPECT_EQ(m.Idle(1904u), Machine::Silence::kHeartbeat); // 6,000 ms after, past the wrap
    EXPECT_EQ(m.Idle(1905u), Machine::Silence::kReconnect);
}

TEST(LinkStateMachineTest, ASilentServerDuringTheReloginIsLeftAndTheLinkStaysBrokenSinceTheFirstBreak) {
    Machine m{net::LinkTimings{}};
    LiveMachine(m);
    m.FrameArrived(5000);
    EXPECT_FALSE(m.Broke(9000, 777)); // connected 8 s ago: no pause before the next connect
    EXPECT_EQ(m.Connected(10500), Greeting::kRelogin);
    m.ReloginSent(true);
    // The new server takes the re-login and says nothing: 6 s after the last frame it is left.
    EXPECT_EQ(m.Idle(11001), Machine::Silence::kReconnect);
    EXPECT_TRUE(m.Broke(11001, 999)); // 501 ms after that connect: pause first
    EXPECT_FALSE(m.ReloginPending()) << "the answer of the abandoned re-login will not come";
    EXPECT_EQ(m.Status().phase, LinkPhase::kBroken);
    EXPECT_EQ(m.Status().brokenSince, 777);
    EXPECT_EQ(m.Connected(12001), Greeting::kRelogin);
    m.ReloginSent(true);
    EXPECT_EQ(m.LoginAnswered(true).kind, Result::kReloginAccepted);
    EXPECT_EQ(m.Status().phase, LinkPhase::kLive);
}

TEST(LinkStateMachineTest, ServersAreTriedInTurnOnEveryFailureRoundAndRound) {
    Machine m{net::LinkTimings{}};
    m.SetServerCount(3);
    std::vector<std::size_t> tried{m.Server()};
    m.ConnectFailed();
    tried.push_back(m.Server());
    m.Connected(0);
    m.LoginAnswered(true);
    m.Broke(5000, 1); // the serving one breaks: on to the next
    tried.push_back(m.Server());
    EXPECT_EQ(m.Connected(6000), Greeting::kRelogin);
    m.ReloginSent(false); // a connection that cannot take the re-login: on again
    tried.push_back(m.Server());
    m.ConnectFailed();
    tried.push_back(m.Server());
    EXPECT_EQ(tried, (std::vector<std::size_t>{0, 1, 2, 0, 1}));
}

TEST(LinkStateMachineTest, ARefusedReloginStopsTheReloginsUntilTheUserLogsIn) {
    Machine m{net::LinkTimings{}};
    LiveMachine(m);
    m.Broke(9000, 1);
    m.Connected(9001);
    m.ReloginSent(true);
    EXPECT_EQ(m.LoginAnswered(false).kind, Result::kReloginRefused);
    EXPECT_EQ(m.Status().phase, LinkPhase::kRefused);
    m.Broke(20000, 2);
    EXPECT_EQ(m.Connected(20001), Greeting::kUserLogin);
    EXPECT_EQ(m.Status().phase, LinkPhase::kRefused) << "refused until the user is accepted again";
    EXPECT_EQ(m.LoginAnswered(true).kind, Result::kUserAccepted);
    m.Broke(40000, 3);
    EXPECT_EQ(m.Connected(40001), Greeting::kRelogin);
}

TEST(LinkStateMachineTest, AnOrderUnansweredAcrossABreakIsToldOnceAfterTheRelogin) {
    Machine m{net::LinkTimings{}};
    LiveMachine(m);
    m.AnswerCame(); // an answer nobody waited for counts nothing off
    m.OrderSent();
    m.Broke(9000, 1);
    m.Connected(9001);
    m.ReloginSent(true);
    const Result first = m.LoginAnswered(true);
    EXPECT_EQ(first.kind, Result::kReloginAccepted);
    EXPECT_TRUE(first.resultUnknown);
    m.OrderSent();
    m.AnswerCame();
    m.Broke(20000, 2);
    m.Connected(20001);
    m.ReloginSent(true);
    EXPECT_FALSE(m.LoginAnswered(true).resultUnknown);
}

} // namespace
