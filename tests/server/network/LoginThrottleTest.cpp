// How failed logins slow a name, an address or both down, without ever locking an owner out.

#include "server/network/LoginThrottle.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

using namespace server;
using namespace std::chrono_literals;

namespace {

using Time = LoginThrottle::Clock::time_point;

// Plays the server's part: numbers the attempts and hands out the turns.
class Logins {
public:
    // The outcome of an attempt started at `t` if it was decided at once; none while it waits.
    std::optional<LoginThrottle::Outcome> Begin(const std::string& name, const std::string& address, Time t,
                                                const std::string& machine = {}) {
        last_ = ++tickets_;
        for (const auto& outcome : throttle.Begin(last_, {name, address, machine}, t))
            if (outcome.ticket == last_)
                return outcome;
        return std::nullopt;
    }
    LoginThrottle::Ticket Last() const { return last_; }

    // One finished attempt that failed; it must have been checked at once.
    void Fail(const std::string& name, const std::string& address, Time t, const std::string& machine = {}) {
        const auto outcome = Begin(name, address, t, machine);
        ASSERT_TRUE(outcome && outcome->check) << name << " from " << address;
        throttle.End(name, address, false, t);
    }

    // When an attempt started at `t` is checked (it is then given up), waiting for the turns as
    // the server would; none when it is refused.
    std::optional<Time> CheckedAt(const std::string& name, const std::string& address, Time t) {
        auto outcome = Begin(name, address, t);
        auto when = t;
        while (!outcome) {
            const auto next = throttle.NextTurn();
            if (!next)
                return std::nullopt;
            when = std::max(*next, when);
            for (const auto& o : throttle.Turns(when))
                if (o.ticket == last_)
                    outcome = o;
        }
        if (!outcome->check)
            return std::nullopt;
        throttle.Abandon(name, address);
        return when;
    }

    LoginThrottle throttle;

private:
    LoginThrottle::Ticket tickets_ = 0;
    LoginThrottle::Ticket last_ = 0;
};

const Time t0 = Time{} + 24h;

} // namespace

TEST(LoginThrottleTest, FiveFailuresSlowANameAtOneAddressToOneAttemptEveryThreeSecondsNeverALock) {
    Logins logins;
    for (int i = 0; i < 4; ++i) {
        logins.Fail("eve", "10.0.0.1", t0);
        EXPECT_EQ(logins.CheckedAt("eve", "10.0.0.1", t0), t0) << "after failure " << i + 1;
    }
    logins.Fail("eve", "10.0.0.1", t0); // the fifth: the next check in 3 s
    EXPECT_EQ(logins.CheckedAt("eve", "10.0.0.1", t0 + 2s), t0 + 3s);
    // The same name from elsewhere (its owner, perhaps) is let in, only slowed down.
    const auto elsewhere = logins.Begin("eve", "10.0.0.2", t0 + 1s);
    ASSERT_TRUE(elsewhere && elsewhere->check);
    EXPECT_EQ(elsewhere->delay, LoginThrottle::kFirstDelay);
    logins.throttle.Abandon("eve", "10.0.0.2");
    const auto other = logins.Begin("bob", "10.0.0.1", t0 + 1s);
    ASSERT_TRUE(other && other->check);
    EXPECT_EQ(other->delay, LoginThrottle::Clock::duration::zero());
    logins.throttle.Abandon("bob", "10.0.0.1");

    // Further failures do not lengthen the wait: one check every 3 s, however many failed.
    auto t = t0 + 3s;
    for (int i = 0; i < 4; ++i) {
        logins.Fail("eve", "10.0.0.1", t);
        EXPECT_EQ(logins.CheckedAt("eve", "10.0.0.1", t + 100ms), t + 3s) << i;
        EXPECT_EQ(logins.CheckedAt("eve", "10.0.0.1", t + 3s), t + 3s) << i;
        t += 3s;
    }

    // A successful login forgets the failures.
    ASSERT_TRUE(logins.Begin("eve", "10.0.0.1", t));
    logins.throttle.End("eve", "10.0.0.1", true, t);
    logins.Fail("eve", "10.0.0.1", t);
    EXPECT_EQ(logins.CheckedAt("eve", "10.0.0.1", t), t);
}

TEST(LoginThrottleTest, ARivalGuessingBehindTheSameAddressWaitsBehindAComputerNotYetChecked) {
    Logins logins;
    for (int i = 0; i < 5; ++i)
        logins.Fail("amy", "10.0.0.7", t0, "RIVAL");
    EXPECT_FALSE(logins.Begin("amy", "10.0.0.7", t0 + 1s, "RIVAL")); // waits for the turn at t0 + 3 s
    const auto rivalWaiting = logins.Last();
    // A second guess from that computer while its first waits is refused at once.
    const auto again = logins.Begin("amy", "10.0.0.7", t0 + 1500ms, "RIVAL");
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->check);
    EXPECT_FALSE(logins.Begin("amy", "10.0.0.7", t0 + 2s, "AMY"));
    const auto amy = logins.Last();
    EXPECT_EQ(logins.throttle.NextTurn(), t0 + 3s);
    // The rival asked first, but its computer was checked at t0 and amy's never: amy goes.
    auto turn = logins.throttle.Turns(t0 + 3s);
    ASSERT_EQ(turn.size(), 1u);
    EXPECT_EQ(turn[0].ticket, amy);
    EXPECT_TRUE(turn[0].check);
    EXPECT_EQ(logins.throttle.NextTurn(), std::nullopt); // one check at a time
    logins.throttle.End("amy", "10.0.0.7", true, t0 + 3s);
    // amy is in: the pair's failures are forgotten and the rival's guess goes at once.
    turn = logins.throttle.Turns(t0 + 3s);
    ASSERT_EQ(turn.size(), 1u);
    EXPECT_EQ(turn[0].ticket, rivalWaiting);
    EXPECT_TRUE(turn[0].check);
    logins.throttle.End("amy", "10.0.0.7", false, t0 + 3s);

    // A rival inventing a computer for every guess fills the line's eight places: a computer
    // checked before gives way to one never checked, and a newcomer to a line full of computers
    // never checked is refused.
    for (int i = 0; i < 4; ++i)
        logins.Fail("kai", "10.0.0.8", t0, "K" + std::to_string(i));
    logins.Fail("kai", "10.0.0.8", t0, "KAI"); // kai's own, wrongly typed
    EXPECT_FALSE(logins.Begin("kai", "10.0.0.8", t0 + 1s, "KAI"));
    const auto kai = logins.Last();
    for (int i = 0; i < 7; ++i)
        EXPECT_FALSE(logins.Begin("kai", "10.0.0.8", t0 + 1s, "NEW" + std::to_string(i))) << i;
    const auto pushedOut = logins.throttle.Begin(1000, {"kai", "10.0.0.8", "NEW7"}, t0 + 2s);
    ASSERT_EQ(pushedOut.size(), 1u);
    EXPECT_EQ(pushedOut[0].ticket, kai);
    EXPECT_FALSE(pushedOut[0].check);
    const auto full = logins.Begin("kai", "10.0.0.8", t0 + 2s, "NEW8");
    ASSERT_TRUE(full);
    EXPECT_FALSE(full->check);
}

TEST(LoginThrottleTest, ANameFailingTenTimesFromAnywhereHasOneCheckEveryHalfMinuteExceptWhereItLoggedIn) {
    Logins logins;
    ASSERT_TRUE(logins.Begin("ann", "10.0.1.99", t0)); // ann's own address
    logins.throttle.End("ann", "10.0.1.99", true, t0);
    for (int i = 0; i < 10; ++i)
        logins.Fail("ann", "10.0.1." + std::to_string(i), t0);
    // From a new address: one check now, the next from anywhere else 30 s later.
    const auto first = logins.Begin("ann", "10.0.1.50", t0 + 1s);
    ASSERT_TRUE(first && first->check);
    logins.throttle.Abandon("ann", "10.0.1.50");
    EXPECT_FALSE(logins.Begin("ann", "10.0.1.51", t0 + 2s));
    const auto second = logins.Last();
    EXPECT_FALSE(logins.Begin("ann", "10.0.1.50", t0 + 3s)); // checked at t0 + 1 s already
    const auto again = logins.Last();
    EXPECT_FALSE(logins.Begin("ann", "10.0.1.52", t0 + 30s));
    const auto third = logins.Last();
    EXPECT_TRUE(logins.throttle.Turns(t0 + 30s).empty());
    // Each turn goes to the address checked longest ago, the earlier arrival among equals.
    for (const auto& [at, ticket] : {std::pair{t0 + 31s, second}, {t0 + 61s, third}, {t0 + 91s, again}}) {
        EXPECT_EQ(logins.throttle.NextTurn(), at);
        const auto turn = logins.throttle.Turns(at);
        ASSERT_EQ(turn.size(), 1u);
        EXPECT_EQ(turn[0].ticket, ticket);
        EXPECT_EQ(turn[0].delay, LoginThrottle::kMaxDelay);
    }
    // Where ann has logged in before she is only slowed down.
    const auto home = logins.Begin("ann", "10.0.1.99", t0 + 32s);
    ASSERT_TRUE(home && home->check);
    EXPECT_EQ(home->delay, LoginThrottle::kMaxDelay);
    logins.throttle.Abandon("ann", "10.0.1.99");
    // Other names are not touched.
    EXPECT_EQ(logins.CheckedAt("bob", "10.0.1.51", t0 + 2s), t0 + 2s);
    // Ten failures from three addresses are a rival's, held by each pair's pace, not a crowd's.
    for (int i = 0; i < 10; ++i)
        logins.Fail("cat", "10.0.2." + std::to_string(i % 3), t0 + std::chrono::seconds(3 * (i / 3)));
    EXPECT_EQ(logins.CheckedAt("cat", "10.0.2.50", t0 + 10s), t0 + 10s);
    EXPECT_EQ(logins.CheckedAt("cat", "10.0.2.51", t0 + 10s), t0 + 10s);
}

TEST(LoginThrottleTest, AttemptsCountFromTheirStartAndBusyNamesOrAddressesOnlyWait) {
    Logins logins;
    // Five attempts in the air for one name and address: a sixth waits before any of them is
    // judged, a seventh from the same computer is refused.
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(logins.Begin("amy", "10.0.0.3", t0)) << i;
    EXPECT_FALSE(logins.Begin("amy", "10.0.0.3", t0));
    const auto sixth = logins.Last();
    const auto seventh = logins.Begin("amy", "10.0.0.3", t0);
    ASSERT_TRUE(seventh);
    EXPECT_FALSE(seventh->check);
    EXPECT_EQ(logins.throttle.NextTurn(), std::nullopt); // until one of the five is judged
    logins.throttle.End("amy", "10.0.0.3", true, t0);    // one of them was right after all
    const auto turn = logins.throttle.Turns(t0);
    ASSERT_EQ(turn.size(), 1u);
    EXPECT_EQ(turn[0].ticket, sixth);

    // Thirty failures for many names behind one address slow that address down (250 ms,
    // then doubling to at most 2 s) but lock nobody out; other addresses do not wait.
    for (int i = 0; i < 30; ++i)
        logins.Fail("user" + std::to_string(i), "10.0.0.9", t0);
    const std::pair<int, std::chrono::milliseconds> waits[] = {{0, 250ms}, {1, 500ms}, {3, 2000ms}, {10, 2000ms}};
    int extra = 0;
    for (const auto& [more, wait] : waits) {
        for (; extra < more; ++extra)
            logins.Fail("more" + std::to_string(extra), "10.0.0.9", t0);
        const auto d = logins.Begin("anyone", "10.0.0.9", t0 + 1s);
        ASSERT_TRUE(d && d->check) << more;
        EXPECT_EQ(d->delay, wait) << more;
        logins.throttle.Abandon("anyone", "10.0.0.9");
    }
    const auto elsewhere = logins.Begin("anyone", "10.0.0.8", t0);
    ASSERT_TRUE(elsewhere);
    EXPECT_EQ(elsewhere->delay, LoginThrottle::Clock::duration::zero());
    logins.throttle.Abandon("anyone", "10.0.0.8");

    // Four failures, then fifteen quiet minutes and a second: the count starts again, so
    // four more failures slow nothing and a fifth does.
    for (int i = 0; i < 4; ++i)
        logins.Fail("kim", "10.0.0.1", t0);
    const auto later = t0 + 15min + 1s;
    for (int i = 0; i < 4; ++i)
        logins.Fail("kim", "10.0.0.1", later);
    EXPECT_EQ(logins.CheckedAt("kim", "10.0.0.1", later), later);
    logins.Fail("kim", "10.0.0.1", later);
    EXPECT_EQ(logins.CheckedAt("kim", "10.0.0.1", later), later + 3s);
    // Within fifteen minutes the failures add up.
    logins.Fail("lee", "10.0.0.1", t0);
    for (int i = 0; i < 4; ++i)
        logins.Fail("lee", "10.0.0.1", t0 + 14min);
    EXPECT_EQ(logins.CheckedAt("lee", "10.0.0.1", t0 + 14min), t0 + 14min + 3s);
}
