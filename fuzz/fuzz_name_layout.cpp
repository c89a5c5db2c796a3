// libFuzzer target for names as they come from outside: any bytes decoded as UTF-8, turned into
// the characters of a label, laid out and cut to a width, folded for search and looked up.
// Traps when a result breaks what its callers rely on.
#include "gfx/text_layout.h"
#include "util/name_index.h"
#include "util/utf8.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool is_char(std::uint32_t ch) { return ch <= 0x10FFFF && !(ch >= 0xD800 && ch <= 0xDFFF); }

// Advances of every kind a font gives: ordinary, zero, huge.
float advance(std::uint32_t ch) {
    switch (ch % 7) {
        case 0:
            return 0.0f;
        case 1:
            return 1e30f;
        default:
            return static_cast<float>(ch % 23);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::size_t max_chars = data[0] % 64;
    const float max_width = static_cast<float>(data[0]) * 3.0f;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    const std::vector<std::uint32_t> chars = decode_utf8(text);
    check(chars.size() <= text.size());
    bool replaced = false;
    for (std::uint32_t ch : chars) check(is_char(ch)), replaced |= ch == kReplacementChar;
    if (!replaced) check(encode_utf8(chars) == text);  // well-formed text round-trips

    const std::vector<std::uint32_t> label = label_chars(text, max_chars);
    check(label.size() <= max_chars);
    for (std::uint32_t ch : label) check(is_printable_char(ch));

    const GFX_LineLayout line = layout_line(label, max_width, advance);
    check(line.m_chars.size() == line.m_x.size());
    for (std::size_t i = 1; i < line.m_x.size(); ++i) check(line.m_x[i] >= line.m_x[i - 1]);
    if (line.m_cut) {
        check(line.m_chars.back() == kEllipsisChar);
        check(line.m_width <= max_width || line.m_chars.size() == 1);
    } else {
        check(line.m_chars == label);
    }

    const UTL_FoldedName folded = fold_name(text);
    for (std::size_t i = 0; i < folded.m_word_starts.size(); ++i) {
        check(folded.m_word_starts[i] < folded.m_chars.size());
        if (i > 0) check(folded.m_word_starts[i] > folded.m_word_starts[i - 1]);
    }
    // The text as a name among others, and its halves as queries.
    UTL_NameIndex index;
    index.add("Zoë Ñúñez");
    index.add(text);
    index.add(text.substr(text.size() / 2));
    for (const std::string& query : {text, text.substr(0, text.size() / 2)})
        for (std::size_t i : index.find(query, max_chars)) check(i < index.size());
    return 0;
}
