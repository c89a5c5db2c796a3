// GFX_FontSource: fontconfig's sorted font list, per-character font choice and FreeType
// rendering into coverage bitmaps.
#include "gfx/font_source.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kMinPx = 4;
constexpr int kMaxPx = 256;
// A single glyph larger than this is a broken font, not a character.
constexpr int kMaxGlyphSide = 4 * kMaxPx;

int clamp_px(int px) { return std::clamp(px, kMinPx, kMaxPx); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------------------------

GFX_FontSource::~GFX_FontSource() {
    for (Face& f : m_faces)
        if (f.m_face) FT_Done_Face(static_cast<FT_Face>(f.m_face));
    if (m_library) FT_Done_FreeType(static_cast<FT_Library>(m_library));
    if (m_fonts) FcFontSetDestroy(static_cast<FcFontSet*>(m_fonts));
    if (m_config) FcConfigDestroy(static_cast<FcConfig*>(m_config));
}

// The fonts ordered by their fit for a plain sans-serif face, keeping only those that add
// characters the ones before them lack (fontconfig's trimmed sort).
void GFX_FontSource::load_fonts() {
    m_loaded = true;
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) return;
    m_library = lib;
    // NOTE: a configuration of our own rather than fontconfig's global one, which stays
    // allocated until the process ends; this one goes with the font source.
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return;
    m_config = config;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    if (!pattern) return;
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* set = FcFontSort(config, pattern, FcTrue, nullptr, &result);
    FcPatternDestroy(pattern);
    if (!set) return;
    m_fonts = set;
    for (int i = 0; i < set->nfont; ++i) {
        FcChar8* file = nullptr;
        FcCharSet* charset = nullptr;
        int index = 0;
        if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch || !file)
            continue;
        if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch) continue;
        FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
        Face f;
        f.m_charset = charset;
        const std::size_t n = std::strlen(reinterpret_cast<const char*>(file));
        f.m_path.assign(file, file + n);
        f.m_path.push_back(0);
        f.m_index = index;
        m_faces.push_back(std::move(f));
    }
}

bool GFX_FontSource::has_fonts() {
    if (!m_loaded) load_fonts();
    return !m_faces.empty();
}

// ---------------------------------------------------------------------------------------------
// Rendering
// ---------------------------------------------------------------------------------------------

void* GFX_FontSource::open_face(Face& f, int px) {
    if (f.m_failed || !m_library) return nullptr;
    if (!f.m_face) {
        FT_Face face = nullptr;
        if (FT_New_Face(static_cast<FT_Library>(m_library),
                        reinterpret_cast<const char*>(f.m_path.data()), f.m_index, &face) != 0) {
            f.m_failed = true;
            return nullptr;
        }
        f.m_face = face;
    }
    if (f.m_px != px) {
        FT_Face face = static_cast<FT_Face>(f.m_face);
        // NOTE: bitmap-only fonts (colour emoji) accept only their own strike sizes; such a
        // face is left out rather than drawn at a size it does not have.
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(px)) != 0) {
            f.m_failed = true;
            return nullptr;
        }
        f.m_px = px;
    }
    return f.m_face;
}

void* GFX_FontSource::face_for(std::uint32_t ch, int px) {
    if (!has_fonts()) return nullptr;
    auto it = m_face_of.find(ch);
    if (it == m_face_of.end()) {
        int found = -1;
        for (std::size_t i = 0; i < m_faces.size() && found < 0; ++i)
            if (!m_faces[i].m_failed &&
                FcCharSetHasChar(static_cast<FcCharSet*>(m_faces[i].m_charset), ch))
                found = static_cast<int>(i);
        it = m_face_of.emplace(ch, found).first;
    }
    if (it->second < 0) return nullptr;
    void* face = open_face(m_faces[static_cast<std::size_t>(it->second)], px);
    if (!face) m_face_of.erase(it);  // that face failed: the next call looks again
    return face;
}

bool GFX_FontSource::render(std::uint32_t ch, int px, GFX_GlyphBitmap& out) {
    out = GFX_GlyphBitmap();
    px = clamp_px(px);
    // A face that fails to open is marked failed and forgotten for ch, so the next try takes
    // the next font that has the character; a remembered -1 means that none has it.
    FT_Face face = nullptr;
    for (int tries = 0; tries < 8 && !face; ++tries) {
        face = static_cast<FT_Face>(face_for(ch, px));
        if (!face && (!has_fonts() || m_face_of.count(ch))) return false;
    }
    if (!face) return false;
    const FT_UInt index = FT_Get_Char_Index(face, ch);
    if (index == 0) return false;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT) != 0) return false;
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_LIGHT) != 0) return false;
    const FT_Bitmap& bm = face->glyph->bitmap;
    const int w = static_cast<int>(bm.width), h = static_cast<int>(bm.rows);
    if (w < 0 || h < 0 || w > kMaxGlyphSide || h > kMaxGlyphSide) return false;
    // Rows top first, each long enough for its pixels; anything else is not drawn.
    int row_bytes = w;
    if (bm.pixel_mode == FT_PIXEL_MODE_MONO) row_bytes = (w + 7) / 8;
    else if (bm.pixel_mode == FT_PIXEL_MODE_BGRA) row_bytes = 4 * w;
    else if (bm.pixel_mode != FT_PIXEL_MODE_GRAY) return false;
    if (w > 0 && h > 0 && (!bm.buffer || bm.pitch < row_bytes)) return false;
    out.m_advance = static_cast<float>(face->glyph->advance.x) / 64.0f;
    out.m_left = face->glyph->bitmap_left;
    out.m_top = face->glyph->bitmap_top;
    out.m_width = w;
    out.m_height = h;
    out.m_alpha.assign(static_cast<std::size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        const unsigned char* row = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
        for (int x = 0; x < w; ++x) {
            std::uint8_t a = 0;
            if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
                a = static_cast<std::uint8_t>(bm.num_grays > 1 ? row[x] * 255 / (bm.num_grays - 1)
                                                               : row[x]);
            else if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                a = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            else if (bm.pixel_mode == FT_PIXEL_MODE_BGRA) a = row[x * 4 + 3];
            out.m_alpha[static_cast<std::size_t>(y) * w + x] = a;
        }
    }
    return true;
}

void GFX_FontSource::line_metrics(int px, float& ascent, float& descent) {
    px = clamp_px(px);
    ascent = 0.8f * px;
    descent = 0.2f * px;
    FT_Face face = static_cast<FT_Face>(face_for('M', px));
    if (!face) return;
    const float a = static_cast<float>(face->size->metrics.ascender) / 64.0f;
    const float d = -static_cast<float>(face->size->metrics.descender) / 64.0f;
    if (std::isfinite(a) && a > 0.0f && a < 2.0f * px) ascent = a;
    if (std::isfinite(d) && d >= 0.0f && d < px) descent = d;
}
