#include "support.h"

#include "card/sjis.h"

#include <gtest/gtest.h>

TEST(Sjis, ConvertsBothWaysAndReplacesWhatCannotBeConverted)
{
    const char *japanese = "株式会社プラクロ 山田太郎 〒100-0001 ｶﾀｶﾅ ①Ⅱ㈱ 髙﨑 ABC";
    const std::string bytes = sjis::fromUtf8(japanese);
    EXPECT_EQ(bytes.substr(0, 4), "\x8A\x94\x8E\xAE");            // 株式
    EXPECT_NE(bytes.find("\xB6\xC0\xB6\xC5"), std::string::npos); // half-width ｶﾀｶﾅ
    EXPECT_EQ(bytes.find('?'), std::string::npos) << "all of it is in code page 932";
    EXPECT_EQ(sjis::toUtf8(bytes), japanese);
    EXPECT_EQ(sjis::toUnicode(bytes), QString::fromUtf8(japanese));
    EXPECT_EQ(sjis::fromUnicode(QString::fromUtf8(japanese)), bytes);

    // A character code page 932 lacks becomes one '?', whatever its length.
    EXPECT_EQ(sjis::fromUtf8("A😀B"), "A?B");
    EXPECT_EQ(sjis::fromUtf8("😀😀"), "??");
    EXPECT_EQ(sjis::fromUtf8("caf\xC3\xA9"), "caf?");
    EXPECT_EQ(sjis::fromUtf8("\xFFok"), "?ok") << "malformed UTF-8 too";
    EXPECT_EQ(sjis::fromUtf8(""), "");

    // Bytes that are not code page 932 become U+FFFD; a lead byte with a bad
    // trail byte loses only itself.
    EXPECT_EQ(sjis::toUtf8("\x80"), "\xEF\xBF\xBD");
    EXPECT_EQ(sjis::toUtf8("A\xFD"
                           "B"),
              "A\xEF\xBF\xBD"
              "B");
    EXPECT_EQ(sjis::toUtf8("\x81\x20x"), "\xEF\xBF\xBD x");
    EXPECT_EQ(sjis::toUtf8("ab\x82"), "ab\xEF\xBF\xBD") << "a character cut at the end";

    // Long texts convert whole (more than one conversion buffer).
    std::string longText;
    for (int i = 0; i < 3000; ++i)
        longText += "表";
    EXPECT_EQ(sjis::toUtf8(sjis::fromUtf8(longText.c_str())), longText);
}

TEST(Sjis, ByteHelpersStepOverTwoByteCharacters)
{
    const std::string hyo = sj("表"); // 0x95 0x5C: the trail byte is a backslash
    ASSERT_EQ(hyo, "\x95\x5C");
    EXPECT_EQ(sjis::truncate(hyo + hyo, 3), hyo);
    EXPECT_EQ(sjis::truncate("a" + hyo, 2), "a");
    EXPECT_EQ(sjis::truncate("abc", 3), "abc");
    EXPECT_EQ(sjis::truncate(sj("ｱｲｳ"), 2), sj("ｱｲ"));

    EXPECT_EQ(sjis::toUpper("abc" + sj("ａ") + "xyz"), "ABC" + sj("ａ") + "XYZ");
    EXPECT_EQ(sjis::toUpper("\x82\x61"
                            "b"),
              "\x82\x61"
              "B")
        << "trail byte 0x61 stays";

    const std::string path = sj("C:\\写真\\表.jpg");
    EXPECT_EQ(sjis::fileNamePart(path), sj("表.jpg"));
    EXPECT_EQ(sjis::extensionPart(path), ".jpg");
    EXPECT_EQ(sjis::fileNamePart(sj("/home/表")), sj("表"));
    EXPECT_EQ(sjis::extensionPart(sj("C:\\a.b\\表紙")), "");
    EXPECT_EQ(sjis::extensionPart("x.tar.GZ"), ".GZ");

    EXPECT_TRUE(sjis::isLeadByte(0x81));
    EXPECT_TRUE(sjis::isLeadByte(0x9F));
    EXPECT_TRUE(sjis::isLeadByte(0xE0));
    EXPECT_TRUE(sjis::isLeadByte(0xFC));
    EXPECT_FALSE(sjis::isLeadByte(0x80));
    EXPECT_FALSE(sjis::isLeadByte(0xA0));
    EXPECT_FALSE(sjis::isLeadByte(0xDF));
    EXPECT_FALSE(sjis::isLeadByte(0xFD));
}
