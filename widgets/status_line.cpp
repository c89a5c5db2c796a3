// GFX_StatusLine: the top bar's line of text, made drawable by the ASCII glyph sheet.
#include "widgets/status_line.h"

#include "gfx/text.h"

#include <GL/gl.h>

#include <algorithm>

namespace {

constexpr float kBarHeight = 32.0f;    // the top bar's height
constexpr float kLeftOfText = 140.0f;  // right of the product logo
constexpr float kRightMargin = 8.0f;

}  // namespace

void GFX_StatusLine::draw(GFX_Text* font, float w, float h) const {
    if (m_text.empty() || !font) return;
    const float room = w - kLeftOfText - kRightMargin;
    if (room < kGlyphWidth * 4) return;
    const std::string shown = drawable(m_text, static_cast<size_t>(room / kGlyphWidth));
    const float width = kGlyphWidth * static_cast<float>(shown.size());
    const float x = std::max(kLeftOfText, (w - width) / 2.0f);
    const float y = h - kBarHeight + (kBarHeight - kGlyphHeight) / 2.0f;
    font->apply();
    font->draw(x, y, kGlyphWidth, kGlyphHeight, shown.c_str(), Math_Vector4(1, 1, 1, 1));
    // The text pass turns lighting on and blending off; the overlay goes on without them.
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
}

std::string GFX_StatusLine::drawable(const std::string& text, size_t max_chars) {
    static const std::string kEllipsis = "\xE2\x80\xA6";
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (text.compare(i, kEllipsis.size(), kEllipsis) == 0) {
            out += "...";
            i += kEllipsis.size();
        } else if (c < 0x80) {
            out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
            ++i;
        } else {
            // One mark for the whole character: its continuation bytes are skipped.
            out += '?';
            ++i;
            while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
        }
    }
    if (out.size() > max_chars) {
        // Cut in the middle: the start says what is happening, the end (the reason, the time
        // to the next attempt) what comes next.
        if (max_chars < 3) return out.substr(0, max_chars);
        const size_t head = (max_chars - 3) * 2 / 5;
        const size_t tail = max_chars - 3 - head;
        out = out.substr(0, head) + "..." + out.substr(out.size() - tail);
    }
    return out;
}
