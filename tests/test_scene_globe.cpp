// Scene objects driven by a real controller in the offscreen context: friendship lines that
// find their people late, lose them or never find them; the dots and their look; the name on a
// selected frame; and a scene whose texture files are missing.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_texture.h"
#include "gfx/ogl_wrapper.h"
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

// Photo addresses that exist for nobody: the person's own photo, never any pixels, so the
// frames show no photo and the name rule for own photos applies.
constexpr const char* kNoPhoto = "/nonexistent/photo.jpg";

struct Dot {
    float x, y, size, r, g, b, a;
};

// The dots one draw() emits, from OpenGL feedback in world units (identity transforms, a
// viewport as large as the scene): centre, width and colour of each quad.
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
    glBegin(GL_QUADS);
    c.draw();
    glEnd();
    const int n = glRenderMode(GL_RENDER);
    std::vector<float> v;  // x, y, r, g, b, a per vertex
    for (int i = 0; i < n;) {
        const int count = static_cast<int>(buf[i + 1]);
        for (int k = 0; k < count; ++k) {
            const GLfloat* p = &buf[i + 2 + 7 * k];
            v.insert(v.end(), {p[0] - half, p[1] - half, p[3], p[4], p[5], p[6]});
        }
        i += 2 + 7 * count;
    }
    std::vector<Dot> dots;
    for (size_t q = 0; q + 36 <= v.size(); q += 36) {  // two triangles a quad
        Dot d{0, 0, 0, v[q + 2], v[q + 3], v[q + 4], v[q + 5]};
        float lo = v[q], hi = v[q];
        for (size_t k = q; k < q + 36; k += 6) {
            d.x += v[k] / 6;
            d.y += v[k + 1] / 6;
            lo = std::min(lo, v[k]);
            hi = std::max(hi, v[k]);
        }
        d.size = hi - lo;
        dots.push_back(d);
    }
    return dots;
}

GFX_LocationHolderFriend* holder(UTL_SimCtrlNimbra& c, size_t i) {
    return dynamic_cast<GFX_LocationHolderFriend*>(c.m_loc_holders.at(i));
}

size_t entries(const GFX_LocationHolderFriend* h, const GFX_Connection* line) {
    return static_cast<size_t>(std::count(h->m_connections.begin(), h->m_connections.end(), line));
}

// A started controller with the user "1" and the friends "2" and "3" laid out, screen axes set.
struct Globe {
    OffscreenGL gl{W, H};
    UTL_SimCtrlNimbra c;

    Globe() {
        c.start(W, H);
        c.add_myself("1", "Wolfgang Amadeus Mozart", kNoPhoto, kNoPhoto);
        c.add_friend("2", "Bob", kNoPhoto, kNoPhoto);
        c.create_friends_locators();
        c.add_friend("3", "Cyd", kNoPhoto, kNoPhoto);
        c.create_friends_locators();
        c.set_impostor_orientation({0, 1, 0}, {1, 0, 0});
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) c.update(W, H, 0.02f);
    }
};

}  // namespace

TEST(SceneGlobe, LineFindsLateArrivalsOnceAndKeepsLookingForStrangers) {
    Globe g;
    g.c.add_connection("1", "4", 0.3f, false);
    GFX_ConnectionFriends* line = dynamic_cast<GFX_ConnectionFriends*>(g.c.m_connections.back());
    GFX_LocationHolderFriend* ann = holder(g.c, 0);

    // Person 4 is not on the globe yet: no dots, and only the end that exists knows the line.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(capture_dots(*line).empty());
    EXPECT_EQ(line->m_holder1, ann);
    EXPECT_EQ(line->m_holder2, nullptr);
    EXPECT_EQ(entries(ann, line), 1u);

    g.c.add_friend("4", "Dee", kNoPhoto, kNoPhoto);
    g.c.create_friends_locators();
    GFX_LocationHolderFriend* dee = holder(g.c, 3);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(capture_dots(*line).empty());
    EXPECT_EQ(line->m_holder2, dee);
    EXPECT_EQ(entries(ann, line), 1u);
    EXPECT_EQ(entries(dee, line), 1u);

    // Uids nobody has: nothing drawn, nothing registered, frame after frame.
    g.c.add_connection("98", "99", 0.3f, false);
    GFX_ConnectionFriends* stranger = dynamic_cast<GFX_ConnectionFriends*>(g.c.m_connections.back());
    g.frames(3);
    EXPECT_TRUE(capture_dots(*stranger).empty());
    for (GFX_LocationHolder* h : g.c.m_loc_holders) EXPECT_EQ(entries(dynamic_cast<GFX_LocationHolderFriend*>(h), stranger), 0u);

    // A new user takes over the first locator: the line of the old user lets go of it.
    g.c.add_myself("5", "Eve", kNoPhoto, kNoPhoto);
    EXPECT_TRUE(capture_dots(*line).empty());
    EXPECT_EQ(line->m_holder1, nullptr);
    EXPECT_EQ(entries(ann, line), 0u);
}

TEST(SceneGlobe, LinesAndLocatorsLeaveNoPointerWhicheverIsDeletedFirst) {
    Globe g;
    g.c.add_connections_for_myself();  // 1-2 and 1-3
    for (GFX_Connection* line : g.c.m_connections) EXPECT_FALSE(capture_dots(*line).empty());
    GFX_LocationHolderFriend* ann = holder(g.c, 0);
    EXPECT_EQ(ann->m_connections.size(), 2u);

    // A locator goes first: the lines that ended there forget it and look again.
    GFX_LocationHolder* cyd = g.c.m_loc_holders.back();
    g.c.m_loc_holders.pop_back();
    delete cyd;
    auto* to_cyd = dynamic_cast<GFX_ConnectionFriends*>(g.c.m_connections[1]);
    EXPECT_EQ(to_cyd->m_holder2, nullptr);
    EXPECT_TRUE(capture_dots(*to_cyd).empty());
    g.c.create_friends_locators();  // Cyd gets a new locator and the line finds it
    EXPECT_FALSE(capture_dots(*to_cyd).empty());
    EXPECT_EQ(entries(holder(g.c, 2), to_cyd), 1u);

    // The lines go first: no locator keeps one in its list; selecting still works.
    g.c.clear_connections();
    for (GFX_LocationHolder* h : g.c.m_loc_holders)
        EXPECT_TRUE(dynamic_cast<GFX_LocationHolderFriend*>(h)->m_connections.empty());
    g.c.select_loc_holder(ann);
    g.frames(2);
}

TEST(SceneGlobe, DotsShadeFromEndToEndAndLightUpWithTheSelection) {
    Globe g;
    g.c.add_connection("2", "3", 0.3f, false);
    auto* line = dynamic_cast<GFX_ConnectionFriends*>(g.c.m_connections.back());
    std::vector<Dot> dots = capture_dots(*line);
    ASSERT_GT(dots.size(), 2u);
    const Math_Vector3 a = holder(g.c, 1)->m_position, b = holder(g.c, 2)->m_position;
    EXPECT_EQ(dots.size(), static_cast<size_t>(GFX_Connection::dot_count((b - a).length()) - 1));
    for (const Dot& d : dots) {
        EXPECT_NEAR(d.size, 90, 0.5f);
        EXPECT_NEAR(d.a, 0.3f, 0.01f);
    }
    // Colours follow the place: the first dot is next to Bob's end, the last next to Cyd's.
    Math_Vector3 near_a = a + (b - a) * (1.0f / (dots.size() + 1)), colour;
    g.c.position_to_color(near_a, colour);
    EXPECT_NEAR(dots.front().r, colour.m_x, 0.01f);
    EXPECT_NEAR(dots.front().g, colour.m_y, 0.01f);
    EXPECT_NEAR(dots.front().b, colour.m_z, 0.01f);

    // Selecting Bob lights his lines: large and opaque; selecting Ann puts them out again.
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

namespace {

// Window rectangle covered by a locator's frame after the last frame.
struct Rect {
    int x0, y0, x1, y1;
};

Rect frame_rect(UTL_SimCtrlNimbra& c, GFX_LocationHolder* h) {
    Rect r{W, H, 0, 0};
    for (Math_Vector3 v : h->m_billboard->m_vertices) {
        Math_Vector3 win;
        c.m_ogl->model_to_window(v, win);
        r.x0 = std::max(0, std::min(r.x0, static_cast<int>(win.m_x)));
        r.y0 = std::max(0, std::min(r.y0, static_cast<int>(win.m_y)));
        r.x1 = std::min(W, std::max(r.x1, static_cast<int>(win.m_x) + 1));
        r.y1 = std::min(H, std::max(r.y1, static_cast<int>(win.m_y) + 1));
    }
    return r;
}

// How many pixels of the user's frame change when the font is taken away: the name's.
int name_pixels(Globe& g) {
    GFX_LocationHolder* me = g.c.m_loc_holders[0];
    GFX_Text* font = g.c.m_text;
    g.frames(1);
    g.gl.pixel(0, 0);  // finishes the frame before the copy
    const std::vector<uint8_t> with_name = g.gl.buffer();
    g.c.m_text = nullptr;
    g.frames(1);
    g.c.m_text = font;
    const Rect r = frame_rect(g.c, me);
    int changed = 0;
    for (int y = r.y0; y < r.y1; ++y) {
        for (int x = r.x0; x < r.x1; ++x) {
            const Rgba p = g.gl.pixel(x, y);
            const uint8_t* q = &with_name[4 * (static_cast<size_t>(y) * W + x)];
            if (std::abs(p.r - q[0]) + std::abs(p.g - q[1]) + std::abs(p.b - q[2]) > 30) ++changed;
        }
    }
    return changed;
}

}  // namespace

TEST(SceneGlobe, NameShowsWhenSelectedOrWithoutOwnPhoto) {
    Globe g;
    ASSERT_NE(g.c.m_text, nullptr);
    g.frames(2);
    GFX_LocationHolder* me = g.c.m_loc_holders[0];
    ASSERT_TRUE(me->m_selected);
    const Rect r = frame_rect(g.c, me);
    ASSERT_GT(r.x1 - r.x0, 40) << "the user's frame faces the camera";
    EXPECT_GT(name_pixels(g), 300);

    // Not selected and with an own photo: no name.
    me->m_selected = false;
    me->set_billboard_size(750, 750);
    EXPECT_EQ(name_pixels(g), 0);

    // Not selected, showing the placeholder: the name again.
    g.c.m_myself->m_has_foto_square = false;
    EXPECT_GT(name_pixels(g), 30);
}

TEST(SceneGlobe, MissingOrAbsentTexturesLeaveTheFramesInTheirPlainColour) {
    Globe g;
    g.frames(2);
    GFX_LocationHolder* me = g.c.m_loc_holders[0];
    const Math_Vector3 want = g.c.m_color_theme.m_locator_billboard_color_sel * 255.0f;
    // Whatever texture was bound last (here a black one) must not show on the frame.
    OGL_Texture2D black;
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
        me->draw();  // with the last frame's camera, still current
        const Rect r = frame_rect(g.c, me);
        ASSERT_GT(r.x1 - r.x0, 40);
        // The frame's middle (no photo drawn there) is exactly the selected frame colour.
        const Rgba mid = g.gl.pixel((r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2);
        EXPECT_NEAR(mid.r, want.m_x, 2) << "absent " << absent;
        EXPECT_NEAR(mid.g, want.m_y, 2);
        EXPECT_NEAR(mid.b, want.m_z, 2);
    }
    g.frames(1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(SceneGlobe, DotsLieOnTheSegmentBetweenTheTwoBalls) {
    Globe g;
    g.c.add_connection("2", "3", 0.3f, true);
    g.frames(60);  // the frames finish easing to their sides, so only the line differs below
    g.gl.pixel(0, 0);
    const std::vector<uint8_t> with_line = g.gl.buffer();
    Math_Vector3 a = holder(g.c, 1)->m_position, b = holder(g.c, 2)->m_position, wa, wb;
    g.c.m_ogl->model_to_window(a, wa);
    g.c.m_ogl->model_to_window(b, wb);
    g.c.clear_connections();
    g.frames(1);

    // Every pixel the line changed is within a dot's reach of the segment between the balls.
    const float ax = wa.m_x, ay = wa.m_y, dx = wb.m_x - ax, dy = wb.m_y - ay;
    const float len2 = dx * dx + dy * dy;
    ASSERT_GT(len2, 100.0f * 100.0f);
    int changed = 0, astray = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const uint8_t* q = &with_line[4 * (static_cast<size_t>(y) * W + x)];
            const Rgba p = g.gl.pixel(x, y);
            if (std::abs(p.r - q[0]) + std::abs(p.g - q[1]) + std::abs(p.b - q[2]) <= 24) continue;
            ++changed;
            const float t = std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0f, 1.0f);
            if (std::hypot(ax + t * dx - x, ay + t * dy - y) > 12) ++astray;
        }
    }
    EXPECT_GT(changed, static_cast<int>(std::sqrt(len2)));
    EXPECT_EQ(astray, 0);
}

TEST(SceneGlobe, SelectedFrameShowsTheLargePhotoAtItsAspect) {
    PhotoDir dir;
    ASSERT_FALSE(dir.make("wide.jpg", "-size 200x100 xc:red").empty());
    OffscreenGL gl(W, H);
    UTL_SimCtrlNimbra c;
    c.start(W, H);
    c.add_myself("1", "Ann", dir.file("wide.jpg").c_str(), kNoPhoto);
    c.create_friends_locators();
    GFX_LocationHolder* me = c.m_loc_holders[0];
    auto red = [](const Rgba& p) { return p.r > 200 && p.g < 60 && p.b < 60; };
    int photo = 0;
    for (int i = 0; i < 300 && photo == 0; ++i) {  // the worker loads the file meanwhile
        c.update(W, H, 0.02f);
        const Rect r = frame_rect(c, me);
        photo = gl.count(r.x0, r.y0, r.x1, r.y1, red);
    }
    const Rect r = frame_rect(c, me);
    const float frame = static_cast<float>((r.x1 - r.x0) * (r.y1 - r.y0));
    // Selected, a 2:1 photo: as wide as 0.9 of the frame, so 0.45 of it high.
    EXPECT_NEAR(photo / frame, 0.9f * 0.45f, 0.03f);
}
