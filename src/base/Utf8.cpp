#include "Utf8.h"

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// The ranges of the second byte are those of the Unicode well-formedness table.
char32_t NextCodePoint(std::string_view text, std::size_t& pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos++);
    if (lead < 0x80)
        return lead;

    int trail;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            lo = 0xA0;
        else if (lead == 0xED)
            hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        cp = lead & 0x07;
        if (lead == 0xF0)
            lo = 0x90;
        else if (lead == 0xF4)
            hi = 0x8F;
    } else {
        return kReplacementCharacter;
    }

    for (int i = 0; i < trail; ++i) {
        if (pos >= text.size())
            return kReplacementCharacter;
        const unsigned char b = byte(pos);
        if (b < lo || b > hi)
            return kReplacementCharacter;
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        ++pos;
    }
    return cp;
}

std::size_t DecodeUtf8(std::string_view text, char16_t* out)
{
    char16_t* const start = out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = NextCodePoint(text, pos);
        if (cp >= 0x10000) {
            *out++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            *out++ = static_cast<char16_t>(cp);
        }
    }
    return static_cast<std::size_t>(out - start);
}

std::u16string DecodeUtf8(std::string_view text)
{
    std::u16string out(text.size(), u'\0');
    out.resize(DecodeUtf8(text, out.data()));
    return out;
}

std::size_t Utf16Length(std::string_view text)
{
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // ASCII runs are the common case in result sets: eight bytes at a time while they last.
        if (pos + 8 <= text.size() && IsAscii(text.substr(pos, 8))) {
            pos += 8;
            units += 8;
            continue;
        }
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            ++units;
            continue;
        }
        units += NextCodePoint(text, pos) >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::size_t PrintableAsciiRun(std::string_view text, std::size_t from)
{
    const char* data = text.data();
    const std::size_t size = text.size();
    std::size_t p = from;
#ifdef __SSE2__
    // A huge value is mostly such a run: sixteen bytes at a time. Compared as signed bytes,
    // everything from 0x80 up is below 0x20.
    const __m128i belowSpace = _mm_set1_epi8(0x1F);
    const __m128i deleteCode = _mm_set1_epi8(0x7F);
    for (; p + 16 <= size; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
        const __m128i plain = _mm_and_si128(_mm_cmpgt_epi8(chunk, belowSpace), _mm_cmplt_epi8(chunk, deleteCode));
        if (const int mask = _mm_movemask_epi8(plain); mask != 0xFFFF)
            return p - from + static_cast<std::size_t>(__builtin_ctz(~static_cast<unsigned>(mask)));
    }
#endif
    // Short values, most cells, eight bytes at a time: a byte from 0x80 up, one below 0x20 (the
    // borrow test) or 0x7F (which the carry of + 1 turns into 0x80) ends the run.
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    for (; p + 8 <= size; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + p, sizeof word);
        if ((((word | (word + ones)) & highs) | ((word - 0x20 * ones) & ~word & highs)) != 0)
            break;
    }
    for (; p < size; ++p) {
        const auto c = static_cast<unsigned char>(data[p]);
        if (c < 0x20 || c > 0x7E)
            break;
    }
    return p - from;
}

std::string_view RepairUtf8(std::string_view text, std::string& repaired, std::size_t& units)
{
    units = 0;
    std::size_t copied = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            ++at;
            ++units;
            continue;
        }
        const std::size_t start = at;
        const char32_t cp = NextCodePoint(text, at);
        units += cp >= 0x10000 ? 2 : 1;
        // An ill-formed sequence reads as U+FFFD too, but never as its three bytes.
        if (cp != kReplacementCharacter || text.substr(start, at - start) == kReplacementUtf8)
            continue;
        // Only text that needs repair is copied.
        if (copied == 0)
            repaired.clear();
        repaired.append(text.substr(copied, start - copied));
        repaired.append(kReplacementUtf8);
        copied = at;
    }
    if (copied == 0)
        return text;
    repaired.append(text.substr(copied));
    return repaired;
}

std::string EncodeUtf8(std::u16string_view text, TLoneSurrogate lone)
{
    std::string out(Utf8Size(text), '\0');
    EncodeUtf8(text, out.size(), out.data(), lone);
    return out;
}

void ReplaceLoneSurrogates(char* bytes, std::size_t size)
{
    // A lone surrogate is kept as ED A0..BF xx; no well-formed sequence starts that way, and ED is
    // never a trailing byte.
    char* const end = bytes + size;
    for (char* at = bytes; end - at >= 3;) {
        at = static_cast<char*>(std::memchr(at, '\xED', static_cast<std::size_t>(end - at - 2)));
        if (at == nullptr)
            return;
        if (static_cast<unsigned char>(at[1]) >= 0xA0)
            std::memcpy(at, kReplacementUtf8.data(), kReplacementUtf8.size());
        at += 3;
    }
}
