// Mastodon test fixtures: a federated network over three servers of the tests' own with every
// case the source must get right, and a fixture with a recording target, the test's clock (moved
// with the servers' clocks) and the check of the exact network.
#pragma once

#include "sources/mastodon_source.h"
#include "tests/support/acquisition_fixtures.h"
#include "tests/support/mastodon_server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

inline std::string account(const char* prefix, int i, const char* domain) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%02d@%s", prefix, i, domain);
    return text;
}

// The friends whose lists cannot be read: two who hide them, and the two on gamma.test, which
// refuses anonymous reads.
inline std::set<std::string> unread_friends() {
    return {"a03@alpha.test", "b04@beta.test", "c00@gamma.test", "c01@gamma.test"};
}

// me@alpha.test and 26 friends: a00..a11 on alpha.test, b00..b11 on beta.test (whose server
// runs on social.beta.test, so they are found by WebFinger), c00 and c01 on gamma.test. a03 and
// b04 hide their lists. Friends follow each other in a pattern, one way and both ways, across
// the servers and among beta.test's own accounts (lines alpha.test knows nothing of). me follows
// 60 accounts that do not follow back and is followed by 60 it does not follow, so both its
// lists come in two pages, as do the following of a00 and b00 (100 more accounts each).
inline void build(TestFediverse& w) {
    w.add({"me@alpha.test", "Maya", "png", false});
    std::vector<std::string> friends;
    for (int i = 0; i < 12; ++i) friends.push_back(account("a", i, "alpha.test"));
    for (int i = 0; i < 12; ++i) friends.push_back(account("b", i, "beta.test"));
    for (int i = 0; i < 2; ++i) friends.push_back(account("c", i, "gamma.test"));
    for (size_t k = 0; k < friends.size(); ++k) {
        const std::string& uid = friends[k];
        const bool hidden = uid == "a03@alpha.test" || uid == "b04@beta.test";
        w.add({uid, k % 3 == 0 ? "" : "Friend " + std::to_string(k),
               k % 3 == 1   ? "png"
               : k % 3 == 2 ? "gif"
                            : "",
               hidden});
        w.follow("me@alpha.test", uid);
        w.follow(uid, "me@alpha.test");
    }
    for (int i = 0; i < 60; ++i) {
        w.add({account("x", i, "alpha.test"), "", "", false});
        w.follow("me@alpha.test", account("x", i, "alpha.test"));  // one way: not a friend
        w.add({account("p", i, "beta.test"), "", "", false});
        w.follow(account("p", i, "beta.test"), "me@alpha.test");  // one way: not a friend
    }
    const size_t n = friends.size();
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i + 1; j < n; ++j) {
            if ((i * 7 + j * 3) % 5 == 0) {
                w.follow(friends[i], friends[j]);
                w.follow(friends[j], friends[i]);
            } else if ((i + j) % 4 == 1) {
                w.follow(friends[i], friends[j]);  // one way: no line
            }
        }
    }
    // Followed last, so the newest first fill a page and the friends come on the next.
    for (int i = 0; i < 100; ++i) {
        w.add({account("z", i, "beta.test"), "", "", false});
        w.follow("a00@alpha.test", account("z", i, "beta.test"));
        w.follow("b00@beta.test", account("z", i, "beta.test"));
    }
    // Lines a client that reads beta.test's accounts on alpha.test would miss, and lines of
    // the friends who cannot be read, which come from the other side.
    for (const auto& [a, b] : std::vector<std::pair<const char*, const char*>>{
             {"b01@beta.test", "b02@beta.test"},
             {"a03@alpha.test", "a05@alpha.test"},
             {"a03@alpha.test", "b06@beta.test"},
             {"b04@beta.test", "a07@alpha.test"},
             {"c00@gamma.test", "a01@alpha.test"},
             {"c01@gamma.test", "b02@beta.test"},
             {"a03@alpha.test", "b04@beta.test"},  // both unread: nobody can know it
             {"c00@gamma.test", "c01@gamma.test"}}) {
        w.follow(a, b);
        w.follow(b, a);
    }
}

struct MastodonFixture {
    TestFediverse world;
    TestMastodon alpha;
    TestMastodon beta;
    TestMastodon gamma;
    RecordingTarget target;
    FakeClock clock;

    // limit: requests each server allows in its five-minute window.
    explicit MastodonFixture(int limit = 300)
        : alpha(world, {"alpha.test", "", limit, 300, ""}),
          beta(world, {"beta.test", "social.beta.test", limit, 300, ""}),
          gamma(world, {"gamma.test", "", limit, 300, "members-only"}) {
        build(world);
    }

    // Every server reached under its own name, the cache in the test's home.
    UTL_MastodonSourceOptions options(const std::string& cache) {
        UTL_MastodonSourceOptions o;
        o.m_account = "me@alpha.test";
        o.m_resolve = {{"alpha.test", alpha.url()},
                       {"beta.test", beta.url()},
                       {"social.beta.test", beta.url()},
                       {"gamma.test", gamma.url()}};
        o.m_cache_dir = std::string(std::getenv("HOME")) + "/" + cache;
        o.m_total_timeout_s = 1;
        o.m_requests_per_second = 0;
        o.m_clock = [this] { return clock.now; };
        return o;
    }

    // The test's clock and the servers' move together.
    void advance(double seconds) {
        clock.advance(seconds);
        alpha.advance(seconds);
        beta.advance(seconds);
        gamma.advance(seconds);
    }

    // Ticks until the source is finished, moving the clocks past every wait it is in.
    bool run(UTL_MastodonSource& source) {
        return tick_until(source, [&] {
            if (source.waiting()) advance(61);
            return source.finished();
        });
    }

    std::set<std::pair<std::string, std::string>> lines(bool& repeated) const {
        std::set<std::pair<std::string, std::string>> out;
        repeated = false;
        for (const auto& [a, b] : target.connections) {
            if (a == "me@alpha.test" || b == "me@alpha.test") continue;
            repeated |= !out.insert(std::minmax(a, b)).second;
        }
        return out;
    }

    void expect_exact_network(const char* when) {
        const std::set<std::string> friends(target.friends.begin(), target.friends.end());
        EXPECT_EQ(friends, world.friends_of("me@alpha.test")) << when;
        EXPECT_EQ(friends.size(), target.friends.size()) << when << ": a friend came twice";
        bool repeated = false;
        EXPECT_EQ(lines(repeated), world.lines_of("me@alpha.test", unread_friends())) << when;
        EXPECT_FALSE(repeated) << when << ": a line came twice";
        int mine = 0;
        for (const auto& [a, b] : target.connections) mine += a == "me@alpha.test";
        EXPECT_EQ(mine, 26) << when << ": one line from the user to each friend";
    }
};
