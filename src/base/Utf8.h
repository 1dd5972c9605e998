// The program's one UTF-8 codec: bytes from the server and files read by one rule for bad bytes, so
// that the widths the client layer measures are the widths the transcript draws; text written as the
// line store keeps it and as it leaves the program, by one rule for a lone surrogate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// What an ill-formed sequence or a lone surrogate becomes, and its UTF-8 bytes.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;
inline constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// Reading bytes that come from elsewhere (the server, a file, the client layer).

// Decodes UTF-8 into UTF-16. Each maximal ill-formed subsequence (an unexpected byte, a truncated
// sequence, an overlong form, a surrogate or a value above U+10FFFF) becomes one U+FFFD; the rest of
// the text is kept.
std::u16string DecodeUtf8(std::string_view text);
// The same into out, which has room for text.size() units (no byte gives more than one); returns the
// number of units written.
std::size_t DecodeUtf8(std::string_view text, char16_t* out);

// The number of UTF-16 units that DecodeUtf8 gives for the text, without building it.
std::size_t Utf16Length(std::string_view text);

// Reads the code point that starts at text[pos] (pos < size) and moves pos past it; a maximal
// ill-formed subsequence gives U+FFFD, by the rule of DecodeUtf8.
char32_t NextCodePoint(std::string_view text, std::size_t& pos);

// The length of the run of printable ASCII (bytes 0x20 to 0x7E) that starts at from: text that needs
// neither decoding nor escaping, as most values of a result are.
std::size_t PrintableAsciiRun(std::string_view text, std::size_t from = 0);

// Gives text the form DecodeUtf8 reads it in as well-formed UTF-8: each maximal ill-formed
// subsequence becomes the three bytes of U+FFFD. Returns the text itself when it is well formed (the
// common case, which copies nothing), else the repaired copy it leaves in repaired; units is the
// length of either in UTF-16 units.
std::string_view RepairUtf8(std::string_view text, std::string& repaired, std::size_t& units);

// Whether every byte is ASCII.
inline bool IsAscii(std::string_view text)
{
    const char* p = text.data();
    const char* end = p + text.size();
    for (; end - p >= 8; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0)
            return false;
    }
    for (; p < end; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    return true;
}

// Writing UTF-16 text.

// What the encoder does with a UTF-16 unit that belongs to no pair. The line store keeps it, as the
// three bytes its value would take, so that any sequence of units survives the round trip; text that
// leaves the program (sent to the server, copied, saved) carries U+FFFD in its place. Both take
// three bytes, so a text's encoded size is the same either way.
enum class TLoneSurrogate { Keep, Replace };

inline bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

inline bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Whether every unit is ASCII, so that the text encodes one byte a unit: the common case, which the
// loops below then pass through in tight, vectorisable form.
inline bool IsAscii(std::u16string_view text)
{
    char16_t high = 0;
    for (const char16_t unit : text)
        high |= unit;
    return high < 0x80;
}

// The encoded size of a text: a pair of surrogates takes four bytes, a lone surrogate three.
inline std::size_t Utf8Size(std::u16string_view text)
{
    if (IsAscii(text))
        return text.size();
    const char16_t* units = text.data();
    const std::size_t count = text.size();
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t unit = units[i];
        if (unit < 0x80) {
            bytes += 1;
        } else if (unit < 0x800) {
            bytes += 2;
        } else if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
            bytes += 4;
            ++i;
        } else {
            bytes += 3;
        }
    }
    return bytes;
}

// Writes the text's Utf8Size(text) bytes (passed as bytes) to out.
inline void EncodeUtf8(std::u16string_view text, std::size_t bytes, char* out, TLoneSurrogate lone)
{
    const char16_t* units = text.data();
    const std::size_t count = text.size();
    if (bytes == count) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<char>(units[i]);
        return;
    }
    auto* p = reinterpret_cast<unsigned char*>(out);
    for (std::size_t i = 0; i < count; ++i) {
        char32_t cp = units[i];
        if (cp < 0x80) {
            *p++ = static_cast<unsigned char>(cp);
            continue;
        }
        if (cp < 0x800) {
            *p++ = static_cast<unsigned char>(0xC0 | (cp >> 6));
            *p++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            continue;
        }
        if (IsHighSurrogate(units[i]) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(units[i + 1]) - 0xDC00);
            *p++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
            *p++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            ++i;
            continue;
        }
        if (lone == TLoneSurrogate::Replace && cp >= 0xD800 && cp <= 0xDFFF)
            cp = kReplacementCharacter;
        *p++ = static_cast<unsigned char>(0xE0 | (cp >> 12));
        *p++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        *p++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    }
}

// Encodes UTF-16 as UTF-8; by default, for text that leaves the program, a lone surrogate becomes
// U+FFFD.
std::string EncodeUtf8(std::u16string_view text, TLoneSurrogate lone = TLoneSurrogate::Replace);

// Reading back bytes of our own: what EncodeUtf8 wrote keeping lone surrogates, or any well-formed
// UTF-8 (RepairUtf8's output). They are trusted, so they are read by their lead bytes, unchecked.

// The bytes of the sequence that a lead byte starts.
inline std::size_t Utf8SequenceLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// The UTF-16 units of the sequence that a lead byte starts: a four-byte one is a pair.
inline std::size_t Utf8SequenceUnits(unsigned char lead)
{
    return lead >= 0xF0 ? 2 : 1;
}

// The number of UTF-16 units our own bytes decode to.
inline std::size_t OwnUtf16Length(std::string_view bytes)
{
    std::size_t units = 0;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        // Every lead byte starts a unit, a four-byte one a pair.
        units += (byte & 0xC0) != 0x80;
        units += byte >= 0xF0;
    }
    return units;
}

// Decodes our own bytes into out, which has room for OwnUtf16Length(bytes) units.
inline void DecodeOwnUtf8(std::string_view bytes, char16_t* out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            *out++ = lead;
            p += 1;
        } else if (lead < 0xE0) {
            *out++ = static_cast<char16_t>(((lead & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
        } else if (lead < 0xF0) {
            *out++ = static_cast<char16_t>(((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            p += 3;
        } else {
            const char32_t cp = (static_cast<char32_t>(lead & 0x07) << 18) | ((p[1] & 0x3F) << 12)
                | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            *out++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            p += 4;
        }
    }
}

// A place in our own bytes: a byte offset and the UTF-16 units before it.
struct TUtf8Position {
    std::size_t Byte = 0;
    std::size_t Units = 0;
};

// Walks our own bytes from a place to the one at UTF-16 unit `unit`, or to their end. A unit inside
// a pair (the position between its halves) gives the place before the pair, or with afterPair the
// place after it.
inline TUtf8Position SeekOwnUtf8(std::string_view bytes, TUtf8Position from, std::size_t unit, bool afterPair)
{
    while (from.Byte < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[from.Byte]);
        const std::size_t units = Utf8SequenceUnits(lead);
        if (afterPair ? from.Units >= unit : from.Units + units > unit)
            break;
        from.Units += units;
        from.Byte += Utf8SequenceLength(lead);
    }
    return from;
}

// Turns our own bytes into the form text leaves the program in: each lone surrogate kept in them
// becomes U+FFFD in place (it takes as many bytes), as EncodeUtf8 replaces it in text sent to the
// server.
void ReplaceLoneSurrogates(char* bytes, std::size_t size);
