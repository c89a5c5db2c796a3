// The glow under a budget on the real Mesa renderer: frames of a moving camera hold to their
// budget without thinning a highlighted line, a selection lights its lines whole at once, the
// frames at rest come to the full-detail picture, and lines that arrive while the picture stands
// still all end up in it. The budget itself follows the frame time.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "controller/sim_ctrl_nimbra.h"
#include "scene/connection.h"
#include "scene/glow.h"
#include "scene/location_holder.h"
#include "tests/support/globe_fixture.h"

namespace {

// Each friend knows a handful of others, near and far in arrival order (so near and far on the
// globe): lines of every length.
void befriend(UTL_SimCtrlNimbra& c, int friends, int per_friend, unsigned seed) {
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
    for (int i = 1; i <= friends; ++i)
        for (int k = 0; k < per_friend; ++k) {
            const int j = 1 + int(next() % friends);
            if (j != i)
                c.add_connection(std::to_string(i).c_str(), std::to_string(j).c_str(), 0.4f, false);
        }
}

// Share of full scale by which two frames differ, root mean square over the colour channels.
double rmse(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
        for (size_t k = 0; k < 3; ++k, ++n) {
            const double d = (double(a[i + k]) - double(b[i + k])) / 255.0;
            sum += d * d;
        }
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

// Frames drawn before the glow is expected to have come to rest: far more than it takes.
constexpr int kPatience = 2000;

struct Globe : GlobeFixture {
    explicit Globe(int friends = 60) : GlobeFixture(480, 300) {
        start();
        people(friends);
        c.add_connections_for_myself();
        befriend(c, friends, 6, 11);
        // Small enough for a small globe to need thinning: about a tenth of its dots.
        c.m_glow_budget.set_floor(300);
        c.m_glow_budget.set_budget(300);
    }
    std::vector<uint8_t> picture() {
        glFinish();
        return gl.buffer();
    }
    // Frames of every dot until two in a row are the same: the camera has glided and the
    // billboards have eased to their sides.
    std::vector<uint8_t> settle_whole() {
        c.m_glow_path = UTL_SimCtrlNimbra::GLOW_SPRITES;
        std::vector<uint8_t> last;
        for (int i = 0; i < kPatience; ++i) {
            frame();
            std::vector<uint8_t> now = picture();
            if (now == last) break;
            last.swap(now);
        }
        c.m_glow_path = UTL_SimCtrlNimbra::GLOW_AUTO;
        return last;
    }
    // Frames until the picture holds every dot; the number of frames it took (0: never).
    int frames_until_whole() {
        for (int i = 1; i <= kPatience; ++i) {
            frame();
            if (c.m_glow_plan) hidden_seen += c.m_glow_plan->figures().hidden;
            if (c.m_glow_drew_whole) return i;
        }
        return 0;
    }
    long long hidden_seen = 0;  // dots left out as hidden by frames_until_whole()'s frames
    size_t line_index(const GFX_Connection* l) const {
        for (size_t i = 0; i < c.m_connections.size(); ++i)
            if (c.m_connections[i] == l) return i;
        return c.m_connections.size();
    }
};

long long dots_of(const GFX_Connection* l) {
    const int n = GFX_Connection::dot_count((l->m_end - l->m_start).length());
    return n > 1 ? n - 1 : 0;
}

}  // namespace

TEST(GlowBudget, FollowsTheFrameTimeAboveItsFloor) {
    GFX_GlowBudget budget(true);
    budget.set_floor(1000);
    budget.set_budget(100000);
    // Frames twice as long as wanted halve it; no frame takes it under the floor.
    budget.frame_took(2.0 * GFX_GlowBudget::k_target_seconds, 100000);
    EXPECT_EQ(budget.budget(), 50000);
    for (int i = 0; i < 40; ++i) budget.frame_took(10.0, budget.budget());
    EXPECT_EQ(budget.budget(), 1000);
    // Quick frames that used it grow it, by half at most; quick frames that did not, do not.
    budget.frame_took(GFX_GlowBudget::k_target_seconds / 4.0, 1000);
    EXPECT_EQ(budget.budget(), 1500);
    budget.frame_took(GFX_GlowBudget::k_target_seconds / 4.0, 10);
    EXPECT_EQ(budget.budget(), 1500);
    // A nonsense time changes nothing.
    budget.frame_took(-1.0, 1500);
    budget.frame_took(std::nan(""), 1500);
    EXPECT_EQ(budget.budget(), 1500);
    // A software renderer starts at its floor; a GPU far above, and both grow from there.
    EXPECT_EQ(GFX_GlowBudget(true).budget(), GFX_GlowBudget::k_software_floor);
    EXPECT_GT(GFX_GlowBudget(false).budget(), GFX_GlowBudget::k_software_floor);
}

TEST(GlowBudget, MovingFramesHoldTheBudgetThinOnlyFaintLinesAndLightASelectionAtOnce) {
    Globe g;
    g.c.m_rotate_mode = 1;  // turning by itself
    for (int f = 0; f < 6; ++f) {
        g.frame();
        ASSERT_TRUE(g.c.m_glow_drew_budget) << "this renderer draws point sprites";
        EXPECT_FALSE(g.c.m_glow_drew_whole);
        const GFX_GlowPlan& plan = *g.c.m_glow_plan;
        const GFX_GlowPlan::Figures& fig = plan.figures();
        ASSERT_GT(fig.all, 5 * g.c.m_glow_budget.budget()) << "too few dots to need a budget";
        // The whole globe is in view: every highlighted line whole, the rest within what the
        // budget leaves, every line in view still showing.
        EXPECT_LE(fig.planned, std::max(g.c.m_glow_budget.budget(), fig.highlighted));
        long long thinned = 0;
        for (size_t i = 0; i < g.c.m_connections.size(); ++i) {
            const GFX_Connection* l = g.c.m_connections[i];
            if (l->highlighted()) {
                EXPECT_EQ(plan.planned_on(i), dots_of(l)) << "highlighted line " << i;
            } else if (plan.planned_on(i) < dots_of(l)) {
                ++thinned;
            }
        }
        EXPECT_GT(thinned, 0);
    }

    // A selection while the globe turns: the next frame draws all of that person's lines whole.
    GFX_LocationHolder* chosen = g.c.m_loc_holders.at(17);
    g.c.select_loc_holder(chosen);
    g.frame();
    ASSERT_TRUE(g.c.m_glow_drew_budget);
    const auto* lit = dynamic_cast<GFX_LocationHolderFriend*>(chosen);
    ASSERT_NE(lit, nullptr);
    ASSERT_GT(lit->m_connections.size(), 3u);
    for (const GFX_ConnectionFriends* l : lit->m_connections) {
        ASSERT_TRUE(l->highlighted());
        EXPECT_EQ(g.c.m_glow_plan->planned_on(g.line_index(l)), dots_of(l));
    }
    // And the user's lines, no longer lit, are thinned like any other.
    long long user_thinned = 0;
    for (size_t i = 0; i < g.c.m_connections.size(); ++i) {
        const auto* f = dynamic_cast<GFX_ConnectionFriends*>(g.c.m_connections[i]);
        if (f && f->m_uid1 == "0" && g.c.m_glow_plan->planned_on(i) < dots_of(f)) ++user_thinned;
    }
    EXPECT_GT(user_thinned, 0);
}

TEST(GlowBudget, ThePictureAtRestComesToTheFullDetailPicture) {
    Globe g;
    const std::vector<uint8_t> whole = g.settle_whole();
    // The first frame of the budgeted glow sees the camera for the first time, as after a move:
    // a budget of dots, clearly not the full-detail picture.
    g.frame();
    ASSERT_TRUE(g.c.m_glow_drew_budget) << "this renderer draws point sprites";
    EXPECT_FALSE(g.c.m_glow_drew_whole);
    EXPECT_GT(rmse(g.picture(), whole), 0.002);

    // At rest the picture is drawn whole a piece per frame, in more than one frame, and then
    // equals the full-detail one (blending in a layer rounds a little differently).
    const int frames = g.frames_until_whole();
    ASSERT_GT(frames, 0) << "the picture at rest never held every dot";
    EXPECT_GT(frames, 1) << "expected the budget to spread it over frames";
    EXPECT_LT(rmse(g.picture(), whole), 0.01);
    EXPECT_GT(g.hidden_seen, 0) << "no dot was hidden behind the people: the same picture says "
                                   "nothing of leaving hidden dots out";
    // It stays so.
    g.frame();
    EXPECT_TRUE(g.c.m_glow_drew_whole);
    EXPECT_LT(rmse(g.picture(), whole), 0.01);
    g.c.m_glow_path = UTL_SimCtrlNimbra::GLOW_SPRITES;
    g.frame();
    EXPECT_LT(rmse(g.picture(), whole), 0.01)
        << "the full-detail way, drawn after the layer, differs from it";
}

// A moving frame on a software renderer leaves out the dots the people drawn before them hide,
// found by stepping along each line: the dots left out must change no pixel.
TEST(GlowBudget, AMovingFrameLeavesOutOnlyDotsThatWouldNotShow) {
    Globe g;
    // A budget that holds every dot: the frames with and without leaving dots out plan the same.
    g.c.m_glow_budget.set_floor(1LL << 40);
    g.settle_whole();
    const UTL_ColorTheme theme = g.c.m_color_theme;
    ASSERT_GT(g.c.m_color_themes.size(), 1u);
    const UTL_ColorTheme other = g.c.m_color_themes[g.c.m_color_themes[0] == theme ? 1 : 0];
    // A frame in another theme and one back: the second draws as a moving frame, with nothing
    // else moved.
    auto moving_frame = [&] {
        g.c.m_color_theme = other;
        g.frame();
        g.c.m_color_theme = theme;
        g.frame();
        EXPECT_TRUE(g.c.m_glow_drew_budget);
        EXPECT_FALSE(g.c.m_glow_drew_whole);
        return g.picture();
    };
    const std::vector<uint8_t> left_out = moving_frame();
    const long long hidden = g.c.m_glow_plan->figures().hidden;
    g.c.m_glow_occlusion = false;
    const std::vector<uint8_t> every_dot = moving_frame();
    EXPECT_EQ(g.c.m_glow_plan->figures().hidden, 0);
    EXPECT_GT(hidden, 0) << "no dot was hidden behind the people: the test says nothing";
    EXPECT_LT(rmse(left_out, every_dot), 0.001);
}

TEST(GlowBudget, LinesArrivingWhileThePictureStandsStillAllEndUpInIt) {
    Globe g(60);
    // The picture at rest holds every dot of the lines so far.
    g.settle_whole();
    ASSERT_GT(g.frames_until_whole(), 0);
    // A batch of faint lines arrives (the acquisition adds them between frames): the picture
    // takes them in without starting again, and in the end equals the full-detail one.
    befriend(g.c, 60, 3, 99);
    g.frame();
    EXPECT_FALSE(g.c.m_glow_drew_whole);
    ASSERT_GT(g.frames_until_whole(), 0) << "the new lines never all arrived in the picture";
    const std::vector<uint8_t> grown = g.picture();
    const std::vector<uint8_t> whole = g.settle_whole();
    EXPECT_LT(rmse(grown, whole), 0.01);
}
