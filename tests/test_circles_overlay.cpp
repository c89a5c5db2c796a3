// The circles as a user meets them in the overlay, frame by frame through the controller's own
// event handlers: the circles button and Shift+C, the camera that goes along with the selected
// person, the legend and the circles' hues on balls and lines.
#include "controller/sim_ctrl_nimbra.h"

#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "tests/support/globe_fixture.h"
#include "tests/support/wait.h"
#include "widgets/circle_legend.h"
#include "widgets/round_button.h"
#include "widgets/search_field.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

constexpr int W = 640;
constexpr int H = 480;
constexpr int kCirclesButtonX = 163;  // the centre of the fourth round button
constexpr int kButtonY = 15;

struct Globe : GlobeFixture {
    Globe() : GlobeFixture(W, H) { start(); }

    // The user and groups of friends, friends within a group and seldom across.
    void groups(int count, int size) {
        people(count * size);
        c.add_connections_for_myself();
        std::mt19937 rng(8);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        const int n = count * size;
        for (int a = 1; a <= n; ++a)
            for (int b = a + 1; b <= n; ++b)
                if (u(rng) < ((a - 1) / size == (b - 1) / size ? 0.4 : 0.01))
                    c.add_connection(std::to_string(a).c_str(), std::to_string(b).c_str(), 0.4f,
                                     false);
        frame();
    }
    void key(unsigned int k) { c.key_down(k, 0), frame(); }
    void click(int x, int y) {
        c.mouse_moved(x, y, 0, 0, 0);
        c.mouse_down(x, y, 0);
        c.mouse_up(x, y, 0);
        frame();
    }
    // Frames until the circles and the places have settled.
    bool settle() {
        return wait_until([&] {
            frame();
            return c.circles_settled();
        });
    }
};

}  // namespace

TEST(CirclesOverlay, TheCirclesButtonAndShiftCSwitchTheLayoutLowerCaseCSearches) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    g.groups(3, 8);
    ASSERT_NE(c.m_circles_button, nullptr);
    EXPECT_FALSE(c.m_circles_button->m_active);

    g.key('C');
    EXPECT_EQ(c.layout(), UTL_SimCtrlNimbra::LAYOUT_CIRCLES);
    EXPECT_FALSE(c.m_search_field->is_open());
    ASSERT_TRUE(g.settle()) << "the arrangement never arrived";
    EXPECT_TRUE(c.m_circles_button->m_active);

    g.key('c');
    EXPECT_TRUE(c.m_search_field->is_open()) << "a lower-case c starts a search";
    EXPECT_EQ(c.m_search_field->text(), "c");
    EXPECT_EQ(c.layout(), UTL_SimCtrlNimbra::LAYOUT_CIRCLES);
    g.key('C');
    EXPECT_EQ(c.m_search_field->text(), "cC") << "in the search box C is typed";
    g.key(27);

    // A selected person on the move takes the camera along to where they are going.
    c.select_friend(c.m_friends[5]);
    GFX_LocationHolder* h = c.m_selected_holder;
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(g.settle());
    g.click(kCirclesButtonX, kButtonY);
    EXPECT_EQ(c.layout(), UTL_SimCtrlNimbra::LAYOUT_ARRIVAL);
    EXPECT_FALSE(c.m_dragging) << "the press went to the scene as well";
    EXPECT_FALSE(c.m_circles_button->m_active);
    if (h->gliding()) {
        EXPECT_TRUE(c.m_cam_transition);
        EXPECT_EQ(c.m_cam_target_lr, h->target_longitude());
        EXPECT_EQ(c.m_cam_target_ud, h->target_latitude());
    }
    ASSERT_TRUE(g.settle());
    std::vector<float> lon, lat;
    UTL_SimCtrlNimbra::spiral_places(c.m_loc_holders.size(), lon, lat);
    EXPECT_EQ(h->m_longitude, lon[6]);
    EXPECT_EQ(h->m_latitude, lat[6]);
}

TEST(CirclesOverlay, LegendListsTheCirclesPointingBrightensAClickGlidesThere) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    g.groups(3, 8);
    ASSERT_NE(c.m_circle_legend, nullptr);
    EXPECT_FALSE(c.m_circle_legend->shown()) << "in the order of arrival";
    for (GFX_Connection* l : c.m_connections) EXPECT_FALSE(l->has_end_colors());

    g.key('C');
    ASSERT_TRUE(g.settle());
    const GFX_CircleLegend& legend = *c.m_circle_legend;
    ASSERT_TRUE(legend.shown());
    const auto& circles = c.circles().circles();
    ASSERT_EQ(circles.size(), 3u);
    for (size_t k = 1; k < circles.size(); ++k)
        EXPECT_GE(circles[k - 1].size(), circles[k].size()) << "largest first";

    // Each friend's ball and each line between two friends of a circle take its hue.
    auto ball = [&](GFX_Friend* f) {
        Math_Vector3 col;
        for (GFX_LocationHolder* h : c.m_loc_holders)
            if (dynamic_cast<GFX_LocationHolderFriend*>(h)->m_friend == f) c.locator_color(h, col);
        return col;
    };
    for (GFX_Friend* f : c.m_friends) EXPECT_EQ(ball(f), c.circle_color(f->m_circle));
    auto line_between = [&](int circle) -> GFX_ConnectionFriends* {
        for (GFX_Connection* l : c.m_connections) {
            auto* cf = dynamic_cast<GFX_ConnectionFriends*>(l);
            GFX_Friend* a = cf->m_holder1 ? cf->m_holder1->m_friend : nullptr;
            GFX_Friend* b = cf->m_holder2 ? cf->m_holder2->m_friend : nullptr;
            if (a && b && a != c.m_myself && a->m_circle == circle && b->m_circle == circle)
                return cf;
        }
        return nullptr;
    };
    GFX_ConnectionFriends* inside = line_between(1);
    ASSERT_NE(inside, nullptr);
    ASSERT_TRUE(inside->has_end_colors());
    const Math_Vector3 hue = c.circle_color(1);
    EXPECT_NEAR(inside->dot_color(inside->m_start, 0.5f).m_x, hue.m_x, 0.01f);
    EXPECT_NEAR(inside->dot_color(inside->m_start, 0.5f).m_y, hue.m_y, 0.01f);

    // Pointing at the second row brightens that circle, on the balls and along the lines.
    const float row_y = legend.m_top - 26.0f - 1.5f * GFX_CircleLegend::kRowHeight;
    const int x = static_cast<int>(legend.m_left + 40);
    c.mouse_moved(x, static_cast<int>(row_y), 0, 0, 0);
    g.frame();
    EXPECT_EQ(c.m_hover_circle, 1);
    GFX_Friend* member = c.graph_person(circles[1].m_members.front());
    const Math_Vector3 bright = ball(member);
    EXPECT_GT(bright.m_x + bright.m_y + bright.m_z, hue.m_x + hue.m_y + hue.m_z + 0.3f);
    const Math_Vector3 dot = inside->dot_color(inside->m_start, 0.5f);
    EXPECT_GT(dot.m_x + dot.m_y + dot.m_z, hue.m_x + hue.m_y + hue.m_z + 0.3f);
    GFX_Friend* other = c.graph_person(circles[0].m_members.front());
    EXPECT_EQ(ball(other), c.circle_color(0)) << "other circles stay as they are";
    EXPECT_EQ(c.pick_loc_holder(), nullptr) << "the legend is not the globe";

    // A click on the row glides the camera over the middle of the circle.
    c.m_cam_transition = false;
    c.mouse_down(x, static_cast<int>(row_y), 0);
    c.mouse_up(x, static_cast<int>(row_y), 0);
    g.frame();
    EXPECT_FALSE(c.m_dragging);
    ASSERT_TRUE(c.m_cam_transition);
    Math_Vector3 middle;
    for (int p : circles[1].m_members) {
        for (GFX_LocationHolder* h : c.m_loc_holders)
            if (dynamic_cast<GFX_LocationHolderFriend*>(h)->m_friend == c.graph_person(p))
                middle += c.compute_position(h->m_longitude, h->m_latitude);
    }
    const Math_Vector3 aim = c.compute_position(c.m_cam_target_lr, c.m_cam_target_ud);
    EXPECT_GT(aim.dot(middle) / (aim.length() * middle.length()), 0.999f);

    // Off the legend the circle is no longer pointed at; back in arrival order it goes.
    c.mouse_moved(W / 2, H / 2, 0, 0, 0);
    g.frame();
    EXPECT_EQ(c.m_hover_circle, -1);
    EXPECT_EQ(ball(member), hue);
    g.key('C');
    EXPECT_FALSE(c.m_circle_legend->shown());
    for (GFX_Connection* l : c.m_connections) EXPECT_FALSE(l->has_end_colors());
}
