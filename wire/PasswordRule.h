#pragma once

#include <cstddef>
#include <string_view>

// What a new password may hold, as it goes on the wire (GBK bytes): the client's form, the
// server's session and its admin commands all apply this one rule. Requests are query strings
// without escaping and replies '|'-separated records of ','-separated fields, so none of
// these characters can travel inside a password. Logins do not apply it: a password stored
// under an older rule still works.
namespace net {

inline constexpr std::size_t kMaxPasswordBytes = 32;

enum class PasswordProblem {
    kNone,
    kLength,    // empty or more than kMaxPasswordBytes bytes
    kCharacter, // a control character or one of , | & =
};

PasswordProblem CheckPassword(std::string_view bytes);

// The refusal a user reads (UTF-8) for a problem other than kNone.
std::string_view PasswordProblemText(PasswordProblem problem);

} // namespace net
