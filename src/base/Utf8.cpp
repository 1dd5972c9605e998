#include "Utf8.h"

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr char32_t kReplacement = 0xFFFD;

} // namespace

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
        return kReplacement;
    }

    for (int i = 0; i < trail; ++i) {
        if (pos >= text.size())
            return kReplacement;
        const unsigned char b = byte(pos);
        if (b < lo || b > hi)
            return kReplacement;
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        ++pos;
    }
    return cp;
}

std::u16string DecodeUtf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = NextCodePoint(text, pos);
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::size_t Utf16Length(std::string_view text)
{
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // ASCII runs are the common case in result sets: eight bytes at a time while they last.
        std::uint64_t word;
        if (pos + sizeof word <= text.size()) {
            std::memcpy(&word, text.data() + pos, sizeof word);
            if ((word & 0x8080808080808080ULL) == 0) {
                pos += sizeof word;
                units += sizeof word;
                continue;
            }
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

std::string EncodeUtf8(std::u16string_view text)
{
    // Statements are mostly ASCII, and may be megabytes: their ASCII lead is narrowed eight units at
    // a time, which the compiler turns into vector code.
    std::string out(text.size(), '\0');
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        char16_t any = 0;
        for (std::size_t k = 0; k < 8; ++k)
            any |= text[i + k];
        if (any >= 0x80)
            break;
        for (std::size_t k = 0; k < 8; ++k)
            out[i + k] = static_cast<char>(text[i + k]);
    }
    out.resize(i);
    if (i == text.size())
        return out;
    out.reserve(i + (text.size() - i) * 3);
    for (; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}
