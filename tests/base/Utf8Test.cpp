#include "Utf8.h"

#include <gtest/gtest.h>

namespace {

struct TDecodeCase {
    const char* Name;
    std::string Bytes;
    std::u16string Text;
};

TEST(Utf8, DecodesCountsAndRepairsAlike)
{
    const TDecodeCase cases[] = {
        {"ascii", "select 1", u"select 1"},
        {"cyrillic", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", u"Привет"},
        {"bmp three bytes", "\xE2\x82\xAC", u"€"},
        {"astral becomes a pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"zero byte kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"U+FFFD itself", "\xEF\xBF\xBD", u"\uFFFD"},
        {"lone continuation", "a\x80" "b", u"a\uFFFDb"},
        {"truncated at end", "a\xD0", u"a\uFFFD"},
        {"truncated before ascii", "\xE2\x82z", u"\uFFFDz"},
        {"truncated four bytes", "\xF0\x9F\x98", u"\uFFFD"},
        {"overlong two bytes", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"overlong four bytes", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"surrogate encoded", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"never a lead byte", "\xF5\xFF", u"\uFFFD\uFFFD"},
        {"latin1 byte", "caf\xE9", u"caf\uFFFD"},
        {"bad byte after a long ascii run", "0123456789abcdef\x80", u"0123456789abcdef\uFFFD"},
        {"empty", "", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(DecodeUtf8(c.Bytes), c.Text);
        EXPECT_EQ(Utf16Length(c.Bytes), c.Text.size());
        // Repaired bytes are well formed and read as the text did; our own decoder then agrees.
        std::string repaired;
        std::size_t units = 0;
        const std::string_view fixed = RepairUtf8(c.Bytes, repaired, units);
        EXPECT_EQ(units, c.Text.size());
        EXPECT_EQ(fixed, EncodeUtf8(c.Text));
        EXPECT_EQ(OwnUtf16Length(fixed), c.Text.size());
        std::u16string own(OwnUtf16Length(fixed), u'\0');
        DecodeOwnUtf8(fixed, own.data());
        EXPECT_EQ(own, c.Text);
    }
}

TEST(Utf8, EncodesLoneSurrogatesByTheChosenRule)
{
    struct TCase {
        const char* Name;
        std::u16string Text;
        std::string Kept;      // as the line store keeps it
        std::string Replaced;  // as it leaves the program
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const TCase cases[] = {
        {"ascii", u"abc", "abc", "abc"},
        {"two and three bytes", u"ж€", "\xD0\xB6\xE2\x82\xAC", "\xD0\xB6\xE2\x82\xAC"},
        {"a pair is four bytes", u"\U0001F600", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"a lone high surrogate", u"a\xD800" "b", "a\xED\xA0\x80" "b", "a" + fffd + "b"},
        {"a lone low surrogate", u"\xDFFF", "\xED\xBF\xBF", fffd},
        {"a high one at the end", u"x\xDBFF", "x\xED\xAF\xBF", "x" + fffd},
        {"two highs, then a pair", u"\xD83D\xD83D\xDE00", "\xED\xA0\xBD\xF0\x9F\x98\x80",
            fffd + "\xF0\x9F\x98\x80"},
        {"low before high", u"\xDE00\xD83D", "\xED\xB8\x80\xED\xA0\xBD", fffd + fffd},
        {"U+FFFD itself", u"\uFFFD", fffd, fffd},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Utf8Size(c.Text), c.Kept.size());
        EXPECT_EQ(EncodeUtf8(c.Text, TLoneSurrogate::Keep), c.Kept);
        EXPECT_EQ(EncodeUtf8(c.Text), c.Replaced);
        // Kept bytes come back as the very units that went in.
        EXPECT_EQ(OwnUtf16Length(c.Kept), c.Text.size());
        std::u16string back(c.Text.size(), u'\0');
        DecodeOwnUtf8(c.Kept, back.data());
        EXPECT_EQ(back, c.Text);
        // And leave the program as the replacing encoder writes them.
        std::string leaving = c.Kept;
        ReplaceLoneSurrogates(leaving.data(), leaving.size());
        EXPECT_EQ(leaving, c.Replaced);
        // Bytes from elsewhere never hold a surrogate.
        EXPECT_EQ(EncodeUtf8(DecodeUtf8(c.Replaced)), c.Replaced);
    }
}

TEST(Utf8, SeeksUnitsInOwnBytes)
{
    // Units: a, high, low, ж, lone low surrogate, b.
    const std::string bytes = EncodeUtf8(u"a\U0001F600ж\xDC00" "b", TLoneSurrogate::Keep);
    struct TCase {
        std::size_t Unit;
        bool AfterPair;
        std::size_t Byte, Units;
    };
    const TCase cases[] = {
        {0, false, 0, 0},
        {1, false, 1, 1},
        {2, false, 1, 1},   // between the halves: before the pair
        {2, true, 5, 3},    // or after it
        {3, false, 5, 3},
        {4, true, 7, 4},
        {5, false, 10, 5},
        {6, false, 11, 6},
        {9, true, 11, 6},   // past the end: the end
    };
    for (const TCase& c : cases) {
        const TUtf8Position at = SeekOwnUtf8(bytes, {}, c.Unit, c.AfterPair);
        EXPECT_EQ(at.Byte, c.Byte) << c.Unit << " " << c.AfterPair;
        EXPECT_EQ(at.Units, c.Units) << c.Unit << " " << c.AfterPair;
    }
    // A walk goes on from where an earlier one stopped.
    const TUtf8Position from = SeekOwnUtf8(bytes, {}, 3, false);
    EXPECT_EQ(SeekOwnUtf8(bytes, from, 5, true).Byte, 10u);
}

} // namespace
