// GFX_GlyphAtlas on a real Mesa context with the system's fonts: names in any script draw
// glyph pixels where the ASCII sheet leaves blanks, bad text shows marks within a sane width,
// glyphs are rendered once, and a full atlas starts over and still draws.
#include "gfx/glyph_atlas.h"

#include "gfx/text.h"
#include "gfx/text_layout.h"
#include "tests/support/offscreen_gl.h"
#include "util/utf8.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

bool ink(const Rgba& p) { return p.r > 60 || p.g > 60 || p.b > 60; }

// A pixel projection over the whole frame, cleared to black.
struct TextFrame {
    OffscreenGL gl;
    TextFrame(int w, int h) : gl(w, h) {
        glViewport(0, 0, w, h);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, w, 0, h, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    int ink_in(float x0, float y0, float x1, float y1) {
        return gl.count(int(x0), int(y0), int(x1) + 1, int(y1) + 1, ink);
    }
};

const char* const kName = "Zoë Ñúñez 日本";

}  // namespace

TEST(GFX_GlyphAtlas, NamesInAnyScriptDrawGlyphsWhereTheAsciiSheetLeavesBlanks) {
    TextFrame f(520, 120);
    ASSERT_TRUE(f.gl.ok());
    GFX_GlyphAtlas atlas;
    ASSERT_TRUE(atlas.has_fonts()) << "no font found (tools/setup.sh installs DejaVu and a CJK "
                                      "font)";

    // The fixed sheet: every byte of a non-ASCII character is a blank advance.
    GFX_Text sheet;
    sheet.read_from_file((source_dir() + "/data/config/fixed_font.tga").c_str());
    sheet.apply();
    const std::string name = kName;
    const float w = 12, h = 24, y = 80;
    sheet.draw(Math_Vector3(10, y, 0), Math_Vector3(1, 0, 0), Math_Vector3(0, 1, 0), w, h,
               name.c_str(), Math_Vector3(1, 1, 1));
    const size_t cjk = name.find("日");
    EXPECT_GT(f.ink_in(10, y, 10 + w * 2, y + h), 20) << "the sheet draws Z and o";
    EXPECT_EQ(f.ink_in(10 + w * 2, y, 10 + w * 4 - 1, y + h), 0) << "but not ë";
    EXPECT_EQ(f.ink_in(10 + w * cjk, y, 10 + w * name.size(), y + h), 0) << "nor 日本";

    // The atlas: one quad per visible character, each with ink inside it.
    const GFX_TextLine line = atlas.layout(name, 24);
    const std::vector<std::uint32_t> chars = decode_utf8(name);
    EXPECT_EQ(line.m_quads.size(), chars.size() - 2);  // all but the two spaces
    atlas.draw(line, 10, 20, Math_Vector4(1, 1, 1, 1));
    for (size_t i = 0; i < line.m_quads.size(); ++i) {
        const GFX_TextLine::Quad& q = line.m_quads[i];
        EXPECT_GT(f.ink_in(10 + q.x0, 20 + q.y0, 10 + q.x1, 20 + q.y1), 8) << "glyph " << i;
    }
    // The two ideographs are as wide as ideographs are, not hairlines.
    const GFX_TextLine::Quad& last = line.m_quads.back();
    EXPECT_GT(last.x1 - last.x0, 14.0f);
    EXPECT_GT(line.m_ascent, 10.0f);

    // A character that no font has still shows a mark (the replacement, or a box).
    const GFX_TextLine unknown = atlas.layout("\xCD\xB8", 24);  // U+0378, unassigned
    ASSERT_EQ(unknown.m_quads.size(), 1u);
    EXPECT_GT(unknown.m_width, 5.0f);
}

TEST(GFX_GlyphAtlas, BadTextShowsMarksWithinWidthAndGlyphsAreRenderedOnce) {
    TextFrame f(300, 60);
    ASSERT_TRUE(f.gl.ok());
    GFX_GlyphAtlas atlas;

    EXPECT_TRUE(atlas.layout("", 16).m_quads.empty());
    EXPECT_FLOAT_EQ(atlas.layout("", 16).m_width, 0.0f);
    // Malformed bytes and control characters are marks, never skipped and never garbage.
    const GFX_TextLine bad = atlas.layout(std::string("a\x01\n\xFF\xFE\0b", 7), 16);
    EXPECT_EQ(bad.m_quads.size(), 7u);
    const GFX_TextLine mark = atlas.layout("\xEF\xBF\xBD", 16);
    ASSERT_EQ(mark.m_quads.size(), 1u);
    EXPECT_FLOAT_EQ(bad.m_quads[1].s0, mark.m_quads[0].s0);  // \x01 is U+FFFD's glyph

    // A name of 5,000 characters: cut to the width with an ellipsis, the glyphs bounded.
    std::string long_name;
    for (int i = 0; i < 5000; ++i) long_name += (i % 2) ? "é" : "W";
    const GFX_TextLine cut = atlas.layout(long_name, 16, 200.0f);
    EXPECT_TRUE(cut.m_cut);
    EXPECT_LE(cut.m_width, 200.0f);
    EXPECT_GT(cut.m_width, 150.0f);
    EXPECT_LE(cut.m_quads.size(), GFX_GlyphAtlas::kMaxChars);
    EXPECT_LE(atlas.layout(long_name, 16).m_quads.size(), GFX_GlyphAtlas::kMaxChars);

    // The same text again renders nothing new; another size renders its own glyphs once.
    atlas.layout(kName, 16);
    const int rendered = atlas.rendered();
    atlas.layout(kName, 16);
    EXPECT_EQ(atlas.rendered(), rendered);
    atlas.layout(kName, 20);
    const int at_20 = atlas.rendered();
    EXPECT_GT(at_20, rendered);
    atlas.layout(kName, 20);
    EXPECT_EQ(atlas.rendered(), at_20);
    EXPECT_EQ(atlas.resets(), 0);
}

TEST(GFX_GlyphAtlas, AFullTextureStartsOverAndTheLineStillDraws) {
    TextFrame f(700, 60);
    ASSERT_TRUE(f.gl.ok());
    GFX_GlyphAtlas atlas(64);  // room for about sixteen glyphs of 14 pixels
    std::vector<std::uint32_t> chars;
    for (std::uint32_t ch = 0x4E00; ch < 0x4E00 + 400; ++ch) {
        atlas.layout(std::vector<std::uint32_t>{ch}, 14);
        chars.push_back(ch);
    }
    EXPECT_GT(atlas.resets(), 3);
    // A line whose glyphs fill the texture half-way through is drawn whole: the glyphs placed
    // before the texture was emptied are placed again.
    chars.resize(12);
    const int resets = atlas.resets();
    const GFX_TextLine line = atlas.layout(chars, 14);
    EXPECT_EQ(atlas.resets(), resets + 1);
    ASSERT_EQ(line.m_quads.size(), 12u);
    atlas.draw(line, 5, 20, Math_Vector4(1, 1, 1, 1));
    int inked = 0;
    for (const GFX_TextLine::Quad& q : line.m_quads)
        inked += f.ink_in(5 + q.x0, 20 + q.y0, 5 + q.x1, 20 + q.y1) > 5;
    EXPECT_EQ(inked, 12) << "glyphs whose texture was cleared under them draw blank";

    // The 3D draw leaves the scene pass's state: lighting on, blending off, culling on.
    glDisable(GL_CULL_FACE);
    atlas.draw(line, Math_Vector3(0, 0, 0), Math_Vector3(1, 0, 0), Math_Vector3(0, 1, 0), 1.0f,
               Math_Vector3(1, 1, 1));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
}
