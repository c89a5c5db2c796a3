// GFX_StatusLine: one line of text in the overlay's top bar that says what the program is
// waiting for (connecting, loading, a service that does not answer); nothing while it is empty.
#pragma once

#include "gfx/math.h"

#include <cstddef>
#include <string>

class GFX_Text;

// A plain value owned by the controller; the host sets the text between frames. Main thread.
class GFX_StatusLine {
public:
    void set_text(const std::string& text) { m_text = text; }
    const std::string& text() const { return m_text; }

    // The text centred in the top bar of a w x h overlay, right of the product logo, in the
    // pixel projection. Needs a current context; draws nothing without text or font.
    void draw(GFX_Text* font, float w, float h) const;

    // The text as the ASCII glyph sheet can show it: "…" becomes "...", any other character
    // beyond ASCII (or a control character) one "?", and a text longer than max_chars loses
    // its middle to "...". Works on bytes, so malformed UTF-8 is safe.
    static std::string drawable(const std::string& text, size_t max_chars);

    static constexpr float kGlyphWidth = 8.0f;
    static constexpr float kGlyphHeight = 16.0f;

private:
    std::string m_text;
};
