// UTF-8 decoding shared by the client layer and the panes: one rule for bad bytes, so that the
// widths the client layer measures are the widths the transcript draws.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Decodes UTF-8 into UTF-16. Each maximal ill-formed subsequence (an unexpected byte, a truncated
// sequence, an overlong form, a surrogate or a value above U+10FFFF) becomes one U+FFFD; the rest of
// the text is kept.
std::u16string DecodeUtf8(std::string_view text);

// The number of UTF-16 units that DecodeUtf8 gives for the text, without building it.
std::size_t Utf16Length(std::string_view text);

// Reads the code point that starts at text[pos] (pos < size) and moves pos past it; a maximal
// ill-formed subsequence gives U+FFFD, by the rule of DecodeUtf8.
char32_t NextCodePoint(std::string_view text, std::size_t& pos);

// The length of the run of printable ASCII (bytes 0x20 to 0x7E) that starts at from: text that needs
// neither decoding nor escaping, as most values of a result are.
std::size_t PrintableAsciiRun(std::string_view text, std::size_t from = 0);

// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string EncodeUtf8(std::u16string_view text);
