// UTF-8 in and out: decoding that turns every malformed byte into a replacement mark, the
// encoding of one character, and which characters are printable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint32_t kReplacementChar = 0xFFFD;

// The characters of a UTF-8 string; every byte that does not begin a well-formed character
// (truncated, overlong, a surrogate, past U+10FFFF) becomes one U+FFFD, and decoding goes on
// with the next byte. Never reads outside s.
std::vector<std::uint32_t> decode_utf8(const std::string& s);
// Appends the UTF-8 form of ch; a value that is not a character appends U+FFFD.
void append_utf8(std::uint32_t ch, std::string& out);
std::string encode_utf8(const std::vector<std::uint32_t>& chars);
// False for the C0 and C1 control codes, DEL, surrogates and values past U+10FFFF.
bool is_printable_char(std::uint32_t ch);
