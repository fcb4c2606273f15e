#include "card/strtoint.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <optional>

namespace {

std::optional<std::int32_t> Convert(const std::string &text)
{
    std::int32_t value = 0;
    if (!TryStrToInt(text, value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

TEST(StrToInt, AcceptsDecimalWithinTheSigned32BitRange)
{
    EXPECT_EQ(Convert("0"), 0);
    EXPECT_EQ(Convert("-4"), -4);
    EXPECT_EQ(Convert("+4"), 4);
    EXPECT_EQ(Convert(" 12"), 12);
    EXPECT_EQ(Convert("\t 12"), 12);
    EXPECT_EQ(Convert("007"), 7);
    EXPECT_EQ(Convert("2147483647"), 2147483647);
    EXPECT_EQ(Convert("-2147483648"), INT32_MIN);
    EXPECT_EQ(Convert("00000000002147483647"), 2147483647);
}

TEST(StrToInt, AcceptsHexadecimalAsThe32BitPattern)
{
    EXPECT_EQ(Convert("0x10"), 16);
    EXPECT_EQ(Convert("0X10"), 16);
    EXPECT_EQ(Convert("x1f"), 31);
    EXPECT_EQ(Convert("X1F"), 31);
    EXPECT_EQ(Convert("$1F"), 31);
    EXPECT_EQ(Convert("$FFFFFFFF"), -1);
    EXPECT_EQ(Convert("$7FFFFFFF"), INT32_MAX);
    EXPECT_EQ(Convert("$80000000"), INT32_MIN);
    EXPECT_EQ(Convert("-$10"), -16);
    EXPECT_EQ(Convert("-0x80000000"), INT32_MIN);
    EXPECT_EQ(Convert("-$FFFFFFFF"), 1);
    EXPECT_EQ(Convert("$000000001"), 1);
}

TEST(StrToInt, RejectsAnythingElseAndLeavesTheOutputAlone)
{
    const auto rejects = [](const char *text) {
        std::int32_t value = 42;
        return !TryStrToInt(text, value) && value == 42;
    };
    for (const char *text : {"", " ", "-", "+", "--5", "- 5", "abc", "12 ", "12a", "1 2"}) {
        EXPECT_TRUE(rejects(text)) << '"' << text << '"';
    }
    for (const char *text : {"2147483648", "-2147483649", "99999999999999999999", "$100000000"}) {
        EXPECT_TRUE(rejects(text)) << '"' << text << '"';
    }
    // Prefixes without digits, other notations.
    for (const char *text : {"0x", "$", "x", "-$", "$G", "0x-1", "$-1", "1.5", "1e3", "0b1"}) {
        EXPECT_TRUE(rejects(text)) << '"' << text << '"';
    }
    EXPECT_TRUE(rejects("\xef\xbc\x91")) << "full-width digit one";
}
