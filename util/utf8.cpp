// UTF-8 decoding and encoding.
#include "util/utf8.h"

namespace {

bool is_char(std::uint32_t ch) { return ch <= 0x10FFFF && !(ch >= 0xD800 && ch <= 0xDFFF); }

}  // namespace

std::vector<std::uint32_t> decode_utf8(const std::string& s) {
    std::vector<std::uint32_t> out;
    out.reserve(s.size());
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int len = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) len = 1, cp = c;
        else if ((c & 0xE0) == 0xC0) len = 2, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0) len = 3, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0) len = 4, cp = c & 0x07;
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static const std::uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[len] || !is_char(cp))) ok = false;
        if (!ok) {
            out.push_back(kReplacementChar);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += len;
    }
    return out;
}

void append_utf8(std::uint32_t ch, std::string& out) {
    if (!is_char(ch)) ch = kReplacementChar;
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

std::string encode_utf8(const std::vector<std::uint32_t>& chars) {
    std::string out;
    out.reserve(chars.size());
    for (std::uint32_t ch : chars) append_utf8(ch, out);
    return out;
}

bool is_printable_char(std::uint32_t ch) {
    if (ch < 0x20 || ch == 0x7F || (ch >= 0x80 && ch < 0xA0)) return false;
    return is_char(ch);
}
