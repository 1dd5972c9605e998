#include "Utf8.h"

#include <gtest/gtest.h>

namespace {

struct TDecodeCase {
    const char* Name;
    std::string Bytes;
    std::u16string Text;
};

TEST(Utf8, DecodesAndCountsAlike)
{
    const TDecodeCase cases[] = {
        {"ascii", "select 1", u"select 1"},
        {"cyrillic", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", u"Привет"},
        {"bmp three bytes", "\xE2\x82\xAC", u"€"},
        {"astral becomes a pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"zero byte kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"lone continuation", "a\x80" "b", u"a\uFFFDb"},
        {"truncated at end", "a\xD0", u"a\uFFFD"},
        {"truncated before ascii", "\xE2\x82z", u"\uFFFDz"},
        {"overlong two bytes", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"surrogate encoded", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"latin1 byte", "caf\xE9", u"caf\uFFFD"},
        {"empty", "", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeUtf8(c.Bytes), c.Text) << c.Name;
        EXPECT_EQ(Utf16Length(c.Bytes), c.Text.size()) << c.Name;
    }
}

TEST(Utf8, EncodeRoundTripsAndRepairsLoneSurrogates)
{
    const std::string text = "Мир \xF0\x9F\x98\x80 x";
    EXPECT_EQ(EncodeUtf8(DecodeUtf8(text)), text);
    EXPECT_EQ(EncodeUtf8(u"a\xD800" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(EncodeUtf8(u"\xDC00"), "\xEF\xBF\xBD");
}

} // namespace
