#include "wire/PasswordRule.h"

#include <algorithm>

namespace net {

PasswordProblem CheckPassword(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > kMaxPasswordBytes)
        return PasswordProblem::kLength;
    const bool refused = std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f || c == ',' || c == '|' || c == '&' || c == '=';
    });
    return refused ? PasswordProblem::kCharacter : PasswordProblem::kNone;
}

std::string_view PasswordProblemText(PasswordProblem problem) {
    switch (problem) {
    case PasswordProblem::kLength:
        return "新密码长度应为1到32个字节";
    case PasswordProblem::kCharacter:
        return "新密码不能包含逗号、竖线、“&”、“=”或控制字符";
    case PasswordProblem::kNone:
        break;
    }
    return {};
}

} // namespace net
