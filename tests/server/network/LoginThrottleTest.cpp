// How failed logins slow a name, an address or both down, without ever locking an owner out.

#include "server/network/LoginThrottle.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace server;

namespace {

// One finished attempt that failed; the attempt must have been let in.
void Fail(LoginThrottle& throttle, const std::string& name, const std::string& address,
          LoginThrottle::Clock::time_point t) {
    ASSERT_TRUE(throttle.Begin(name, address, t).allowed) << name << " from " << address;
    throttle.End(name, address, false, t);
}

bool Allowed(LoginThrottle& throttle, const std::string& name, const std::string& address,
             LoginThrottle::Clock::time_point t) {
    const bool allowed = throttle.Begin(name, address, t).allowed;
    if (allowed)
        throttle.Abandon(name, address);
    return allowed;
}

} // namespace

TEST(LoginThrottleTest, FiveFailuresSlowANameAtOneAddressToOneAttemptEveryThreeSecondsNeverALock) {
    using namespace std::chrono_literals;
    LoginThrottle throttle;
    const auto t0 = LoginThrottle::Clock::time_point{} + 24h;
    for (int i = 0; i < 4; ++i) {
        Fail(throttle, "eve", "10.0.0.1", t0);
        EXPECT_TRUE(Allowed(throttle, "eve", "10.0.0.1", t0)) << "after failure " << i + 1;
    }
    Fail(throttle, "eve", "10.0.0.1", t0); // the fifth: the next check in 3 s
    EXPECT_FALSE(Allowed(throttle, "eve", "10.0.0.1", t0 + 2s));
    // The same name from elsewhere (its owner, perhaps) is let in, only slowed down.
    const auto elsewhere = throttle.Begin("eve", "10.0.0.2", t0 + 1s);
    EXPECT_TRUE(elsewhere.allowed);
    EXPECT_EQ(elsewhere.delay, LoginThrottle::kFirstDelay);
    throttle.Abandon("eve", "10.0.0.2");
    const auto other = throttle.Begin("bob", "10.0.0.1", t0 + 1s);
    EXPECT_TRUE(other.allowed);
    EXPECT_EQ(other.delay, LoginThrottle::Clock::duration::zero());
    throttle.Abandon("bob", "10.0.0.1");
    EXPECT_TRUE(Allowed(throttle, "eve", "10.0.0.1", t0 + 3s));

    // Further failures do not lengthen the wait: one check every 3 s, however many failed.
    auto t = t0 + 3s;
    for (int i = 0; i < 4; ++i) {
        Fail(throttle, "eve", "10.0.0.1", t);
        EXPECT_FALSE(Allowed(throttle, "eve", "10.0.0.1", t + 2900ms)) << i;
        EXPECT_TRUE(Allowed(throttle, "eve", "10.0.0.1", t + 3s)) << i;
        t += 3s;
    }

    // A successful login forgets the failures.
    ASSERT_TRUE(throttle.Begin("eve", "10.0.0.1", t).allowed);
    throttle.End("eve", "10.0.0.1", true, t);
    Fail(throttle, "eve", "10.0.0.1", t);
    EXPECT_TRUE(Allowed(throttle, "eve", "10.0.0.1", t));
}

TEST(LoginThrottleTest, ANameFailingTenTimesFromAnywhereHasOneCheckEveryHalfMinuteExceptWhereItLoggedIn) {
    using namespace std::chrono_literals;
    LoginThrottle throttle;
    const auto t0 = LoginThrottle::Clock::time_point{} + 24h;
    ASSERT_TRUE(throttle.Begin("ann", "10.0.1.99", t0).allowed); // ann's own address
    throttle.End("ann", "10.0.1.99", true, t0);
    for (int i = 0; i < 10; ++i)
        Fail(throttle, "ann", "10.0.1." + std::to_string(i), t0);
    // From a new address: one check now, none for the next 30 s from any other.
    EXPECT_TRUE(Allowed(throttle, "ann", "10.0.1.50", t0 + 1s));
    EXPECT_FALSE(Allowed(throttle, "ann", "10.0.1.51", t0 + 2s));
    EXPECT_FALSE(Allowed(throttle, "ann", "10.0.1.52", t0 + 30s));
    EXPECT_TRUE(Allowed(throttle, "ann", "10.0.1.53", t0 + 31s));
    // Where ann has logged in before she is only slowed down.
    const auto home = throttle.Begin("ann", "10.0.1.99", t0 + 32s);
    EXPECT_TRUE(home.allowed);
    EXPECT_EQ(home.delay, LoginThrottle::kMaxDelay);
    throttle.Abandon("ann", "10.0.1.99");
    // Other names are not touched.
    EXPECT_TRUE(Allowed(throttle, "bob", "10.0.1.51", t0 + 2s));
    // Ten failures from three addresses are a rival's, held by each pair's pace, not a crowd's.
    for (int i = 0; i < 10; ++i)
        Fail(throttle, "cat", "10.0.2." + std::to_string(i % 3), t0 + std::chrono::seconds(3 * (i / 3)));
    EXPECT_TRUE(Allowed(throttle, "cat", "10.0.2.50", t0 + 10s));
    EXPECT_TRUE(Allowed(throttle, "cat", "10.0.2.51", t0 + 10s));
}

TEST(LoginThrottleTest, AttemptsCountFromTheirStartAndBusyNamesOrAddressesOnlyWait) {
    using namespace std::chrono_literals;
    LoginThrottle throttle;
    const auto t0 = LoginThrottle::Clock::time_point{} + 24h;
    // Five attempts in the air for one name and address: a sixth is refused before any
    // of them is judged.
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(throttle.Begin("amy", "10.0.0.3", t0).allowed) << i;
    EXPECT_FALSE(throttle.Begin("amy", "10.0.0.3", t0).allowed);
    throttle.End("amy", "10.0.0.3", true, t0); // one of them was right after all

    // Thirty failures for many names behind one address slow that address down (250 ms,
    // then doubling to at most 2 s) but lock nobody out; other addresses do not wait.
    for (int i = 0; i < 30; ++i)
        Fail(throttle, "user" + std::to_string(i), "10.0.0.9", t0);
    const std::pair<int, std::chrono::milliseconds> waits[] = {{0, 250ms}, {1, 500ms}, {3, 2000ms}, {10, 2000ms}};
    int extra = 0;
    for (const auto& [more, wait] : waits) {
        for (; extra < more; ++extra)
            Fail(throttle, "more" + std::to_string(extra), "10.0.0.9", t0);
        const auto d = throttle.Begin("anyone", "10.0.0.9", t0 + 1s);
        EXPECT_TRUE(d.allowed) << more;
        EXPECT_EQ(d.delay, wait) << more;
        throttle.Abandon("anyone", "10.0.0.9");
    }
    EXPECT_EQ(throttle.Begin("anyone", "10.0.0.8", t0).delay, LoginThrottle::Clock::duration::zero());
    throttle.Abandon("anyone", "10.0.0.8");

    // Four failures, then fifteen quiet minutes and a second: the count starts again, so
    // four more failures lock nothing and a fifth does.
    for (int i = 0; i < 4; ++i)
        Fail(throttle, "kim", "10.0.0.1", t0);
    const auto later = t0 + 15min + 1s;
    for (int i = 0; i < 4; ++i)
        Fail(throttle, "kim", "10.0.0.1", later);
    EXPECT_TRUE(Allowed(throttle, "kim", "10.0.0.1", later));
    Fail(throttle, "kim", "10.0.0.1", later);
    EXPECT_FALSE(Allowed(throttle, "kim", "10.0.0.1", later));
    // Within fifteen minutes the failures add up.
    Fail(throttle, "lee", "10.0.0.1", t0);
    for (int i = 0; i < 4; ++i)
        Fail(throttle, "lee", "10.0.0.1", t0 + 14min);
    EXPECT_FALSE(Allowed(throttle, "lee", "10.0.0.1", t0 + 14min));
}
