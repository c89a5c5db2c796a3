// A whole globe of 150 people with their friendships, rendered the way the window shows it and
// written to a PNG (the path in NIMBRA_GLOBE_PNG, else the test temp directory) so it can be
// looked at. The checks are what anyone looking at the picture expects to see.
#include "controller/sim_ctrl_nimbra.h"

#include "gfx/ogl_wrapper.h"
#include "scene/camera.h"
#include "scene/location_holder.h"
#include "tests/support/offscreen_gl.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

constexpr int W = 1024;
constexpr int H = 768;

// Friendships of a small world: each friend knows a few others of nearby arrival, plus a few
// long links, so the globe shows both short arcs and long chords.
void befriend(UTL_SimCtrlNimbra& c, int friends) {
    c.add_connections_for_myself();
    unsigned seed = 7;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
    for (int i = 1; i <= friends; ++i) {
        for (int k = 0; k < 2; ++k) {
            int j = 1 + int(next() % friends);
            if (next() % 4 != 0) j = 1 + (i + 1 + int(next() % 6)) % friends;
            if (j != i)
                c.add_connection(std::to_string(i).c_str(), std::to_string(j).c_str(), 0.3f, false);
        }
    }
}

}  // namespace

TEST(ControllerRender, GlobeOf150People) {
    OffscreenGL gl(W, H);
    UTL_SimCtrlNimbra c;
    c.start(W, H);
    c.add_myself("0", "Ada Lovelace", "", "");
    c.create_friends_locators();
    const int friends = 149;
    for (int i = 1; i <= friends; ++i) {
        c.add_friend(std::to_string(i).c_str(), ("Friend " + std::to_string(i)).c_str(), "", "");
        c.create_friends_locators();
    }
    befriend(c, friends);
    for (int i = 0; i < 12; ++i) c.update(W, H, 0.02f);

    // The user is selected and faces the camera near the middle of the window.
    GFX_LocationHolder* me = c.m_loc_holders[0];
    Math_Vector3 win;
    ASSERT_TRUE(c.m_ogl->model_to_window(me->m_position, win));
    EXPECT_NEAR(win.m_x, W / 2, W / 8);
    EXPECT_NEAR(win.m_y, H / 2, H / 6);

    // Sky stays the theme's background; the globe fills a good part of the window.
    const Math_Vector3 bg = c.m_color_theme.m_background_color * 255.0f;
    auto sky = [&](const Rgba& p) {
        return std::abs(p.r - bg.m_x) < 3 && std::abs(p.g - bg.m_y) < 3 &&
               std::abs(p.b - bg.m_z) < 3;
    };
    EXPECT_TRUE(sky(gl.pixel(W / 2, 40)));
    const int lit = gl.count(0, 40, W, H - 140, [&](const Rgba& p) { return !sky(p); });
    EXPECT_GT(lit, W * H / 8);

    // Make the frame opaque for the picture (the clear leaves alpha 0).
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    const char* env = std::getenv("NIMBRA_GLOBE_PNG");
    const std::string path = env && *env ? env : ::testing::TempDir() + "nimbra_globe_150.png";
    EXPECT_TRUE(gl.write_png(path)) << path;
}
