#pragma once

#include "server/network/TurnLine.h"

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace server {

// Slows down password guessing without letting one contestant lock out another.
// Failures are counted per user name and address together: after a few, that pair has one
// attempt checked every few seconds, never a lock. Attempts that arrive meanwhile wait for
// the pair's next turn in a short line where each computer (the machine code the login
// carries) holds one place and the one checked longest ago goes first, so a contestant behind
// a rival's address (a school's lab) is checked at the next turn however often the rival
// guesses. An attempt counts from the moment it starts, so parallel guesses cannot all slip in
// before the first failure is known. A name failing many times from several addresses has one
// attempt checked every half minute, the address checked longest ago first, except from an
// address it has logged in from before; an address failing for many names only makes its
// attempts wait longer. Network thread only.
class LoginThrottle final {
public:
    using Clock = std::chrono::steady_clock;
    using Ticket = TurnLine::Ticket;

    struct Attempt {
        std::string name;
        std::string address;
        std::string machine; // the client's machine code; empty when it sent none
    };
    // What became of an attempt: checked after `delay`, or refused. A checked attempt must be
    // ended with End() or Abandon().
    struct Outcome {
        Ticket ticket = 0;
        bool check = false;
        Clock::duration delay{};
    };

    // The outcomes decided now: the attempt's own, unless it waits for a turn, and that of a
    // waiting attempt it pushed out of a full line.
    std::vector<Outcome> Begin(Ticket ticket, Attempt attempt, Clock::time_point now);
    // The waiting attempts whose turn has come by `now`, and any pushed out meanwhile.
    std::vector<Outcome> Turns(Clock::time_point now);
    // When Turns() next has an attempt to give; none while nothing waits, or while what waits
    // depends on a check still running (End and Abandon may bring the turn forward).
    std::optional<Clock::time_point> NextTurn() const;
    void End(const std::string& name, const std::string& address, bool succeeded, Clock::time_point now);
    // A login let in without a check of its own (its password had passed already).
    void LoggedIn(const std::string& name, const std::string& address, Clock::time_point now);
    // An attempt that was never checked (the server was too busy, the client left) counts
    // neither way.
    void Abandon(const std::string& name, const std::string& address);
    // A waiting attempt whose client left gives its place up.
    void Withdraw(Ticket ticket);
    // True while an address has failures that are not yet forgotten.
    bool HasFailed(const std::string& address, Clock::time_point now) const;

    static constexpr int kPairLimit = 5;
    static constexpr int kNameSlowdown = 5;
    static constexpr int kNameCeiling = 10;
    // A rival behind one address is held by the pair's pace; the ceiling is for a name
    // guessed from several.
    static constexpr std::size_t kNameCeilingAddresses = 4;
    static constexpr int kAddressSlowdown = 30;
    static constexpr std::chrono::seconds kPairInterval{3};
    static constexpr std::chrono::seconds kNameInterval{30};
    static constexpr std::chrono::minutes kForget{15};
    static constexpr std::chrono::milliseconds kFirstDelay{250};
    static constexpr std::chrono::milliseconds kMaxDelay{2000};

private:
    struct Entry {
        int failures = 0;
        int pending = 0;
        Clock::time_point lastFailure;
        Clock::time_point blockedUntil;            // no attempt is checked before then
        std::unordered_set<std::string> triedFrom; // names only: a few addresses checked for it
        TurnLine line;                             // attempts waiting for a turn
    };
    using Map = std::unordered_map<std::string, Entry>;

    // Forgets stale entries once a table has grown large; only where no entry is held by
    // reference.
    void Purge(Clock::time_point now);
    // The entry for `key`, a fresh one when its failures are forgotten.
    static Entry& Find(Map& map, const std::string& key, Clock::time_point now);
    // One attempt fewer under way for `key`.
    static void Release(Map& map, const std::string& key);
    static void Forget(Map& map, const std::string& key, Clock::time_point now);
    static Clock::duration Delay(const Map& map, const std::string& key, int threshold, Clock::time_point now);
    static std::string PairKey(const std::string& name, const std::string& address);
    // Whether the pair may have one more attempt checked now, and, when only time stands in
    // the way, from when.
    static bool PairOpen(const Entry& pair, Clock::time_point now);
    static std::optional<Clock::time_point> PairOpensAt(const Entry& pair);
    // Whether the name's ceiling holds attempts from `address` back.
    bool Ceiling(const std::string& name, const std::string& address, Clock::time_point now) const;
    // An attempt through its pair's gate: checked, or put in its name's line.
    void PassName(Ticket ticket, Attempt attempt, Clock::time_point now, std::vector<Outcome>& out);
    // An attempt goes to be checked: it counts against its name until it ends; the delay
    // before its check.
    Clock::duration Checking(const Attempt& attempt, Clock::time_point now);
    // A waiting attempt pushed out of its line: refused, its place in its pair given back.
    void Refuse(Ticket ticket, bool passedPair, std::vector<Outcome>& out);

    Map pairs_;
    Map names_;
    std::unordered_set<std::string> trusted_; // pairs that have logged in
    Map addresses_;
    std::unordered_map<Ticket, Attempt> waiting_;
    std::unordered_set<std::string> waitingPairs_; // keys of pairs_ and names_ whose line holds
    std::unordered_set<std::string> waitingNames_; // someone
};

} // namespace server
