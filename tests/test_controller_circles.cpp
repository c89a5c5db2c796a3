// The controller's circles without drawing: the friend graph fed by people and lines, the
// search for circles at most once a second, the two layouts and the glides between them, and
// on the SNAP file the line lengths of ego 107 against the order of arrival.
#include "controller/sim_ctrl_nimbra.h"

#include "scene/connection.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "tests/support/snap_ego.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// The user "0" and groups of friends ("1", "2", ...) who are friends within their group and
// seldom across, arriving as the acquisition brings them: people first, then the lines.
void planted_people(UTL_SimCtrlNimbra& c, int groups, int size, unsigned seed) {
    c.add_myself("0", "Me", "", "");
    c.create_friends_locators();
    const int n = groups * size;
    for (int i = 1; i <= n; ++i) {
        c.add_friend(std::to_string(i).c_str(), ("Friend " + std::to_string(i)).c_str(), "", "");
        c.create_friends_locators();
    }
    c.add_connections_for_myself();
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int a = 1; a <= n; ++a)
        for (int b = a + 1; b <= n; ++b)
            if (u(rng) < ((a - 1) / size == (b - 1) / size ? 0.4 : 0.01))
                c.add_connection(std::to_string(a).c_str(), std::to_string(b).c_str(), 0.4f, false);
}

// Frames of the circles' update only, until everything has settled (or the deadline passes).
bool settle(UTL_SimCtrlNimbra& c) {
    return wait_until([&] {
        c.update_circles(0.02f);
        return c.circles_settled();
    });
}

Math_Vector3 place_of(UTL_SimCtrlNimbra& c, const GFX_LocationHolder* h) {
    return c.compute_position(h->m_longitude, h->m_latitude);
}

// The mean distance between the balls of two friends (not the user's lines), in globe radii.
double mean_line(UTL_SimCtrlNimbra& c) {
    std::map<std::string, Math_Vector3> at;
    for (GFX_LocationHolder* h : c.m_loc_holders)
        if (auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h))
            at[hf->m_friend->m_uid] = place_of(c, h);
    double sum = 0;
    int n = 0;
    const UTL_FriendGraph& g = c.m_friend_graph;
    for (int a = 0; a < g.size(); ++a)
        for (int b : g.friends_of(a))
            if (a < b) {
                sum += (at[g.uid(a)] - at[g.uid(b)]).length() / c.get_radius();
                ++n;
            }
    return n ? sum / n : 0.0;
}

}  // namespace

TEST(ControllerCircles, TheFriendGraphLeavesTheUserOutAndWaitsForLatePeople) {
    UTL_SimCtrlNimbra c;
    c.add_myself("me", "Me", "", "");
    c.add_friend("a", "A", "", "");
    c.add_friend("b", "B", "", "");
    c.add_connections_for_myself();
    c.add_connection("a", "b", 0.4f, false);
    c.add_connection("b", "a", 0.4f, false);     // the same friendship again
    c.add_connection("a", "late", 0.4f, false);  // before "late" has arrived
    EXPECT_EQ(c.m_friend_graph.size(), 2);
    EXPECT_EQ(c.m_friend_graph.friendships(), 1) << "the user's lines are no friendships";
    c.add_friend("late", "Late", "", "");
    c.add_friend("a", "A again", "", "");  // a uid given twice is one person
    c.create_friends_locators();
    c.update_circles(0.02f);
    EXPECT_EQ(c.m_friend_graph.size(), 3);
    EXPECT_EQ(c.m_friend_graph.friendships(), 2) << "the pair that waited for its person";
    EXPECT_EQ(c.graph_person(c.m_friends[3]->m_person), c.m_friends[0]);
    EXPECT_EQ(c.m_myself->m_person, -1);

    ASSERT_TRUE(settle(c)) << "the circles were not found";
    for (GFX_Friend* f : c.m_friends) EXPECT_GE(f->m_circle, 0) << f->m_uid;
    EXPECT_EQ(c.m_myself->m_circle, -1);
    EXPECT_EQ(c.m_friends[0]->m_circle, c.m_friends[1]->m_circle);
}

TEST(ControllerCircles, ChangingTheLayoutGlidesEveryoneToEvenlySpreadPlaces) {
    UTL_SimCtrlNimbra c;
    planted_people(c, 4, 15, 2);
    const size_t n = c.m_loc_holders.size();
    ASSERT_TRUE(settle(c));
    EXPECT_EQ(c.m_circles.circles().size(), 4u);

    c.set_layout(UTL_SimCtrlNimbra::LAYOUT_CIRCLES);
    // Everyone sets off at once or as soon as the arrangement is found, and gets there.
    bool moved = false;
    ASSERT_TRUE(wait_until([&] {
        c.update_circles(0.02f);
        moved |= c.people_gliding();
        return moved && c.circles_settled();
    })) << "the arrangement by circles never arrived";

    std::vector<float> lon, lat;
    UTL_SimCtrlNimbra::spiral_places(n, lon, lat);
    std::set<size_t> used;
    for (GFX_LocationHolder* h : c.m_loc_holders) {
        size_t at = n;
        for (size_t i = 0; i < n; ++i)
            if (h->m_longitude == lon[i] && h->m_latitude == lat[i]) at = i;
        ASSERT_LT(at, n) << "a person who stopped between two places";
        used.insert(at);
    }
    EXPECT_EQ(used.size(), n) << "two people on one place";
    EXPECT_EQ(c.m_loc_holders[0]->m_latitude, lat[0]) << "the user keeps the north";

    const double spacing = std::sqrt(4.0 * M_PI / n) * c.get_radius();
    double closest = 1e30;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            closest = std::min(
                closest,
                double(
                    (place_of(c, c.m_loc_holders[i]) - place_of(c, c.m_loc_holders[j])).length()));
    EXPECT_GE(closest, 0.4 * spacing);

    // The friends of a circle sit together: a friend's nearest neighbour on the globe is
    // mostly of the same circle (by chance a quarter would be; regions of 15 have long borders).
    int same = 0;
    for (size_t i = 1; i < n; ++i) {
        size_t nearest = 0;
        double best = 1e30;
        for (size_t j = 1; j < n; ++j) {
            if (j == i) continue;
            const double d =
                (place_of(c, c.m_loc_holders[i]) - place_of(c, c.m_loc_holders[j])).length();
            if (d < best) best = d, nearest = j;
        }
        same += c.m_friends[i - 1]->m_circle == c.m_friends[nearest - 1]->m_circle;
    }
    EXPECT_GT(same, static_cast<int>(0.6 * (n - 1)));

    // Back to the order of arrival: holder i on place i of the spiral, after a glide that
    // takes about a second, not at once.
    c.set_layout(UTL_SimCtrlNimbra::LAYOUT_ARRIVAL);
    EXPECT_TRUE(c.people_gliding());
    for (int k = 0; k < 25; ++k) c.update_circles(0.02f);
    EXPECT_TRUE(c.people_gliding()) << "half a second in";
    ASSERT_TRUE(settle(c));
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(c.m_loc_holders[i]->m_longitude, lon[i]);
        EXPECT_EQ(c.m_loc_holders[i]->m_latitude, lat[i]);
    }
}

TEST(ControllerCircles, WhileFriendshipsArriveTheCirclesAreSoughtAtMostOnceASecond) {
    UTL_SimCtrlNimbra c;
    planted_people(c, 3, 10, 4);
    c.set_layout(UTL_SimCtrlNimbra::LAYOUT_CIRCLES);
    // A new friendship every frame for four seconds of frames.
    const int jobs = c.m_circle_jobs;
    int a = 1;
    for (int frame = 0; frame < 200; ++frame) {
        const int b = a % 30 + 1;
        c.add_connection(std::to_string(a).c_str(), std::to_string(b).c_str(), 0.4f, false);
        a = a % 30 + 1;
        c.update_circles(0.02f);
    }
    EXPECT_LE(c.m_circle_jobs - jobs, 5) << "four seconds of frames";
    EXPECT_GE(c.m_circle_jobs - jobs, 1);
    ASSERT_TRUE(settle(c)) << "the last friendships were never looked at";
    EXPECT_EQ(c.m_circles.graph_version(), c.m_friend_graph.version());
}

TEST(ControllerCircles, Ego107LinesAtMostHalfAsLongAsInArrivalOrderCardsListFriendsInCommon) {
    SnapEgo ego;
    if (!read_snap_ego(snap_file(), 107, ego))
        GTEST_SKIP() << snap_file() << " is not there (the SNAP file beside the repository)";
    UTL_SimCtrlNimbra c;
    c.add_myself("107", "Me", "", "");
    for (int f : ego.friends) c.add_friend(std::to_string(f).c_str(), "", "", "");
    c.create_friends_locators();
    c.add_connections_for_myself();
    for (const auto& [a, b] : ego.pairs)
        c.add_connection(std::to_string(a).c_str(), std::to_string(b).c_str(), 0.4f, false);
    ASSERT_TRUE(settle(c));
    const double arrival = mean_line(c);

    c.set_layout(UTL_SimCtrlNimbra::LAYOUT_CIRCLES);
    bool moved = false;
    ASSERT_TRUE(wait_until([&] {
        c.update_circles(0.02f);
        moved |= c.people_gliding();
        return moved && c.circles_settled();
    })) << "the arrangement by circles never arrived";
    const double circles = mean_line(c);
    EXPECT_GT(arrival, 1.2) << "the spiral in order of arrival is as long as chance";
    EXPECT_LE(circles, 0.5 * arrival) << circles << " against " << arrival;

    const size_t n = c.m_loc_holders.size();
    const double spacing = std::sqrt(4.0 * M_PI / n) * c.get_radius();
    std::vector<Math_Vector3> p;
    for (GFX_LocationHolder* h : c.m_loc_holders) p.push_back(place_of(c, h));
    double closest = 1e30;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            closest = std::min(closest, double((p[i] - p[j]).length()));
    EXPECT_GE(closest, 0.4 * spacing);

    // Each friend's card lists exactly their friends among the user's friends, as in the file.
    std::map<std::string, std::set<std::string>> among;
    for (const auto& [a, b] : ego.pairs) {
        among[std::to_string(a)].insert(std::to_string(b));
        among[std::to_string(b)].insert(std::to_string(a));
    }
    int wrong = 0;
    for (const GFX_Friend* f : c.m_friends) {
        std::set<std::string> listed;
        for (const GFX_Friend* g : c.common_friends(f)) listed.insert(g->m_uid);
        if (listed != among[f->m_uid] && ++wrong < 4) ADD_FAILURE() << "the card of " << f->m_uid;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(ControllerCircles, TheChainIsAShortestPathAvoidingTheUserAndLightsOnlyItsLines) {
    UTL_SimCtrlNimbra c;
    c.add_myself("0", "Me", "", "");
    for (int i = 1; i <= 8; ++i)
        c.add_friend(std::to_string(i).c_str(), ("F" + std::to_string(i)).c_str(), "", "");
    c.create_friends_locators();
    c.add_connections_for_myself();
    // Two ways from 1 to 4, the shorter through 5; 6 and 7 on their own; 8 alone.
    for (auto [a, b] : {std::pair<int, int>{1, 2}, {2, 3}, {3, 4}, {1, 5}, {5, 4}, {6, 7}})
        c.add_connection(std::to_string(a).c_str(), std::to_string(b).c_str(), 0.4f, false);
    auto person = [&](int i) { return c.m_friends[static_cast<size_t>(i - 1)]; };
    auto uids = [&] {
        std::string s;
        for (GFX_Friend* f : c.m_chain) s += (s.empty() ? "" : " ") + f->m_uid;
        return s;
    };
    auto lit = [&] {
        std::set<std::string> s;
        for (GFX_Connection* l : c.m_connections) {
            auto* cf = dynamic_cast<GFX_ConnectionFriends*>(l);
            if (cf->m_highlighted) s.insert(cf->m_uid1 + "-" + cf->m_uid2);
        }
        return s;
    };

    EXPECT_TRUE(c.show_chain(person(1), person(4)));
    EXPECT_TRUE(c.m_chain_shown);
    EXPECT_EQ(uids(), "1 5 4") << "not through the user, who knows everyone";
    EXPECT_EQ(lit(), (std::set<std::string>{"1-5", "5-4"}));
    EXPECT_EQ(uids(), (c.show_chain(person(1), person(4)), uids())) << "the same every time";
    EXPECT_TRUE(c.show_chain(person(4), person(2)));
    EXPECT_EQ(uids(), "4 3 2");

    EXPECT_FALSE(c.show_chain(person(1), person(6)));
    EXPECT_TRUE(c.m_chain_shown) << "shown, and empty: none joins them";
    EXPECT_TRUE(c.m_chain.empty());
    EXPECT_TRUE(lit().empty());
    EXPECT_FALSE(c.show_chain(person(8), person(7)));

    // With the user at one end, the chain is the user's own line.
    EXPECT_TRUE(c.show_chain(c.m_myself, person(3)));
    EXPECT_EQ(uids(), "0 3");
    EXPECT_EQ(lit(), std::set<std::string>{"0-3"});
}
