// The layout of one line of text in a proportional font, independent of OpenGL and of the font
// itself: which characters a label shows, where each one goes, and where a long line is cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr std::uint32_t kEllipsisChar = 0x2026;

// The characters a label shows of a UTF-8 text: malformed bytes and control characters become
// U+FFFD (a visible mark, never garbage), and at most max_chars of them are kept, the last one
// then replaced by an ellipsis.
std::vector<std::uint32_t> label_chars(const std::string& utf8, std::size_t max_chars);

// A line: the characters drawn and the pen position of each, from 0 at the left.
struct GFX_LineLayout {
    std::vector<std::uint32_t> m_chars;
    std::vector<float> m_x;
    float m_width = 0.0f;  // where the pen ends
    bool m_cut = false;    // characters were left out and an ellipsis ends the line
};

// Places chars side by side with the advance of each (advance(ch); negative and non-finite
// advances count as 0). When the line is wider than max_width, it keeps as many characters as
// fit together with an ellipsis after them, so the result is never wider than max_width unless
// the ellipsis alone is.
GFX_LineLayout layout_line(const std::vector<std::uint32_t>& chars, float max_width,
                           const std::function<float(std::uint32_t)>& advance);
