// The friend graph, its circles, their arrangement on the globe and the worker that finds them:
// properties that must hold for any graph, on planted groups, random graphs and the SNAP file.
#include "service/circle_layout.h"
#include "service/circle_worker.h"
#include "service/circles.h"
#include "service/friend_graph.h"
#include "tests/support/snap_ego.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// People and friendships added in the order given.
UTL_FriendGraph build(const std::vector<std::string>& people, const Pairs& pairs) {
    UTL_FriendGraph g;
    for (const std::string& uid : people) g.add_person(uid);
    for (const auto& [a, b] : pairs) g.add_friendship(g.find(a), g.find(b));
    return g;
}

// Groups of people ("g<group>-<i>") with friendships likely inside a group and rare between
// groups, and a few people with no friendship at all ("alone-<i>").
struct Planted {
    std::vector<std::string> people;
    Pairs pairs;
    std::map<std::string, int> group;  // -1 for the people alone
};

Planted planted(int groups, int size, int alone, unsigned seed) {
    Planted p;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int g = 0; g < groups; ++g)
        for (int i = 0; i < size; ++i) {
            const std::string uid = "g" + std::to_string(g) + "-" + std::to_string(i);
            p.people.push_back(uid);
            p.group[uid] = g;
        }
    for (size_t a = 0; a < p.people.size(); ++a)
        for (size_t b = a + 1; b < p.people.size(); ++b) {
            const bool same = p.group[p.people[a]] == p.group[p.people[b]];
            if (u(rng) < (same ? 0.5 : 0.01)) p.pairs.emplace_back(p.people[a], p.people[b]);
        }
    for (int i = 0; i < alone; ++i) {
        p.people.push_back("alone-" + std::to_string(i));
        p.group[p.people.back()] = -1;
    }
    return p;
}

// The circles as sets of uids, in their order.
std::vector<std::vector<std::string>> by_uid(const UTL_FriendGraph& g, const UTL_Circles& c) {
    std::vector<std::vector<std::string>> out;
    for (const UTL_Circle& circle : c.circles()) {
        std::vector<std::string> uids;
        for (int p : circle.m_members) uids.push_back(g.uid(p));
        std::sort(uids.begin(), uids.end());
        out.push_back(uids);
    }
    return out;
}

// n evenly spread places: the golden-angle spiral from pole to pole.
std::vector<UTL_CircleLayout::Point> spiral(int n) {
    std::vector<UTL_CircleLayout::Point> out;
    for (int i = 0; i < n; ++i) {
        const double z = 1.0 - (2.0 * i + 1.0) / n, r = std::sqrt(1.0 - z * z);
        const double phi = i * 2.3999631;
        out.push_back({r * std::cos(phi), z, r * std::sin(phi)});
    }
    return out;
}

double distance(const UTL_CircleLayout::Point& a, const UTL_CircleLayout::Point& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

// Breadth-first distances from one person, written plainly: what a chain must agree with.
std::vector<int> distances(const UTL_FriendGraph& g, int from) {
    std::vector<int> d(static_cast<size_t>(g.size()), -1);
    std::deque<int> queue{from};
    d[static_cast<size_t>(from)] = 0;
    while (!queue.empty()) {
        const int p = queue.front();
        queue.pop_front();
        for (int f : g.friends_of(p))
            if (d[static_cast<size_t>(f)] < 0) {
                d[static_cast<size_t>(f)] = d[static_cast<size_t>(p)] + 1;
                queue.push_back(f);
            }
    }
    return d;
}

}  // namespace

TEST(FriendGraph, CountsEachFriendshipOnceAndRefusesWhatIsNoPair) {
    UTL_FriendGraph g;
    EXPECT_EQ(g.add_person("a"), 0);
    EXPECT_EQ(g.add_person("b"), 1);
    EXPECT_EQ(g.add_person("c"), 2);
    EXPECT_EQ(g.add_person("a"), 0) << "a known uid keeps its number";
    const auto version = g.version();
    EXPECT_TRUE(g.add_friendship(0, 1));
    EXPECT_NE(g.version(), version);
    EXPECT_FALSE(g.add_friendship(1, 0)) << "the same pair the other way round";
    EXPECT_FALSE(g.add_friendship(2, 2));
    EXPECT_FALSE(g.add_friendship(0, 3));
    EXPECT_FALSE(g.add_friendship(-1, 0));
    EXPECT_EQ(g.friendships(), 1);
    EXPECT_TRUE(g.are_friends(1, 0));
    EXPECT_FALSE(g.are_friends(0, 2));
    EXPECT_FALSE(g.are_friends(0, 7));
    EXPECT_EQ(g.friends_of(0), std::vector<int>{1});
    EXPECT_EQ(g.find("c"), 2);
    EXPECT_EQ(g.find("nobody"), -1);
}

TEST(FriendGraph, ShortestChainIsAShortestPathTheSameWhateverTheOrder) {
    // A sparse random graph: several pieces, many pairs without any chain.
    std::mt19937 rng(3);
    std::vector<std::string> people;
    for (int i = 0; i < 200; ++i) people.push_back("p" + std::to_string(i));
    Pairs pairs;
    std::uniform_int_distribution<int> pick(0, 199);
    for (int k = 0; k < 230; ++k) pairs.emplace_back(people[pick(rng)], people[pick(rng)]);
    const UTL_FriendGraph g = build(people, pairs);

    std::vector<std::string> people2 = people;
    Pairs pairs2 = pairs;
    std::shuffle(people2.begin(), people2.end(), rng);
    std::shuffle(pairs2.begin(), pairs2.end(), rng);
    for (auto& [a, b] : pairs2)
        if (rng() % 2) std::swap(a, b);
    const UTL_FriendGraph g2 = build(people2, pairs2);

    int joined = 0, apart = 0;
    for (int from = 0; from < g.size(); from += 7) {
        const std::vector<int> d = distances(g, from);
        for (int to = 0; to < g.size(); to += 3) {
            const std::vector<int> chain = g.shortest_chain(from, to);
            if (d[static_cast<size_t>(to)] < 0) {
                EXPECT_TRUE(chain.empty()) << from << " to " << to << " are not joined";
                ++apart;
                continue;
            }
            ++joined;
            ASSERT_EQ(static_cast<int>(chain.size()), d[static_cast<size_t>(to)] + 1);
            EXPECT_EQ(chain.front(), from);
            EXPECT_EQ(chain.back(), to);
            for (size_t k = 1; k < chain.size(); ++k)
                EXPECT_TRUE(g.are_friends(chain[k - 1], chain[k]));
            // The other graph numbers people differently; the chain's people are the same.
            const std::vector<int> chain2 =
                g2.shortest_chain(g2.find(g.uid(from)), g2.find(g.uid(to)));
            ASSERT_EQ(chain2.size(), chain.size());
            for (size_t k = 0; k < chain.size(); ++k) EXPECT_EQ(g2.uid(chain2[k]), g.uid(chain[k]));
        }
    }
    EXPECT_GT(joined, 100);
    EXPECT_GT(apart, 100);
    EXPECT_EQ(g.shortest_chain(5, 5), std::vector<int>{5});
    EXPECT_TRUE(g.shortest_chain(0, 200).empty());
    EXPECT_TRUE(g.shortest_chain(-1, 0).empty());
}

TEST(Circles, EveryFriendInExactlyOneCircleNamedAfterItsBestConnected) {
    const Planted p = planted(4, 25, 3, 11);
    const UTL_FriendGraph g = build(p.people, p.pairs);
    const UTL_Circles c = UTL_Circles::find(g);

    std::vector<int> seen(static_cast<size_t>(g.size()), 0);
    for (size_t k = 0; k < c.circles().size(); ++k)
        for (int person : c.circles()[k].m_members) {
            ++seen[static_cast<size_t>(person)];
            EXPECT_EQ(c.circle_of(person), static_cast<int>(k));
        }
    for (int person = 0; person < g.size(); ++person)
        EXPECT_EQ(seen[static_cast<size_t>(person)], 1) << g.uid(person);

    // The planted groups come back as they were, largest first, the people alone last.
    ASSERT_EQ(c.circles().size(), 5u);
    for (size_t k = 0; k + 1 < c.circles().size(); ++k) {
        const UTL_Circle& circle = c.circles()[k];
        EXPECT_FALSE(circle.alone());
        EXPECT_EQ(circle.size(), 25);
        const int group = p.group.at(g.uid(circle.m_members.front()));
        for (int person : circle.m_members) EXPECT_EQ(p.group.at(g.uid(person)), group);
        // The namesake has the most friends in the circle.
        auto inside = [&](int person) {
            int n = 0;
            for (int f : g.friends_of(person)) n += c.circle_of(f) == static_cast<int>(k);
            return n;
        };
        for (int person : circle.m_members) EXPECT_LE(inside(person), inside(circle.m_namesake));
    }
    EXPECT_TRUE(c.circles().back().alone());
    EXPECT_EQ(c.circles().back().size(), 3);
    EXPECT_EQ(c.circles().back().m_namesake, -1);
    EXPECT_EQ(c.circle_of(g.size()), -1);

    EXPECT_TRUE(UTL_Circles::find(UTL_FriendGraph()).circles().empty());
}

TEST(Circles, TheSameCirclesEveryRunWhateverOrderThePeopleArrive) {
    SnapEgo ego;
    std::vector<std::string> people;
    Pairs pairs;
    if (read_snap_ego(snap_file(), 107, ego)) {
        for (int f : ego.friends) people.push_back(std::to_string(f));
        for (const auto& [a, b] : ego.pairs)
            pairs.emplace_back(std::to_string(a), std::to_string(b));
    } else {
        // Without the SNAP file beside the repository, planted groups with fuzzy edges.
        const Planted p = planted(6, 40, 5, 5);
        people = p.people;
        pairs = p.pairs;
    }
    const UTL_FriendGraph g = build(people, pairs);
    const auto first = by_uid(g, UTL_Circles::find(g));
    EXPECT_EQ(by_uid(g, UTL_Circles::find(g)), first) << "a second run";

    std::mt19937 rng(9);
    std::shuffle(people.begin(), people.end(), rng);
    std::shuffle(pairs.begin(), pairs.end(), rng);
    const UTL_FriendGraph shuffled = build(people, pairs);
    EXPECT_EQ(by_uid(shuffled, UTL_Circles::find(shuffled)), first) << "another order of arrival";
    EXPECT_GT(first.size(), 3u) << "a network of that size has a few circles";
}

TEST(CircleLayout, EachCircleOnOneRegionOnePersonPerPlaceLinesShorter) {
    const Planted p = planted(5, 40, 4, 21);
    const UTL_FriendGraph g = build(p.people, p.pairs);
    const UTL_Circles c = UTL_Circles::find(g);
    const int n = g.size() + 1;  // with the user's place, left free
    const std::vector<UTL_CircleLayout::Point> places = spiral(n);
    const std::vector<int> place_of = UTL_CircleLayout::arrange(g, c, places, 1);
    ASSERT_EQ(static_cast<int>(place_of.size()), g.size());
    EXPECT_EQ(UTL_CircleLayout::arrange(g, c, places, 1), place_of) << "the same every time";

    std::set<int> used(place_of.begin(), place_of.end());
    EXPECT_EQ(static_cast<int>(used.size()), g.size()) << "one person per place";
    EXPECT_EQ(used.count(0), 0u) << "the reserved place stays free";
    EXPECT_EQ(*used.rbegin(), n - 1);

    // A circle's places hang together: from any of them each other is reached in steps to a
    // place of the circle at most twice the spacing away.
    const double step = 2.0 * std::sqrt(4.0 * M_PI / n);
    for (const UTL_Circle& circle : c.circles()) {
        std::set<int> reached{circle.m_members.front()};
        std::vector<int> todo{circle.m_members.front()};
        while (!todo.empty()) {
            const int a = todo.back();
            todo.pop_back();
            for (int b : circle.m_members)
                if (!reached.count(b) &&
                    distance(places[static_cast<size_t>(place_of[static_cast<size_t>(a)])],
                             places[static_cast<size_t>(place_of[static_cast<size_t>(b)])]) <=
                        step) {
                    reached.insert(b);
                    todo.push_back(b);
                }
        }
        EXPECT_EQ(static_cast<int>(reached.size()), circle.size()) << "a circle in pieces";
    }

    std::vector<int> arrival(static_cast<size_t>(g.size()));
    for (int i = 0; i < g.size(); ++i) arrival[static_cast<size_t>(i)] = i + 1;
    const double by_arrival = UTL_CircleLayout::mean_line_length(g, arrival, places);
    const double by_circles = UTL_CircleLayout::mean_line_length(g, place_of, places);
    // Within a planted group everyone is as likely a friend of everyone: only the regions
    // shorten the lines here (ego networks, with circles within circles, go further).
    EXPECT_LT(by_circles, 0.75 * by_arrival);

    EXPECT_TRUE(UTL_CircleLayout::arrange(g, c, spiral(n - 1), 1).empty()) << "too few places";
}

TEST(CircleWorker, HandsOverTheResultOfTheNewestJob) {
    const Planted small = planted(3, 20, 0, 1), large = planted(4, 30, 2, 2);
    UTL_CircleJob a, b;
    a.m_graph = build(small.people, small.pairs);
    b.m_graph = build(large.people, large.pairs);
    b.m_arrange = true;
    b.m_places = spiral(b.m_graph.size() + 1);
    b.m_reserved = 1;
    const UTL_CircleResult expected = UTL_CircleWorker::compute(b);

    UTL_CircleWorker worker;
    UTL_CircleResult got;
    EXPECT_FALSE(worker.take(got));
    worker.submit(a);
    worker.submit(b);
    // The first job may or may not have started before the second replaced it; the result
    // taken last is the second's.
    ASSERT_TRUE(wait_until([&] {
        UTL_CircleResult r;
        while (worker.take(r)) got = std::move(r);
        return !worker.busy() && got.m_circles.people() == b.m_graph.size();
    })) << "the worker did not finish the second job";
    EXPECT_TRUE(got.m_arranged);
    EXPECT_EQ(got.m_place_of, expected.m_place_of);
    EXPECT_EQ(by_uid(b.m_graph, got.m_circles), by_uid(b.m_graph, expected.m_circles));

    // A worker destroyed with a job waiting neither hangs nor crashes.
    UTL_CircleWorker leaving;
    leaving.submit(b);
}
