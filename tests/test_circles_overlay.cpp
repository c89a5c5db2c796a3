// The circles as a user meets them in the overlay, frame by frame through the controller's own
// event handlers: the circles button and Shift+C, the camera that goes along with the selected
// person, the legend and the circles' hues on balls and lines, and frames that shrink when
// people are many, the card of the selected person and the chain.
#include "controller/sim_ctrl_nimbra.h"

#include "scene/billboard.h"
#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "tests/support/globe_fixture.h"
#include "tests/support/wait.h"
#include "widgets/circle_legend.h"
#include "widgets/person_card.h"
#include "widgets/round_button.h"
#include "widgets/search_field.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
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

TEST(CirclesOverlay, FramesShrinkWithTheCrowdTheSelectedAndThePointedKeepTheirSize) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    auto sizes = [&] {
        std::set<float> s;
        for (GFX_LocationHolder* h : c.m_loc_holders)
            if (!h->m_selected) s.insert(h->m_billboard->m_width);
        return s;
    };
    g.people(250);
    g.frame();
    EXPECT_EQ(sizes(), std::set<float>{750.0f}) << "a few hundred people keep the full size";

    for (int i = 251; i < 1000; ++i)
        c.add_friend(std::to_string(i).c_str(), ("Friend " + std::to_string(i)).c_str(), "", "");
    c.create_friends_locators();
    c.mouse_moved(2, H - 2, 0, 0, 0);  // the pointer on no one
    g.frame();
    const std::set<float> crowd = sizes();
    ASSERT_EQ(crowd.size(), 1u);
    const float size = *crowd.begin();
    EXPECT_LT(size, 450.0f);
    EXPECT_GT(size, 300.0f);
    EXPECT_EQ(c.m_loc_holders[0]->m_billboard->m_width, 2250.0f) << "the selected user";

    // Neighbours on the globe lie further apart than three quarters of a frame: they overlap by
    // a quarter of a frame at most (the frames sit beside their balls the same way round).
    double closest = 1e30;
    for (size_t i = 0; i < c.m_loc_holders.size(); ++i)
        for (size_t j = i + 1; j < c.m_loc_holders.size(); ++j)
            closest = std::min(
                closest,
                double((c.m_loc_holders[i]->m_position - c.m_loc_holders[j]->m_position).length()));
    EXPECT_GE(closest, 0.75 * size);

    // The person under the pointer is shown at the full size, and goes back when it leaves.
    GFX_LocationHolder* h = g.front_holder(nullptr, 150, 130, W - 150, H - 150);
    ASSERT_NE(h, nullptr);
    const Math_Vector3 at = g.billboard_centre(h);
    c.mouse_moved(static_cast<int>(at.m_x), static_cast<int>(at.m_y), 0, 0, 0);
    g.frame();
    ASSERT_EQ(c.m_pointed_holder, h);
    EXPECT_EQ(h->m_billboard->m_width, 750.0f);
    c.mouse_moved(2, H - 2, 0, 0, 0);
    g.frame();
    EXPECT_EQ(h->m_billboard->m_width, size);

    // A click selects as ever: the person's frame is the large one.
    g.click(static_cast<int>(at.m_x), static_cast<int>(at.m_y));
    EXPECT_EQ(c.m_selected_holder, h);
    EXPECT_EQ(h->m_billboard->m_width, 2250.0f);
    EXPECT_EQ(c.m_loc_holders[0]->m_billboard->m_width, size);
}

TEST(CirclesOverlay, TheCardListsFriendsInCommonSearchesThemAndLinksToThem) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    const char* names[] = {"Hub",     "Åsa Öberg", "Ola Berg", "Zoë Ñúñez",
                           "Bo Lind", "Ann Ek",    "Far Away", "Alone"};
    c.add_myself("0", "Me", "", "");
    for (int i = 1; i <= 8; ++i) c.add_friend(std::to_string(i).c_str(), names[i - 1], "", "");
    c.create_friends_locators();
    c.add_connections_for_myself();
    // The hub (1) is friends with 2 to 6; 6 and 7 are friends; 8 has no friend in common.
    for (auto [a, b] : {std::pair<int, int>{1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {6, 7}})
        c.add_connection(std::to_string(a).c_str(), std::to_string(b).c_str(), 0.4f, false);
    g.frame();
    GFX_PersonCard& card = *c.m_person_card;
    EXPECT_FALSE(card.shown()) << "the user, selected at the start, has no card";
    c.show_chain(c.m_myself, c.m_friends[2]);
    g.frame();
    EXPECT_EQ(card.person(), c.m_myself) << "but for a chain from the user";
    EXPECT_EQ(card.common().size(), 8u) << "every friend of the user";

    auto uids = [](const std::vector<GFX_Friend*>& people) {
        std::set<std::string> s;
        for (GFX_Friend* f : people) s.insert(f->m_uid);
        return s;
    };
    c.select_friend(c.m_friends[0]);
    g.frame();
    ASSERT_EQ(card.person(), c.m_friends[0]);
    EXPECT_EQ(uids(card.common()), (std::set<std::string>{"2", "3", "4", "5", "6"}));
    c.select_friend(c.m_friends[7]);
    g.frame();
    EXPECT_TRUE(card.common().empty());
    c.select_friend(c.m_friends[0]);
    g.frame();

    // The filter takes the keys once clicked, with the search box's folding.
    const float filter_y = card.m_top - 80 - GFX_PersonCard::kRowHeight - 13;
    g.click(static_cast<int>(card.m_left + 40), static_cast<int>(filter_y));
    ASSERT_TRUE(card.focused());
    for (char ch : std::string("OBER")) g.key(static_cast<unsigned int>(ch));
    EXPECT_FALSE(c.m_search_field->is_open()) << "the keys went to the card";
    ASSERT_EQ(card.listed().size(), 1u);
    EXPECT_EQ(card.listed()[0]->m_name, "Åsa Öberg");
    g.key(8);
    g.key(8);
    g.key(8);
    EXPECT_EQ(uids(card.listed()), (std::set<std::string>{"2", "3"})) << "'o': Öberg and Ola";
    g.key(27);
    EXPECT_FALSE(card.focused());
    EXPECT_EQ(card.listed().size(), 5u);

    // A click on a name selects that person.
    GFX_Friend* third = card.listed()[2];
    const float row_y =
        card.m_top - 80 - GFX_PersonCard::kRowHeight - 26 - 4 - 2.5f * GFX_PersonCard::kRowHeight;
    ASSERT_EQ(card.person_at(card.m_left + 40, row_y), third);
    g.click(static_cast<int>(card.m_left + 40), static_cast<int>(row_y));
    EXPECT_EQ(c.selected_friend(), third);
    EXPECT_EQ(card.person(), third);
    EXPECT_FALSE(c.m_dragging) << "the card is not the globe";

    // Shift+click on another person shows the chain from the one selected; the selection
    // stays, and a new selection takes the chain away.
    GFX_LocationHolder* far = nullptr;
    for (GFX_LocationHolder* h : c.m_loc_holders)
        if (dynamic_cast<GFX_LocationHolderFriend*>(h)->m_friend->m_name == "Far Away") far = h;
    ASSERT_NE(far, nullptr);
    c.m_camera->set_left_right(far->m_longitude);
    c.m_camera->set_up_down(far->m_latitude);
    c.m_cam_transition = false;
    g.frame();
    const Math_Vector3 at = g.billboard_centre(far);
    c.mouse_moved(static_cast<int>(at.m_x), static_cast<int>(at.m_y), 0, 0, 0);
    c.mouse_down(static_cast<int>(at.m_x), static_cast<int>(at.m_y), UTL_SimCtrlNimbra::KEY_SHIFT);
    c.mouse_up(static_cast<int>(at.m_x), static_cast<int>(at.m_y), UTL_SimCtrlNimbra::KEY_SHIFT);
    g.frame();
    EXPECT_EQ(c.selected_friend(), third);
    ASSERT_TRUE(card.chain_shown());
    ASSERT_EQ(card.chain().size(), 4u) << third->m_name << ", Hub, Ann Ek, Far Away";
    EXPECT_EQ(card.chain().back()->m_name, "Far Away");
    c.select_friend(c.m_friends[7]);
    g.frame();
    EXPECT_FALSE(card.chain_shown());
    EXPECT_FALSE(c.m_chain_shown);

    // The person with no friend in common: no chain at all, and the card says so.
    c.show_chain(c.m_friends[7], c.m_friends[0]);
    g.frame();
    EXPECT_TRUE(card.chain_shown());
    EXPECT_TRUE(card.chain().empty());
}
