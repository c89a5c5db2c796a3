// Scene objects driven by a real controller in the offscreen context: friendship lines that
// find their people late, lose them or never find them; where the dots go and how they look;
// the name and the photo on a frame; frames whose textures are missing.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_texture.h"
#include "gfx/ogl_wrapper.h"
#include "gfx/glyph_atlas.h"
#include "gfx/text.h"
#include "scene/billboard.h"
#include "scene/connection.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "tests/support/offscreen_gl.h"
#include "tests/support/photo_files.h"
#include "util/image.h"

namespace {

constexpr int W = 1024;
constexpr int H = 768;
// An own photo that never gets pixels: no photo is drawn and the own-photo name rule applies.
constexpr const char* kNoPhoto = "/nonexistent/photo.jpg";

struct Dot {
    Math_Vector3 centre;
    float size, r, g, b, a;
};

// The dots one draw() adds to a batch, caught with OpenGL feedback in world units (identity
// model-view, an orthographic box around the globe): centre, width and colour of each quad.
std::vector<Dot> capture_dots(GFX_Connection& c) {
    const float half = 8192;
    glViewport(0, 0, 16384, 16384);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-half, half, -half, half, -half, half);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    static std::vector<GLfloat> buf(1 << 18);
    glFeedbackBuffer(static_cast<GLsizei>(buf.size()), GL_3D_COLOR, buf.data());
    glRenderMode(GL_FEEDBACK);
    GFX_DotBatch batch;
    c.draw(batch);
    batch.flush();
    const int n = glRenderMode(GL_RENDER);
    std::vector<const GLfloat*> v;  // x, y, depth, r, g, b, a per vertex; two triangles a quad
    for (int i = 0; i < n; i += 2 + 7 * static_cast<int>(buf[i + 1]))
        for (int k = 0; k < static_cast<int>(buf[i + 1]); ++k) v.push_back(&buf[i + 2 + 7 * k]);
    std::vector<Dot> dots;
    for (size_t q = 0; q + 6 <= v.size(); q += 6) {
        Dot d{{}, 0, v[q][3], v[q][4], v[q][5], v[q][6]};
        float lo = v[q][0], hi = v[q][0];
        for (size_t k = q; k < q + 6; ++k) {
            d.centre += Math_Vector3(v[k][0] - half, v[k][1] - half, (1 - 2 * v[k][2]) * half) / 6;
            lo = std::min(lo, v[k][0]);
            hi = std::max(hi, v[k][0]);
        }
        d.size = hi - lo;
        dots.push_back(d);
    }
    return dots;
}

GFX_LocationHolderFriend* holder(UTL_SimCtrlNimbra& c, size_t i) {
    return dynamic_cast<GFX_LocationHolderFriend*>(c.m_loc_holders.at(i));
}

size_t entries(GFX_LocationHolder* h, const GFX_Connection* line) {
    const auto& list = dynamic_cast<GFX_LocationHolderFriend*>(h)->m_connections;
    return static_cast<size_t>(std::count(list.begin(), list.end(), line));
}

GFX_ConnectionFriends* last_line(UTL_SimCtrlNimbra& c) {
    return dynamic_cast<GFX_ConnectionFriends*>(c.m_connections.back());
}

// A started controller with the user "1" (selected) and the friends "2" and "3" laid out.
struct Globe {
    OffscreenGL gl{W, H};
    UTL_SimCtrlNimbra c;

    explicit Globe(const char* my_photo = kNoPhoto) {
        // The photos are files of the test's own; a failed one draws nothing instead of the
        // question mark, so that the frame's own colours show.
        c.m_foto_settings.m_allow_local_paths = true;
        c.m_foto_settings.m_placeholder_path.clear();
        c.start(W, H);
        c.add_myself("1", "Wolfgang Amadeus Mozart", my_photo, kNoPhoto);
        c.add_friend("2", "Bob", kNoPhoto, kNoPhoto);
        c.add_friend("3", "Cyd", kNoPhoto, kNoPhoto);
        c.create_friends_locators();
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) c.update(W, H, 0.02f);
    }
    // Window rectangle of a locator's frame under the last frame's camera.
    void frame_rect(GFX_LocationHolder* h, int& x0, int& y0, int& x1, int& y1) {
        x0 = W, y0 = H, x1 = 0, y1 = 0;
        for (Math_Vector3 v : h->m_billboard->m_vertices) {
            Math_Vector3 win;
            c.m_ogl->model_to_window(v, win);
            x0 = std::max(0, std::min(x0, static_cast<int>(win.m_x)));
            y0 = std::max(0, std::min(y0, static_cast<int>(win.m_y)));
            x1 = std::min(W, std::max(x1, static_cast<int>(win.m_x) + 1));
            y1 = std::min(H, std::max(y1, static_cast<int>(win.m_y) + 1));
        }
    }
    // Pixels that differ from an earlier copy of the frame by more than a little.
    bool changed(const std::vector<uint8_t>& before, int x, int y) {
        const Rgba p = gl.pixel(x, y);
        const uint8_t* q = &before[4 * (static_cast<size_t>(y) * W + x)];
        return std::abs(p.r - q[0]) + std::abs(p.g - q[1]) + std::abs(p.b - q[2]) > 24;
    }
    std::vector<uint8_t> snapshot() {
        gl.pixel(0, 0);  // finishes the frame
        return gl.buffer();
    }
};

}  // namespace

TEST(SceneGlobe, LineFindsLateArrivalsOnceAndKeepsLookingForStrangers) {
    Globe g;
    g.c.add_connection("1", "4", 0.3f, false);
    GFX_ConnectionFriends* line = last_line(g.c);
    GFX_LocationHolder* me = g.c.m_loc_holders[0];
    // Person 4 is not on the globe yet: no dots; only the end that exists knows the line.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(capture_dots(*line).empty());
    EXPECT_EQ(line->m_holder1, me);
    EXPECT_EQ(line->m_holder2, nullptr);
    EXPECT_EQ(entries(me, line), 1u);

    g.c.add_friend("4", "Dee", kNoPhoto, kNoPhoto);
    g.c.create_friends_locators();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(capture_dots(*line).empty());
    EXPECT_EQ(line->m_holder2, holder(g.c, 3));
    EXPECT_EQ(entries(me, line), 1u);
    EXPECT_EQ(entries(holder(g.c, 3), line), 1u);

    // Uids nobody has: nothing drawn, nothing registered, frame after frame.
    g.c.add_connection("98", "99", 0.3f, false);
    GFX_ConnectionFriends* stranger = last_line(g.c);
    g.frames(3);
    EXPECT_TRUE(capture_dots(*stranger).empty());
    for (GFX_LocationHolder* h : g.c.m_loc_holders) EXPECT_EQ(entries(h, stranger), 0u);

    // A new user takes over the first locator: the old user's line lets go of it.
    g.c.add_myself("5", "Eve", kNoPhoto, kNoPhoto);
    EXPECT_TRUE(capture_dots(*line).empty());
    EXPECT_EQ(line->m_holder1, nullptr);
    EXPECT_EQ(entries(me, line), 0u);
}

TEST(SceneGlobe, LinesAndLocatorsLeaveNoPointerWhicheverIsDeletedFirst) {
    Globe g;
    g.c.add_connections_for_myself();  // 1-2 and 1-3
    for (GFX_Connection* line : g.c.m_connections) EXPECT_FALSE(capture_dots(*line).empty());
    EXPECT_EQ(holder(g.c, 0)->m_connections.size(), 2u);

    // A locator goes first: the line that ended there forgets it and looks again.
    delete g.c.m_loc_holders.back();
    g.c.m_loc_holders.pop_back();
    auto* to_cyd = dynamic_cast<GFX_ConnectionFriends*>(g.c.m_connections[1]);
    EXPECT_EQ(to_cyd->m_holder2, nullptr);
    EXPECT_TRUE(capture_dots(*to_cyd).empty());
    g.c.create_friends_locators();  // Cyd gets a new locator, and the line finds it
    EXPECT_FALSE(capture_dots(*to_cyd).empty());
    EXPECT_EQ(entries(holder(g.c, 2), to_cyd), 1u);

    // The lines go first: no locator keeps one; selecting still walks the lists safely.
    g.c.clear_connections();
    for (size_t i = 0; i < g.c.m_loc_holders.size(); ++i)
        EXPECT_TRUE(holder(g.c, i)->m_connections.empty());
    g.c.select_loc_holder(holder(g.c, 0));
    g.frames(2);
}

TEST(SceneGlobe, DotsAreEvenlySpacedShadeFromEndToEndAndLightUpWithTheSelection) {
    Globe g;
    g.c.add_connection("2", "3", 0.3f, false);
    GFX_ConnectionFriends* line = last_line(g.c);
    std::vector<Dot> dots = capture_dots(*line);
    const Math_Vector3 a = holder(g.c, 1)->m_position, b = holder(g.c, 2)->m_position;
    const int n = GFX_Connection::dot_count((b - a).length());
    ASSERT_GT(n, 2);
    ASSERT_EQ(dots.size(), static_cast<size_t>(n - 1));  // none on the two ends
    for (int k = 1; k < n; ++k) {
        const Dot& d = dots[k - 1];
        EXPECT_LT((d.centre - (a + (b - a) * (static_cast<float>(k) / n))).length(), 2.0f);
        EXPECT_NEAR(d.size, 90, 0.5f);
        EXPECT_NEAR(d.a, 0.3f, 0.01f);
        Math_Vector3 colour, at = d.centre;
        g.c.position_to_color(at, colour);  // each dot takes the colour of its place
        EXPECT_NEAR(d.r, colour.m_x, 0.01f);
        EXPECT_NEAR(d.b, colour.m_z, 0.01f);
    }

    // Selecting Bob lights his lines up, large and opaque; selecting the user puts them out.
    g.c.select_loc_holder(holder(g.c, 1));
    for (const Dot& d : capture_dots(*line)) {
        EXPECT_NEAR(d.size, 125, 0.5f);
        EXPECT_NEAR(d.a, 1.0f, 0.01f);
    }
    g.c.select_loc_holder(holder(g.c, 0));
    EXPECT_NEAR(capture_dots(*line).front().a, 0.3f, 0.01f);

    // Two people at the same place: no dots, and no OpenGL error from a NaN direction.
    holder(g.c, 2)->m_position = holder(g.c, 1)->m_position;
    EXPECT_TRUE(capture_dots(*line).empty());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A line given colours at its ends (a community's hue, say) shades its dots from one to the
// other, in any of its states, and goes back to the colours of the dots' places.
TEST(SceneGlobe, EndColoursShadeTheDotsFromOneEndToTheOther) {
    Globe g;
    g.c.add_connection("2", "3", 0.3f, false);
    GFX_ConnectionFriends* line = last_line(g.c);
    const std::vector<Dot> plain = capture_dots(*line);
    const Math_Vector3 red(1.0f, 0.0f, 0.0f), blue(0.0f, 0.2f, 1.0f);
    line->set_end_colors(red, blue);
    for (int pass = 0; pass < 2; ++pass) {
        const std::vector<Dot> dots = capture_dots(*line);
        ASSERT_EQ(dots.size(), plain.size());
        const float n = static_cast<float>(dots.size() + 1);
        for (size_t k = 0; k < dots.size(); ++k) {
            const Math_Vector3 want = red + (blue - red) * (static_cast<float>(k + 1) / n);
            EXPECT_NEAR(dots[k].r, want.m_x, 0.01f);
            EXPECT_NEAR(dots[k].g, want.m_y, 0.01f);
            EXPECT_NEAR(dots[k].b, want.m_z, 0.01f);
        }
        g.c.select_loc_holder(holder(g.c, 1));  // lit up: the same colours, large and opaque
        EXPECT_NEAR(capture_dots(*line).front().a, 1.0f, 0.01f);
    }
    line->clear_end_colors();
    const std::vector<Dot> back = capture_dots(*line);
    ASSERT_EQ(back.size(), plain.size());
    EXPECT_NEAR(back.front().r, plain.front().r, 0.01f);
    EXPECT_NEAR(back.back().b, plain.back().b, 0.01f);
}

TEST(SceneGlobe, GlowDotsLieOnTheSegmentBetweenTheTwoBalls) {
    Globe g;
    g.c.add_connection("2", "3", 0.3f, true);
    g.frames(60);  // the frames finish easing to their sides, so only the line differs below
    const std::vector<uint8_t> with_line = g.snapshot();
    Math_Vector3 a = holder(g.c, 1)->m_position, b = holder(g.c, 2)->m_position, wa, wb;
    g.c.m_ogl->model_to_window(a, wa);
    g.c.m_ogl->model_to_window(b, wb);
    g.c.clear_connections();
    g.frames(1);

    const float dx = wb.m_x - wa.m_x, dy = wb.m_y - wa.m_y, len2 = dx * dx + dy * dy;
    ASSERT_GT(len2, 100.0f * 100.0f);
    int changed = 0, astray = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            if (!g.changed(with_line, x, y)) continue;
            ++changed;
            const float t = std::clamp(((x - wa.m_x) * dx + (y - wa.m_y) * dy) / len2, 0.0f, 1.0f);
            if (std::hypot(wa.m_x + t * dx - x, wa.m_y + t * dy - y) > 12) ++astray;
        }
    }
    EXPECT_GT(changed, static_cast<int>(std::sqrt(len2)));
    EXPECT_EQ(astray, 0);
}

TEST(SceneGlobe, NameShowsWhenSelectedOrWithoutOwnPhoto) {
    Globe g;
    GFX_LocationHolder* me = g.c.m_loc_holders[0];
    // Pixels of the user's frame that change when the fonts are taken away: the name's.
    auto name_pixels = [&]() {
        GFX_Text* font = g.c.m_text;
        GFX_GlyphAtlas* atlas = g.c.m_glyph_atlas;
        g.frames(1);
        const std::vector<uint8_t> with_name = g.snapshot();
        g.c.m_text = nullptr;
        g.c.m_glyph_atlas = nullptr;
        g.frames(1);
        g.c.m_text = font;
        g.c.m_glyph_atlas = atlas;
        int x0, y0, x1, y1, n = 0;
        g.frame_rect(me, x0, y0, x1, y1);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += g.changed(with_name, x, y);
        return n;
    };
    ASSERT_NE(g.c.m_glyph_atlas, nullptr);
    ASSERT_TRUE(me->m_selected);
    EXPECT_GT(name_pixels(), 300);

    me->m_selected = false;  // not selected, own photo: no name
    me->set_billboard_size(750, 750);
    EXPECT_EQ(name_pixels(), 0);
    g.c.m_myself->m_has_foto_square = false;  // not selected, placeholder: the name again
    EXPECT_GT(name_pixels(), 30);
}

TEST(SceneGlobe, SelectedFrameShowsTheLargePhotoAtItsAspect) {
    PhotoDir dir;
    ASSERT_FALSE(dir.make("wide.jpg", "-size 200x100 xc:red").empty());
    Globe g(dir.file("wide.jpg").c_str());
    GFX_LocationHolder* me = g.c.m_loc_holders[0];
    auto red = [](const Rgba& p) { return p.r > 200 && p.g < 60 && p.b < 60; };
    // The worker loads the file while frames go by, and the frame eases into place: measure
    // once the photo shows and two frames in a row draw the same frame and photo.
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0, photo = 0;
    std::vector<int> last;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        g.frames(1);
        g.frame_rect(me, x0, y0, x1, y1);
        photo = g.gl.count(x0, y0, x1, y1, red);
        const std::vector<int> now = {x0, y0, x1, y1, photo};
        if (photo > 0 && now == last) break;
        last = now;
        ASSERT_LT(std::chrono::steady_clock::now(), deadline)
            << "after 60 s the photo has not loaded or its frame still moves (" << photo
            << " photo pixels)";
    }
    // Selected, a 2:1 photo: as wide as 0.9 of the frame, so 0.45 of it high.
    EXPECT_NEAR(photo / static_cast<float>((x1 - x0) * (y1 - y0)), 0.9f * 0.45f, 0.03f);
}

TEST(SceneGlobe, MissingOrAbsentTexturesLeaveTheFramesInTheirPlainColour) {
    Globe g;
    g.frames(2);
    GFX_LocationHolder* me = g.c.m_loc_holders[0];
    const Math_Vector3 want = g.c.m_color_theme.m_locator_billboard_color_sel * 255.0f;
    OGL_Texture2D black;  // bound last before the frame: it must not show on it
    GFX_Image* image = new GFX_Image();
    image->set_pixels(new unsigned char[4 * 4 * 3](), 24, 4, 4);
    black.init_from_image(image);

    for (int absent = 0; absent < 2; ++absent) {
        if (absent) {
            delete g.c.m_color_ball_texture;
            g.c.m_color_ball_texture = nullptr;
            delete g.c.m_locator_texture;
            g.c.m_locator_texture = nullptr;
        } else {
            g.c.load_color_ball_texture("/nonexistent/color_ball.tga");
            g.c.load_locator_texture("/nonexistent/locator.tga");
        }
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        black.apply();
        me->draw();  // under the last frame's camera, still current
        int x0, y0, x1, y1;
        g.frame_rect(me, x0, y0, x1, y1);
        ASSERT_GT(x1 - x0, 40);
        const Rgba mid = g.gl.pixel((x0 + x1) / 2, (y0 + y1) / 2);  // no photo there
        EXPECT_NEAR(mid.r, want.m_x, 2) << "absent " << absent;
        EXPECT_NEAR(mid.g, want.m_y, 2);
        EXPECT_NEAR(mid.b, want.m_z, 2);
    }
    g.frames(1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
