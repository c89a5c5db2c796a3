// Label characters and line layout.
#include "gfx/text_layout.h"

#include "util/utf8.h"

#include <cmath>

std::vector<std::uint32_t> label_chars(const std::string& utf8, std::size_t max_chars) {
    // NOTE: decoding stops reading soon after max_chars characters, so a name of megabytes
    // costs no more than a short one; 4 bytes per character is the longest form.
    const std::size_t bytes = max_chars < utf8.size() / 4 ? (max_chars + 1) * 4 : utf8.size();
    std::vector<std::uint32_t> chars = decode_utf8(utf8.substr(0, bytes));
    for (std::uint32_t& ch : chars)
        if (!is_printable_char(ch)) ch = kReplacementChar;
    const bool longer = chars.size() > max_chars || bytes < utf8.size();
    if (chars.size() > max_chars) chars.resize(max_chars);
    if (longer && !chars.empty()) chars.back() = kEllipsisChar;
    return chars;
}

GFX_LineLayout layout_line(const std::vector<std::uint32_t>& chars, float max_width,
                           const std::function<float(std::uint32_t)>& advance) {
    auto width_of = [&](std::uint32_t ch) {
        const float a = advance ? advance(ch) : 0.0f;
        return std::isfinite(a) && a > 0.0f ? a : 0.0f;
    };
    GFX_LineLayout line;
    line.m_chars.reserve(chars.size());
    line.m_x.reserve(chars.size());
    float pen = 0.0f;
    for (std::uint32_t ch : chars) {
        line.m_chars.push_back(ch);
        line.m_x.push_back(pen);
        pen += width_of(ch);
    }
    line.m_width = pen;
    if (!(pen > max_width)) return line;

    // Too wide: drop characters from the end until they and an ellipsis fit.
    const float ellipsis = width_of(kEllipsisChar);
    size_t keep = line.m_chars.size();
    while (keep > 0 && line.m_x[keep - 1] + width_of(line.m_chars[keep - 1]) + ellipsis > max_width)
        --keep;
    const float at = keep > 0 ? line.m_x[keep - 1] + width_of(line.m_chars[keep - 1]) : 0.0f;
    line.m_chars.resize(keep);
    line.m_x.resize(keep);
    line.m_chars.push_back(kEllipsisChar);
    line.m_x.push_back(at);
    line.m_width = at + ellipsis;
    line.m_cut = true;
    return line;
}
