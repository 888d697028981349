#include "wire/Frame.h"
#include "wire/Commands.h"
#include "wire/GbkText.h"
#include "wire/SplitText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace net {
namespace {

TEST(FrameTest, RequestsCarryTheCredentialsInTheirLength) {
    EXPECT_EQ(FormatFrame(kCmdPositions, WithCredentials("", "u1", "")), "00000029009curuser=u1&curpwd=");
    // 11 header bytes + a 10-byte body + "&curuser=" + 2 + "&curpwd=" + 2.
    const std::string frame = FormatFrame(kCmdOrder, WithCredentials("0123456789", "ab", "cd"));
    EXPECT_EQ(frame, "00000042002"
                     "0123456789&curuser=ab&curpwd=cd");
    EXPECT_EQ(frame.size(), 42u);
    EXPECT_EQ(FormatFrame(kCmdQuoteSubscribe, "").substr(8), "017");
    EXPECT_EQ(FormatFrame(kCmdHeartbeat, "x"), "00000012090x");
    // Lengths count bytes: two GBK characters are four bytes.
    EXPECT_EQ(FormatFrame(1, "\xC2\xF2\xC8\xEB").substr(0, 8), "00000015");
}

TEST(FrameTest, LengthPrefixMustBeEightDigitsWithinBounds) {
    EXPECT_EQ(ParseLengthPrefix("00000042"), 42u);
    EXPECT_EQ(ParseLengthPrefix("00000011"), 11u);
    EXPECT_EQ(ParseLengthPrefix("00065535"), 65535u);
    EXPECT_FALSE(ParseLengthPrefix("00000010"));
    EXPECT_FALSE(ParseLengthPrefix("00065536"));
    EXPECT_FALSE(ParseLengthPrefix("0000004x"));
    EXPECT_FALSE(ParseLengthPrefix(" 0000042"));
    EXPECT_FALSE(ParseLengthPrefix("-0000042"));
}

TEST(FrameTest, NumbersFollowTheLongestPrefixRules) {
    EXPECT_EQ(ParseCommand("090"), 90);
    EXPECT_EQ(ParseCommand("abc"), 0);
    EXPECT_EQ(LeadingInteger("  -12x"), -12);
    EXPECT_EQ(LeadingInteger("x12"), 0);
    EXPECT_EQ(LeadingInteger("99999999999999999999999"), std::numeric_limits<long long>::max());
    EXPECT_DOUBLE_EQ(LeadingDouble(" 10.32abc"), 10.32);
    EXPECT_DOUBLE_EQ(LeadingDouble("+1.5e2"), 150.0);
    EXPECT_DOUBLE_EQ(LeadingDouble("-.5"), -0.5);
    EXPECT_EQ(LeadingDouble("abc"), 0.0);
    EXPECT_EQ(LeadingDouble("--1"), 0.0);
    EXPECT_EQ(LeadingDouble(""), 0.0);
    EXPECT_TRUE(std::isinf(LeadingDouble("1e999")));
    EXPECT_EQ(LeadingDouble("1e-999"), 0.0);
}

TEST(FrameTest, DecoderTakesWholeFramesOutOfPieces) {
    FrameDecoder decoder;
    Frame frame;
    const std::string two = FormatFrame(9, "a,b|") + FormatFrame(11, "");
    decoder.Append(two.data(), 5);
    EXPECT_EQ(decoder.Next(frame), FrameDecoder::Status::kNeedMore);
    decoder.Append(two.data() + 5, two.size() - 5);
    ASSERT_EQ(decoder.Next(frame), FrameDecoder::Status::kFrame);
    EXPECT_EQ(frame.command, 9);
    EXPECT_EQ(frame.body, "a,b|");
    ASSERT_EQ(decoder.Next(frame), FrameDecoder::Status::kFrame);
    EXPECT_EQ(frame.command, 11);
    EXPECT_EQ(frame.body, "");
    EXPECT_EQ(decoder.Next(frame), FrameDecoder::Status::kNeedMore);
    decoder.Append("00000003xyz", 11);
    EXPECT_EQ(decoder.Next(frame), FrameDecoder::Status::kBroken);
}

// "00000015001abcd": a header of 11 bytes that says 15 in all, then a body of four.
TEST(FrameTest, DecoderSaysHowManyBytesTheFrameUnderWayStillNeeds) {
    FrameDecoder decoder;
    Frame frame;
    EXPECT_EQ(decoder.Missing(), 11u);
    decoder.Append("00000", 5);
    EXPECT_EQ(decoder.Missing(), 6u);
    decoder.Append("015001", 6);
    EXPECT_EQ(decoder.Missing(), 4u);
    decoder.Append("abc", 3);
    EXPECT_EQ(decoder.Missing(), 1u);
    decoder.Append("d00000012002x", 13); // the rest, and a whole second frame
    EXPECT_EQ(decoder.Missing(), 0u);
    ASSERT_EQ(decoder.Next(frame), FrameDecoder::Status::kFrame);
    EXPECT_EQ(frame.body, "abcd");
    EXPECT_EQ(decoder.Missing(), 0u);
    ASSERT_EQ(decoder.Next(frame), FrameDecoder::Status::kFrame);
    EXPECT_EQ(frame.body, "x");
    EXPECT_EQ(decoder.Missing(), 11u);
    decoder.Append("0000000Xyzw", 11); // a prefix that is not eight digits
    EXPECT_EQ(decoder.Missing(), 0u);
    EXPECT_EQ(decoder.Next(frame), FrameDecoder::Status::kBroken);
}

TEST(SplitTextTest, KeepsEmptyPiecesAndTheRemainder) {
    EXPECT_EQ(SplitText("a,b", ",").size(), 2u);
    const auto pieces = SplitText("a,b,", ",");
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[2], "");
    EXPECT_EQ(SplitText("", ",").size(), 1u);
    const auto login = SplitText("0,,,ok,,,x,y", ",,,");
    ASSERT_EQ(login.size(), 3u);
    EXPECT_EQ(login[2], "x,y");
}

TEST(GbkTextTest, LongFieldsAreCutAtACharacterBoundary) {
    char slot[8];
    std::memset(slot, 'z', sizeof slot);
    StoreField(slot, "1234567890");
    EXPECT_EQ(FieldText(slot), "1234567");
    EXPECT_EQ(slot[7], '\0');
    // "ab" then three two-byte characters: 7 bytes would end inside the third one.
    StoreField(slot, "ab\xD6\xD0\xB9\xFA\xC8\xCB");
    EXPECT_EQ(FieldText(slot), "ab\xD6\xD0\xB9\xFA");
    EXPECT_EQ(slot[6], '\0');
    StoreField(slot, "abc");
    EXPECT_EQ(FieldText(slot), "abc");
    EXPECT_EQ(slot[5], '\0');
}

} // namespace
} // namespace net
