// The controller's model of the friend graph without a frame: key table, globe positions, the
// golden-angle layout and its reuse of locators, people, lines and the locator search.
#include "controller/sim_ctrl_nimbra.h"

#include "gfx/math.h"
#include "scene/billboard.h"
#include "scene/connection.h"
#include "scene/foto.h"
#include "scene/friend.h"
#include "scene/location_holder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

GFX_LocationHolderFriend* holder(UTL_SimCtrlNimbra& c, size_t i) {
    return dynamic_cast<GFX_LocationHolderFriend*>(c.m_loc_holders.at(i));
}

double deg(double rad) { return rad * 180.0 / M_PI; }

}  // namespace

TEST(Controller, KeyTableStoresOnlyCodesUpTo255) {
    UTL_SimCtrlNimbra c;
    c.key_down(300, 0);
    EXPECT_FALSE(c.get_key_status(300));
    for (bool k : c.m_key_states) EXPECT_FALSE(k);

    c.key_down(65, 0);
    EXPECT_TRUE(c.get_key_status(65));
    EXPECT_FALSE(c.get_key_status(66));
    c.key_up(65, 0);
    EXPECT_FALSE(c.get_key_status(65));
    c.key_up(300, 0);  // ignored, no out-of-range write
}

TEST(Controller, GlobePositionsFollowLongitudeAndLatitude) {
    UTL_SimCtrlNimbra c;
    EXPECT_FLOAT_EQ(c.get_radius(), 5555.5f);
    Math_Vector3 north = c.compute_position(0, 90);
    EXPECT_NEAR(north.m_x, 0, 0.01);
    EXPECT_NEAR(north.m_y, 5555.5, 0.01);
    EXPECT_NEAR(north.m_z, 0, 0.01);
    Math_Vector3 east = c.compute_position(90, 0);
    EXPECT_NEAR(east.m_x, 0, 0.01);
    EXPECT_NEAR(east.m_y, 0, 0.01);
    EXPECT_NEAR(east.m_z, 5555.5, 0.01);
    Math_Vector3 zero = c.compute_position(0, 0);
    EXPECT_NEAR(zero.m_x, 5555.5, 0.01);
    Math_Vector3 south = c.compute_position(-45, -90);
    EXPECT_NEAR(south.m_y, -5555.5, 0.01);
}

TEST(Controller, LayoutOfNobodyAndOfTheUserAlone) {
    UTL_SimCtrlNimbra c;
    c.create_friends_locators();
    EXPECT_TRUE(c.m_loc_holders.empty());

    c.add_myself("1", "Me", "", "");
    c.create_friends_locators();
    ASSERT_EQ(c.m_loc_holders.size(), 1u);
    GFX_LocationHolderFriend* me = holder(c, 0);
    ASSERT_NE(me, nullptr);
    EXPECT_EQ(me->m_friend, c.m_myself);
    EXPECT_NEAR(me->m_longitude, 0, 1e-4);
    EXPECT_NEAR(me->m_latitude, 0, 1e-4);
    EXPECT_TRUE(me->m_selected);
    EXPECT_FLOAT_EQ(me->m_billboard->m_width, 2250);
    EXPECT_FLOAT_EQ(me->m_billboard->m_height, 2250);
    EXPECT_FLOAT_EQ(me->m_ball_size, 100);
    EXPECT_NEAR(me->m_position.m_x, 5555.5, 0.1);
}

TEST(Controller, LayoutOfUserAndFriendsReusesLocators) {
    UTL_SimCtrlNimbra c;
    c.add_myself("1", "Me", "", "");
    c.add_friend("2", "Ann", "", "");
    c.add_friend("3", "Bob", "", "");
    c.create_friends_locators();
    ASSERT_EQ(c.m_loc_holders.size(), 3u);

    const double lat0 = 90 - deg(std::acos(2.0 / 3.0));
    EXPECT_NEAR(holder(c, 0)->m_latitude, lat0, 1e-3);
    EXPECT_NEAR(holder(c, 1)->m_latitude, 0, 1e-3);
    EXPECT_NEAR(holder(c, 2)->m_latitude, -lat0, 1e-3);
    EXPECT_NEAR(holder(c, 0)->m_longitude, 0, 1e-3);
    EXPECT_NEAR(holder(c, 1)->m_longitude, 137.5078, 1e-2);
    EXPECT_NEAR(holder(c, 2)->m_longitude, 275.0155 - 360, 1e-2);
    EXPECT_EQ(holder(c, 1)->m_friend, c.m_friends[0]);
    EXPECT_EQ(holder(c, 2)->m_friend, c.m_friends[1]);
    EXPECT_FALSE(holder(c, 1)->m_selected);
    EXPECT_FLOAT_EQ(holder(c, 2)->m_billboard->m_width, 750);

    // A new friend appends exactly one locator and moves the others without recreating them.
    GFX_LocationHolder* first = c.m_loc_holders[0];
    GFX_LocationHolder* second = c.m_loc_holders[1];
    const float old_lat = second->m_latitude;
    c.add_friend("4", "Cid", "", "");
    c.create_friends_locators();
    ASSERT_EQ(c.m_loc_holders.size(), 4u);
    EXPECT_EQ(c.m_loc_holders[0], first);
    EXPECT_EQ(c.m_loc_holders[1], second);
    EXPECT_NE(second->m_latitude, old_lat);
    EXPECT_EQ(holder(c, 3)->m_friend, c.m_friends[2]);
    EXPECT_NEAR(holder(c, 0)->m_latitude, 90 - deg(std::acos(1 - 1.0 / 4)), 1e-3);
}

TEST(Controller, LayoutWithoutUserStartsWithFirstFriend) {
    UTL_SimCtrlNimbra c;
    for (int i = 0; i < 5; ++i) c.add_friend(std::to_string(i).c_str(), "F", "", "");
    c.create_friends_locators();
    ASSERT_EQ(c.m_loc_holders.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(holder(c, i)->m_friend, c.m_friends[i]);
        EXPECT_FALSE(holder(c, i)->m_selected);
        EXPECT_GT(holder(c, i)->m_longitude, -180.0f);
        EXPECT_LE(holder(c, i)->m_longitude, 180.0f);
    }
    EXPECT_GT(holder(c, 0)->m_latitude, 0);
    EXPECT_LT(holder(c, 4)->m_latitude, 0);
}

TEST(Controller, MissingPictureAddressesShowTheQuestionMark) {
    UTL_SimCtrlNimbra c;
    c.add_friend("2", "Ann", "", nullptr);
    c.add_friend("3", "Bob", "http://x/b.jpg", "http://x/b_q.jpg");
    GFX_Friend* ann = c.m_friends[0];
    EXPECT_FALSE(ann->m_has_foto);
    EXPECT_FALSE(ann->m_has_foto_square);
    EXPECT_EQ(ann->m_foto->m_url, "./data/config/question.tga");
    EXPECT_EQ(ann->m_foto_square->m_url, "./data/config/question.tga");
    GFX_Friend* bob = c.m_friends[1];
    EXPECT_TRUE(bob->m_has_foto);
    EXPECT_EQ(bob->m_foto->m_url, "http://x/b.jpg");
    EXPECT_EQ(bob->m_foto_square->m_url, "http://x/b_q.jpg");
    EXPECT_STREQ(c.get_friend_id(1), "3");
    EXPECT_STREQ(c.get_friend_id(2), "");
    EXPECT_STREQ(c.get_friend_id(-1), "");
}

TEST(Controller, FindLocatorsLeavesUnknownUidsUntouched) {
    UTL_SimCtrlNimbra c;
    c.add_myself("1", "Me", "", "");
    c.add_friend("2", "Ann", "", "");
    c.add_friend("3", "Bob", "", "");
    c.create_friends_locators();

    GFX_LocationHolderFriend* a = nullptr;
    GFX_LocationHolderFriend* b = nullptr;
    c.find_locators("3", "1", &a, &b);
    EXPECT_EQ(a, holder(c, 2));
    EXPECT_EQ(b, holder(c, 0));

    auto* sentinel = reinterpret_cast<GFX_LocationHolderFriend*>(&c);
    a = sentinel;
    b = nullptr;
    c.find_locators("99", "2", &a, &b);
    EXPECT_EQ(a, sentinel);
    EXPECT_EQ(b, holder(c, 1));
    c.find_locators(nullptr, nullptr, nullptr, nullptr);
}

TEST(Controller, UserLinesAndHighlighting) {
    UTL_SimCtrlNimbra c;
    c.add_connections_for_myself();  // no user yet: nothing
    EXPECT_TRUE(c.m_connections.empty());

    c.add_myself("1", "Me", "", "");
    c.add_friend("2", "Ann", "", "");
    c.add_friend("3", "Bob", "", "");
    c.add_connections_for_myself();
    c.add_connection("2", "3", 0.3f, false);
    ASSERT_EQ(c.m_connections.size(), 3u);
    auto* first = dynamic_cast<GFX_ConnectionFriends*>(c.m_connections[0]);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->m_uid1, "1");
    EXPECT_EQ(first->m_uid2, "2");
    EXPECT_FLOAT_EQ(first->m_alpha, 0.15f);
    EXPECT_TRUE(first->m_highlighted);
    EXPECT_EQ(first->m_color, c.m_color_theme.m_connection_color);

    c.set_connections_highlighted(false);
    for (GFX_Connection* l : c.m_connections)
        EXPECT_FALSE(dynamic_cast<GFX_ConnectionFriends*>(l)->m_highlighted);
    c.clear_connections();
    EXPECT_TRUE(c.m_connections.empty());
}

// The user arrives twice: the locator that showed the first user must show the second at once,
// and the first must stay valid for whatever still borrows it (a dock thumbnail).
TEST(Controller, RepeatedUserLeavesNothingDangling) {
    UTL_SimCtrlNimbra c;
    c.add_myself("1", "Me", "", "");
    c.add_friend("2", "Ann", "", "");
    c.create_friends_locators();
    GFX_Friend* old_me = c.m_myself;

    c.add_myself("1", "Me again", "http://x/me.jpg", "");
    EXPECT_NE(c.m_myself, old_me);
    EXPECT_EQ(holder(c, 0)->m_friend, c.m_myself);
    ASSERT_EQ(c.m_retired_friends.size(), 1u);
    EXPECT_EQ(c.m_retired_friends[0], old_me);
    EXPECT_EQ(old_me->m_name, "Me");  // still a live object

    c.create_friends_locators();
    EXPECT_EQ(c.m_loc_holders.size(), 2u);
    EXPECT_EQ(holder(c, 0)->m_friend, c.m_myself);
    c.clear_scene();
    EXPECT_TRUE(c.m_retired_friends.empty());
    EXPECT_EQ(c.m_myself, nullptr);
}

TEST(Controller, PositionColourIsClampedAndNeverNaN) {
    UTL_SimCtrlNimbra c;
    Math_Vector3 p(5555.5f, 0.0f, -5555.5f), col;
    c.position_to_color(p, col);
    EXPECT_FLOAT_EQ(col.m_x, 1.0f);
    EXPECT_NEAR(col.m_y, 0.5f, 1e-6);
    EXPECT_FLOAT_EQ(col.m_z, 0.0f);
    Math_Vector3 q(2777.75f, NAN, -1e30f);
    c.position_to_color(q, col);
    EXPECT_NEAR(col.m_x, 0.875f, 1e-4);
    EXPECT_EQ(col.m_y, 0.0f);
    EXPECT_EQ(col.m_z, 0.0f);
}
