// Bluesky test fixtures: a network on the tests' own AppView with every case the source must
// get right, and a fixture with a recording target, the test's clock and the checks of the
// exact network.
#pragma once

#include "sources/bluesky_source.h"
#include "tests/support/acquisition_fixtures.h"
#include "tests/support/appview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

inline std::string handle(const char* prefix, int i) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%02d.test", prefix, i);
    return text;
}

// me.test and 40 friends f00..f39 (two of them following 250 accounts each, so their side is
// read through getRelationships), one-way follows both ways around them, pairs of friends that
// follow each other and pairs that follow one way, and g00: a friend who is gone. me.test
// follows 110 accounts, so its list comes in two pages.
inline void build(TestAppView& v) {
    v.add({"did:plc:me", "me.test", "Maya", "webp", false});
    for (int i = 0; i < 40; ++i) {
        const std::string h = handle("f", i);
        v.add({"did:plc:f" + std::to_string(i), h, i % 3 == 0 ? "" : "Friend " + std::to_string(i),
               i % 3 == 1   ? "jpeg"
               : i % 3 == 2 ? "webp"
                            : "",
               false});
        v.follow("me.test", h);
        v.follow(h, "me.test");
    }
    v.add({"did:plc:g0", "g00.test", "Gone", "", true});
    v.follow("me.test", "g00.test");
    v.follow("g00.test", "me.test");
    for (int i = 0; i < 60; ++i) {
        const std::string h = handle("x", i);
        v.add({"did:plc:x" + std::to_string(i), h, "", "", false});
        v.follow("me.test", h);  // one way: not a friend
    }
    for (int i = 60; i < 250; ++i)
        v.add({"did:plc:x" + std::to_string(i), handle("x", i), "", "", false});
    for (int i = 0; i < 250; ++i) {
        v.follow("f00.test", handle("x", i));
        v.follow("f01.test", handle("x", i));
    }
    for (int i = 0; i < 5; ++i) {
        const std::string h = handle("p", i);
        v.add({"did:plc:p" + std::to_string(i), h, "", "", false});
        v.follow(h, "me.test");  // follows me.test, who does not follow back
    }
    for (int i = 0; i < 40; ++i) {
        for (int j = i + 1; j < 40; ++j) {
            if ((i * 7 + j * 3) % 5 == 0) {
                v.follow(handle("f", i), handle("f", j));
                v.follow(handle("f", j), handle("f", i));
            } else if ((i + j) % 4 == 1) {
                v.follow(handle("f", i), handle("f", j));  // one way: no line
            }
        }
    }
    v.follow("f05.test", "g00.test");
    v.follow("g00.test", "f05.test");
}

struct BlueskyFixture {
    TestAppView view;
    RecordingTarget target;
    FakeClock clock;

    BlueskyFixture() { build(view); }

    UTL_BlueskySourceOptions options(const std::string& cache) {
        UTL_BlueskySourceOptions o;
        o.m_actor = "me.test";
        o.m_host = view.url();
        o.m_cache_dir = std::string(std::getenv("HOME")) + "/" + cache;
        o.m_total_timeout_s = 1;
        o.m_requests_per_second = 0;
        o.m_clock = [this] { return clock.now; };
        return o;
    }

    // Ticks until the source is finished, moving the clock past every wait it is in.
    bool run(UTL_BlueskySource& source) {
        return tick_until(source, [&] {
            if (source.waiting()) clock.advance(61);
            return source.finished();
        });
    }

    // The lines between friends the target got, and whether any came twice.
    std::set<std::pair<std::string, std::string>> lines(bool& repeated) const {
        std::set<std::pair<std::string, std::string>> out;
        repeated = false;
        for (const auto& [a, b] : target.connections) {
            if (a == "did:plc:me" || b == "did:plc:me") continue;
            repeated |= !out.insert(std::minmax(a, b)).second;
        }
        return out;
    }

    void expect_exact_network(const char* when) {
        const std::set<std::string> friends(target.friends.begin(), target.friends.end());
        EXPECT_EQ(friends, view.friends_of("me.test")) << when;
        EXPECT_EQ(friends.size(), target.friends.size()) << when << ": a friend came twice";
        bool repeated = false;
        EXPECT_EQ(lines(repeated), view.lines_of("me.test")) << when;
        EXPECT_FALSE(repeated) << when << ": a line came twice";
        int mine = 0;
        for (const auto& [a, b] : target.connections) mine += a == "did:plc:me";
        EXPECT_EQ(mine, 40) << when << ": one line from the user to each friend";
    }
};
