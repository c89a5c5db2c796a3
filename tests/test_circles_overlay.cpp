// The circles as a user meets them in the overlay, frame by frame through the controller's own
// event handlers: the circles button and Shift+C, and the camera that goes along with the
// selected person.
#include "controller/sim_ctrl_nimbra.h"

#include "scene/camera.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "tests/support/globe_fixture.h"
#include "tests/support/wait.h"
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
