// GFX_FontSource: glyph bitmaps of any character from the system's fonts. Fontconfig lists the
// fonts in the order of their fit for a sans-serif face, and for each character the first font
// that has it is used; FreeType renders it. No OpenGL.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

// A rendered character: coverage from 0 to 255, rows from the top, with its placement
// relative to the pen on the baseline (y up).
struct GFX_GlyphBitmap {
    int m_width = 0;
    int m_height = 0;
    int m_left = 0;  // pixels from the pen to the bitmap's left edge
    int m_top = 0;   // pixels from the baseline up to the bitmap's top row
    float m_advance = 0.0f;
    std::vector<std::uint8_t> m_alpha;  // m_width * m_height
};

// The fonts are looked for on the first call that needs them, which costs a few milliseconds
// (fontconfig's cache); a machine without any font answers false everywhere. Each face is
// opened once and kept. Main thread only: neither library is shared with another thread here.
class GFX_FontSource {
public:
    GFX_FontSource() = default;
    ~GFX_FontSource();
    GFX_FontSource(const GFX_FontSource&) = delete;
    GFX_FontSource& operator=(const GFX_FontSource&) = delete;

    bool has_fonts();
    // Renders ch at an em size of px pixels (clamped to 4 to 256). False when no font has the
    // character or it cannot be rendered; out is then empty.
    bool render(std::uint32_t ch, int px, GFX_GlyphBitmap& out);
    // Ascent and descent (both positive) of the main font at px, for placing a line.
    void line_metrics(int px, float& ascent, float& descent);

private:
    struct Face {
        void* m_charset = nullptr;  // FcCharSet*, owned by m_fonts
        std::vector<std::uint8_t> m_path;
        int m_index = 0;
        void* m_face = nullptr;  // FT_Face, opened on first use
        bool m_failed = false;
        int m_px = 0;  // the size the face is set to
    };
    void load_fonts();
    // The face that has ch, opened and set to px; null when none has it.
    void* face_for(std::uint32_t ch, int px);
    void* open_face(Face& f, int px);

    bool m_loaded = false;
    void* m_library = nullptr;  // FT_Library
    void* m_config = nullptr;   // FcConfig*
    void* m_fonts = nullptr;    // FcFontSet*, sorted by fit
    std::vector<Face> m_faces;
    std::unordered_map<std::uint32_t, int> m_face_of;  // character -> index in m_faces, or -1
};
