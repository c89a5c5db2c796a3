// The glow drawn as point sprites from buffers kept between frames, against the quads it
// replaces: the same frames on the real Mesa renderer, and buffers that are rewritten only where
// the lines, the selection or the theme changed.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_draw_throttle.h"
#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/location_holder.h"
#include "tests/support/globe_fixture.h"

namespace {

// Friendships of a small world: each friend knows a few of nearby arrival and a few far away.
void befriend(UTL_SimCtrlNimbra& c, int friends, int per_friend, unsigned seed) {
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
    for (int i = 1; i <= friends; ++i)
        for (int k = 0; k < per_friend; ++k) {
            int j = 1 + int(next() % friends);
            if (next() % 3 != 0) j = 1 + (i + 1 + int(next() % 8)) % friends;
            if (j != i)
                c.add_connection(std::to_string(i).c_str(), std::to_string(j).c_str(),
                                 next() % 2 ? 0.3f : 0.4f, false);
        }
}

// Root mean square of the colour difference of two frames, as a share of full scale, over the
// pixels of [x0, x1) x [y0, y1).
double rmse(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int x0, int y0,
            int x1, int y1) {
    double sum = 0.0;
    long long n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const size_t i = (static_cast<size_t>(y) * width + x) * 4;
            for (size_t k = 0; k < 3; ++k) {
                const double d = (double(a[i + k]) - double(b[i + k])) / 255.0;
                sum += d * d;
                ++n;
            }
        }
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

// The dots each line has, as the quads would draw them.
long long line_dots(GFX_Connection* l) {
    auto* f = dynamic_cast<GFX_ConnectionFriends*>(l);
    if (!f || !f->m_holder1 || !f->m_holder2) return 0;
    const int n =
        GFX_Connection::dot_count((f->m_holder2->m_position - f->m_holder1->m_position).length());
    return n > 1 ? n - 1 : 0;
}

struct Globe : GlobeFixture {
    Globe(int w, int h) : GlobeFixture(w, h) {}

    // Frames until two in a row are the same: the camera has glided, the billboards have eased
    // to their sides and the docks have scrolled.
    void settle() {
        std::vector<uint8_t> last;
        for (int i = 0; i < 1000; ++i) {
            std::vector<uint8_t> now = draw(UTL_SimCtrlNimbra::GLOW_QUADS);
            if (now == last) return;
            last.swap(now);
        }
        FAIL() << "the frames never came to rest";
    }
    std::vector<uint8_t> draw(UTL_SimCtrlNimbra::GlowPath path) {
        c.m_glow_path = path;
        frame();
        glFinish();
        return gl.buffer();
    }
};

}  // namespace

TEST(GlowSprites, DrawTheSameFramesAsTheQuadsFromFarAndNearWithASelectionAndAnotherTheme) {
    Globe g(480, 300);
    g.start();
    g.people(70);
    g.c.add_connections_for_myself();
    befriend(g.c, 70, 5, 11);
    g.settle();
    const int w = g.gl.width(), h = g.gl.height();

    // Each case changes the scene without moving the camera round, so nothing else changes
    // between the frames compared.
    struct Case {
        const char* name;
        std::function<void()> set_up;
    };
    const Case cases[] = {
        {"far, the user selected", [] {}},
        {"near", [&] { g.c.m_camera->m_distance = g.c.m_camera->m_min_distance; }},
        {"a friend selected",
         [&] {
             g.c.select_loc_holder(g.c.m_loc_holders.at(4));
             g.c.m_cam_transition = false;
         }},
        {"another theme", [&] { g.c.m_color_theme = g.c.m_color_themes.at(2); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        k.set_up();
        g.settle();
        const std::vector<uint8_t> quads = g.draw(UTL_SimCtrlNimbra::GLOW_QUADS);
        EXPECT_FALSE(g.c.m_glow_drew_sprites);
        const std::vector<uint8_t> sprites = g.draw(UTL_SimCtrlNimbra::GLOW_SPRITES);
        ASSERT_TRUE(g.c.m_glow_drew_sprites) << "this renderer draws point sprites";
        // Without the glow, to know it is there to compare.
        OGL_Texture* glow = g.c.m_billboard_texture;
        g.c.m_billboard_texture = nullptr;
        const std::vector<uint8_t> bare = g.draw(UTL_SimCtrlNimbra::GLOW_SPRITES);
        g.c.m_billboard_texture = glow;

        EXPECT_GT(rmse(bare, quads, w, 0, 0, w, h), 0.05);
        EXPECT_LT(rmse(sprites, quads, w, 0, 0, w, h), 0.02);
        // Dots crossing the window's edges show as much of themselves either way; a dot that
        // vanished as its centre left the window would leave a band along the edge three times
        // further off than this.
        const int b = 16;
        const int bands[4][4] = {{0, 0, b, h}, {w - b, 0, w, h}, {0, 0, w, b}, {0, h - b, w, h}};
        for (const auto& r : bands)
            EXPECT_LT(rmse(sprites, quads, w, r[0], r[1], r[2], r[3]), 0.006)
                << "band " << r[0] << "," << r[1];
    }
}

TEST(GlowSprites, RewriteOnlyWhatALayoutASelectionAThemeOrNewLinesChange) {
    Globe g(320, 200);
    g.start();
    g.people(40);
    g.c.add_connections_for_myself();
    befriend(g.c, 40, 4, 5);
    g.c.m_glow_path = UTL_SimCtrlNimbra::GLOW_SPRITES;
    g.frame();
    ASSERT_TRUE(g.c.m_glow_drew_sprites);
    const GFX_DotSprites& s = *g.c.m_glow_sprites;
    GFX_DotSprites::Work was = s.work();
    EXPECT_EQ(was.builds, 1);

    // The buffers hold every line's dots once, and the highlighted lines' again.
    auto count = [&](bool highlighted_only) {
        long long n = 0;
        for (GFX_Connection* l : g.c.m_connections)
            if (!highlighted_only || l->highlighted()) n += line_dots(l);
        return n;
    };
    auto check_counts = [&] {
        EXPECT_EQ(s.plain_dots(), count(false));
        EXPECT_EQ(s.highlighted_dots(), count(true));
    };
    check_counts();
    ASSERT_GT(s.highlighted_dots(), 100);
    ASSERT_GT(s.plain_dots(), s.highlighted_dots());

    // Frames where nothing changes write nothing, whatever the camera does.
    g.c.rotate_camera(30.0f, 10.0f);
    g.frames(3);
    EXPECT_EQ(s.work().positions, was.positions);
    EXPECT_EQ(s.work().colours, was.colours);

    // A selection: the colours of the lines it lights or darkens, and the highlighted buffer.
    GFX_LocationHolder* friend7 = g.c.m_loc_holders.at(7);
    long long relit = 0;
    for (GFX_Connection* l : g.c.m_connections) {
        auto* f = dynamic_cast<GFX_ConnectionFriends*>(l);
        const bool will = f->m_holder1 == friend7 || f->m_holder2 == friend7;
        if (will != f->m_highlighted) relit += line_dots(l);
    }
    was = s.work();
    g.c.select_loc_holder(friend7);
    g.frame();
    EXPECT_EQ(s.work().builds, was.builds);
    EXPECT_EQ(s.work().selections, was.selections + 1);
    EXPECT_EQ(s.work().recolours, was.recolours);
    check_counts();
    EXPECT_EQ(s.work().positions - was.positions, s.highlighted_dots());
    EXPECT_EQ(s.work().colours - was.colours, relit + s.highlighted_dots());
    g.frames(2);
    EXPECT_EQ(s.work().colours - was.colours, relit + s.highlighted_dots());

    // A theme: every colour, no position.
    was = s.work();
    ASSERT_GE(g.c.m_color_themes.size(), 2u);
    g.c.m_color_theme = g.c.m_color_themes[1];
    g.frame();
    EXPECT_EQ(s.work().recolours, was.recolours + 1);
    EXPECT_EQ(s.work().builds, was.builds);
    EXPECT_EQ(s.work().positions, was.positions);
    EXPECT_EQ(s.work().colours - was.colours, s.plain_dots() + s.highlighted_dots());

    // Colours at one line's ends (a community's hue): that line's colours and the highlighted
    // buffer, no position of a plain dot.
    GFX_Connection* tinted = g.c.m_connections.back();
    ASSERT_FALSE(tinted->highlighted());
    was = s.work();
    tinted->set_end_colors(Math_Vector3(1.0f, 0.0f, 0.0f), Math_Vector3(0.0f, 0.0f, 1.0f));
    g.frame();
    EXPECT_EQ(s.work().builds, was.builds);
    EXPECT_EQ(s.work().colours - was.colours, line_dots(tinted) + s.highlighted_dots());
    EXPECT_EQ(s.work().positions - was.positions, s.highlighted_dots());

    // A layout (one more person moves everybody): everything, once.
    was = s.work();
    g.c.add_friend("41", "Friend 41", "", "");
    g.c.create_friends_locators();
    g.frames(3);
    EXPECT_EQ(s.work().builds, was.builds + 1);
    EXPECT_EQ(s.work().selections, was.selections);
    check_counts();
    EXPECT_EQ(s.work().positions - was.positions, s.plain_dots() + s.highlighted_dots());

    // Lines arriving batch by batch, as the acquisition adds them: each batch appends its own
    // dots; the buffers grow a few times, not once a batch, and are never built whole again.
    was = s.work();
    long long before = s.plain_dots();
    const int batches = 30;
    for (int b = 0; b < batches; ++b) {
        for (int i = 1; i <= 40; ++i) {
            const int j = 1 + (i * 7 + b * 13) % 41;
            if (j != i)
                g.c.add_connection(std::to_string(i).c_str(), std::to_string(j).c_str(), 0.3f,
                                   false);
        }
        g.frame();
        g.frame();
    }
    check_counts();
    const long long added = s.plain_dots() - before;
    ASSERT_GT(added, 4 * before);  // the buffer has to grow
    EXPECT_EQ(s.work().appends, was.appends + batches);
    EXPECT_EQ(s.work().builds, was.builds);
    EXPECT_LE(s.work().grown - was.grown, 12);
    EXPECT_LT(s.work().positions - was.positions, 6 * s.plain_dots());

    // Once no more lines come, the room kept for them goes back, and the frame the smaller
    // buffers draw is the one before it (the scene may still drift by a pixel or two).
    was = s.work();
    const long long roomy_bytes = s.buffer_bytes();
    std::vector<uint8_t> before_fit = g.draw(UTL_SimCtrlNimbra::GLOW_SPRITES), fitted;
    for (int i = 0; i < 100 && s.work().fitted == was.fitted; ++i) {
        fitted = g.draw(UTL_SimCtrlNimbra::GLOW_SPRITES);
        if (s.work().fitted == was.fitted) before_fit.swap(fitted);
    }
    EXPECT_EQ(s.work().fitted - was.fitted, 1);
    EXPECT_LT(s.buffer_bytes(), roomy_bytes);
    // Ten bytes a dot; a buffer is never made for fewer than 4096 dots.
    EXPECT_LE(s.buffer_bytes(), (s.plain_dots() + std::max(s.highlighted_dots(), 4096LL) + 2) * 10);
    EXPECT_EQ(s.work().builds, was.builds);
    check_counts();
    EXPECT_LT(rmse(fitted, before_fit, g.gl.width(), 0, 0, g.gl.width(), g.gl.height()), 0.002);

    // All lines gone: built again, empty.
    was = s.work();
    g.c.clear_connections();
    g.frame();
    EXPECT_EQ(s.work().builds, was.builds + 1);
    EXPECT_EQ(s.plain_dots(), 0);
    EXPECT_EQ(s.highlighted_dots(), 0);
}

// The throttle only waits on the renderer between draws: the frame is the same whether it waits
// every few dozen dots or never, on either path.
TEST(GlowSprites, AThrottledFrameIsTheSameFrame) {
    EXPECT_TRUE(OGL_DrawThrottle::renders_in_software("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(OGL_DrawThrottle::renders_in_software("softpipe"));
    EXPECT_FALSE(OGL_DrawThrottle::renders_in_software("AMD Radeon RX 6600 (radeonsi, navi23)"));
    EXPECT_FALSE(OGL_DrawThrottle::renders_in_software(nullptr));

    Globe g(320, 200);
    g.start();
    g.people(40);
    g.c.add_connections_for_myself();
    befriend(g.c, 40, 4, 7);
    g.settle();
    OGL_DrawThrottle& throttle = g.c.m_draw_throttle;
    for (auto path : {UTL_SimCtrlNimbra::GLOW_SPRITES, UTL_SimCtrlNimbra::GLOW_AUTO,
                      UTL_SimCtrlNimbra::GLOW_QUADS}) {
        throttle.set_window(1LL << 40);
        const std::vector<uint8_t> whole = g.draw(path);
        const long long waited = throttle.waits();
        throttle.set_window(64);
        // Against the frame before, as the scene may still drift by a pixel or two.
        EXPECT_LT(rmse(g.draw(path), whole, g.gl.width(), 0, 0, g.gl.width(), g.gl.height()), 0.002)
            << (path == UTL_SimCtrlNimbra::GLOW_QUADS ? "quads" : "sprites");
        // OSMesa is llvmpipe; it waits when its context has fences.
        if (throttle.active()) {
            EXPECT_GT(throttle.waits(), waited + 10);
        }
    }
    EXPECT_TRUE(throttle.active()) << "the offscreen renderer was expected to be throttled";
}

TEST(GlowSprites, QuadsDrawWhenAskedForOrWhenTheNearestDotWouldOutgrowTheLargestPoint) {
    setenv("NIMBRA_GLOW", "sprites", 1);
    {
        Globe g(160, 100);
        g.start();
        unsetenv("NIMBRA_GLOW");
        EXPECT_EQ(g.c.m_glow_path, UTL_SimCtrlNimbra::GLOW_SPRITES);
    }
    setenv("NIMBRA_GLOW", "quads", 1);
    {
        Globe g(160, 100);
        g.start();
        unsetenv("NIMBRA_GLOW");
        g.people(5);
        g.c.add_connections_for_myself();
        g.frame();
        EXPECT_EQ(g.c.m_glow_path, UTL_SimCtrlNimbra::GLOW_QUADS);
        EXPECT_FALSE(g.c.m_glow_drew_sprites);
        ASSERT_NE(g.c.m_glow_batch, nullptr);
        EXPECT_GT(g.c.m_glow_batch->drawn(), 0);
    }

    // So tall a window that a highlighted dot seen from the camera's nearest distance would be
    // wider than the 255 pixels Mesa draws a point at: quads, until the window is lower.
    Globe g(64, 2600);
    g.start();
    g.people(5);
    g.c.add_connections_for_myself();
    g.frame();
    EXPECT_FALSE(g.c.m_glow_drew_sprites);
    ASSERT_NE(g.c.m_glow_batch, nullptr);
    const long long drawn = g.c.m_glow_batch->drawn();
    EXPECT_GT(drawn, 0);
    g.c.update(64, 1600, 0.02f);
    EXPECT_TRUE(g.c.m_glow_drew_budget);
    EXPECT_EQ(g.c.m_glow_batch->drawn(), drawn);
}
