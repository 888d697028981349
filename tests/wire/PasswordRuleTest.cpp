#include "wire/PasswordRule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using net::PasswordProblem;

TEST(PasswordRuleTest, OneToThirtyTwoBytesWithoutSeparatorsOrControlCharacters) {
    struct Case {
        std::string bytes;
        PasswordProblem problem;
    };
    const Case cases[] = {
        {"a", PasswordProblem::kNone},
        {std::string(32, 'p'), PasswordProblem::kNone},
        {"with space", PasswordProblem::kNone},
        {"\xd0\xc2\xc3\xdc", PasswordProblem::kNone}, // two GBK characters
        {"a:b;c!~", PasswordProblem::kNone},
        {"", PasswordProblem::kLength},
        {std::string(33, 'p'), PasswordProblem::kLength},
        {"a,b", PasswordProblem::kCharacter},
        {"a|b", PasswordProblem::kCharacter},
        {"a&b", PasswordProblem::kCharacter},
        {"a=b", PasswordProblem::kCharacter},
        {"a\tb", PasswordProblem::kCharacter},
        {std::string("a\0b", 3), PasswordProblem::kCharacter},
        {"a\x7f", PasswordProblem::kCharacter},
        {"\x1f", PasswordProblem::kCharacter},
    };
    for (const Case& c : cases)
        EXPECT_EQ(net::CheckPassword(c.bytes), c.problem) << c.bytes;
}

TEST(PasswordRuleTest, EveryProblemHasItsOwnText) {
    EXPECT_TRUE(net::PasswordProblemText(PasswordProblem::kNone).empty());
    EXPECT_EQ(net::PasswordProblemText(PasswordProblem::kLength), "新密码长度应为1到32个字节");
    EXPECT_EQ(net::PasswordProblemText(PasswordProblem::kCharacter), "新密码不能包含逗号、竖线、“&”、“=”或控制字符");
}

} // namespace
