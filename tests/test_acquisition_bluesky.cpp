// The Bluesky source against the tests' own AppView: the network arrives exactly (mutual follows
// only, no line for a one-way follow, both ways of reading a friend's side), an account that no
// longer resolves is skipped and counted, the pacing (4 in flight, 10 a second), 429s waited
// out to their reset, failures of every kind asked again after growing waits, and an unknown
// handle said once and not asked again. Waits pass on the test's own clock.
#include "tests/support/bluesky_fixtures.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

TEST(BlueskySource, MutualFollowsBecomeFriendsAndOnlyPairsBothWaysBecomeLines) {
    BlueskyFixture f;
    UTL_BlueskySource source(&f.target, nullptr, f.options("exact"));
    std::string error;
    ASSERT_TRUE(source.start(error)) << error;
    ASSERT_TRUE(f.run(source)) << source.status_text();
    ASSERT_EQ(source.phase(), UTL_BlueskySource::Phase::kDone) << source.failure_text();
    f.expect_exact_network("first run");
    EXPECT_EQ(f.target.calls.front(), "myself did:plc:me");
    EXPECT_EQ(source.friend_count(), 40u);
    EXPECT_EQ(source.friendship_count(), f.view.lines_of("me.test").size());
    // g00 is mutual in the lists but its profile is gone: skipped and counted.
    EXPECT_EQ(source.unresolved_count(), 1u);
    EXPECT_EQ(source.status_text(), "1 account no longer resolves");
    // The two heavy followers' sides went through getRelationships, everyone else's follows.
    EXPECT_GE(source.requests_sent(UTL_BlueskySource::kRelations), 2);
    EXPECT_EQ(source.requests_sent(UTL_BlueskySource::kFollows), 38);
    EXPECT_EQ(source.requests_sent(UTL_BlueskySource::kEgoFollows), 2) << "two pages";
    EXPECT_EQ(f.view.calls("app.bsky.graph.getFollows"), 40);
    // Near the bound: over it only the profiles (2 calls of 25) and the chunks' rounding.
    EXPECT_EQ(source.requests_sent(UTL_BlueskySource::kProfiles), 2);
    EXPECT_LE(source.requests_sent(), source.lower_bound() + 2 + 3);
}

TEST(BlueskySource, AFewInFlightAndTenRequestsASecondAtMost) {
    BlueskyFixture f;
    // Every answer takes a moment, so requests pile up at the server if the source lets them.
    f.view.set_fault([](const std::string&, int) {
        TestAppView::Fault fault;
        fault.delay_ms = 20;
        return fault;
    });
    UTL_BlueskySourceOptions o = f.options("pacing");
    o.m_requests_per_second = 10;
    UTL_BlueskySource source(&f.target, nullptr, o);
    std::string error;
    ASSERT_TRUE(source.start(error)) << error;
    // The clock stands still: within this one second no more than 10 requests ever start.
    ASSERT_TRUE(tick_until(source, [&] {
        return source.requests_sent() == 10 && f.view.total_calls() == 10 &&
               f.target.calls.size() > 1;  // the answers arrived and were used
    })) << source.requests_sent();
    for (int i = 0; i < 200; ++i) source.tick();
    EXPECT_EQ(source.requests_sent(), 10) << "an eleventh request within the same second";
    // A second later the next ones go, and so on to the end.
    f.clock.advance(1.0);
    ASSERT_TRUE(tick_until(source, [&] { return source.requests_sent() > 10; }));
    ASSERT_TRUE(tick_until(source, [&] {
        f.clock.advance(0.05);
        return source.finished();
    }));
    f.expect_exact_network("paced");
    EXPECT_LE(f.view.peak_in_flight(), 4);
    EXPECT_GE(f.view.peak_in_flight(), 2) << "requests did overlap";
}

TEST(BlueskySource, A429WithItsResetIsWaitedOutThenEverythingArrives) {
    BlueskyFixture f;
    // The third getFollows is refused for 30 s; so is every request while the window lasts.
    const std::time_t reset = std::time(nullptr) + 30;
    f.view.set_fault([reset](const std::string& method, int nth) {
        TestAppView::Fault fault;
        if (method == "app.bsky.graph.getFollows" && nth == 3) {
            fault.status = 429;
            fault.body = R"({"error":"RateLimitExceeded","message":"Rate Limit Exceeded"})";
            fault.headers = {{"RateLimit-Limit", "3000"},
                             {"RateLimit-Remaining", "0"},
                             {"RateLimit-Reset", std::to_string(reset)},
                             {"RateLimit-Policy", "3000;w=300"}};
        }
        return fault;
    });
    UTL_BlueskySource source(&f.target, nullptr, f.options("limit"));
    std::string error;
    ASSERT_TRUE(source.start(error)) << error;
    ASSERT_TRUE(tick_until(source, [&] { return source.rate_limit_pauses() == 1; }));
    // Once what was on the wire is in, nothing more goes until the reset, however long the
    // frames go on.
    ASSERT_TRUE(tick_until(source, [&] {
        return f.view.total_calls() == source.requests_sent() &&
               source.status_text().find("rate limit") != std::string::npos;
    })) << source.status_text();
    const int asked = f.view.total_calls();
    for (int i = 0; i < 300; ++i) source.tick();
    f.clock.advance(25);
    for (int i = 0; i < 300; ++i) source.tick();
    EXPECT_EQ(f.view.total_calls(), asked) << "asked before the reset";
    EXPECT_NE(source.status_text().find("going on at"), std::string::npos) << source.status_text();
    f.clock.advance(6);
    ASSERT_TRUE(tick_until(source, [&] { return source.finished(); })) << source.status_text();
    f.expect_exact_network("after the limit");
    EXPECT_EQ(source.rate_limit_pauses(), 1);
}

TEST(BlueskySource, FailuresOfEveryKindAreAskedAgainAfterGrowingWaits) {
    BlueskyFixture f;
    // Each method fails its first calls, each in its own way: a 500, an HTML page, a cut
    // answer, an answer too late, a 502 with a page.
    f.view.set_fault([](const std::string& method, int nth) {
        TestAppView::Fault fault;
        if (method == "com.atproto.identity.resolveHandle" && nth <= 2) {
            fault.status = 500;
            fault.body = R"({"error":"InternalServerError","message":"Internal Server Error"})";
        } else if (method == "app.bsky.actor.getProfile" && nth == 1) {
            fault.status = 200;
            fault.body = "<html><body>Down for maintenance</body></html>";
        } else if (method == "app.bsky.actor.getProfiles" && nth == 1) {
            fault.cut = true;
        } else if (method == "app.bsky.graph.getFollows" && (nth == 2 || nth == 9)) {
            fault.delay_ms = 1500;  // past the one-second time-out
        } else if (method == "app.bsky.graph.getRelationships" && nth == 1) {
            fault.status = 502;
            fault.body = "<!DOCTYPE html><html>Bad gateway</html>";
        }
        return fault;
    });
    UTL_BlueskySource source(&f.target, nullptr, f.options("faults"));
    std::string error;
    ASSERT_TRUE(source.start(error)) << error;
    // The second failure in a row waits longer than the first.
    ASSERT_TRUE(tick_until(source, [&] { return source.waiting(); }));
    EXPECT_NE(source.status_text().find("(HTTP 500); trying again in 1 s"), std::string::npos)
        << source.status_text();
    f.clock.advance(1.1);
    ASSERT_TRUE(tick_until(source, [&] {
        return f.view.calls("com.atproto.identity.resolveHandle") == 2 && source.waiting();
    }));
    EXPECT_NE(source.status_text().find("trying again in 2 s"), std::string::npos)
        << source.status_text();
    ASSERT_TRUE(f.run(source)) << source.status_text();
    ASSERT_EQ(source.phase(), UTL_BlueskySource::Phase::kDone) << source.failure_text();
    f.expect_exact_network("after the failures");
    EXPECT_EQ(f.view.calls("com.atproto.identity.resolveHandle"), 3);
    EXPECT_EQ(f.view.calls("app.bsky.actor.getProfile"), 2);
    EXPECT_EQ(f.view.calls("app.bsky.actor.getProfiles"), 3) << "two chunks, one cut";
    EXPECT_EQ(f.view.calls("app.bsky.graph.getFollows"), 42)
        << "two pages of me.test's, 38 friends', two late";
}

TEST(BlueskySource, AnUnknownHandleIsSaidOnceAndNotAskedAgain) {
    BlueskyFixture f;
    UTL_BlueskySourceOptions o = f.options("unknown");
    o.m_actor = "@Nobody.Test";
    UTL_BlueskySource source(&f.target, nullptr, o);
    std::string error;
    ASSERT_TRUE(source.start(error)) << error;
    ASSERT_TRUE(tick_until(source, [&] { return source.finished(); }));
    EXPECT_EQ(source.phase(), UTL_BlueskySource::Phase::kFailed);
    EXPECT_EQ(source.failure_text(),
              "Unknown Bluesky handle nobody.test (Unable to resolve handle, HTTP 400)");
    EXPECT_EQ(source.status_text(), source.failure_text());
    f.clock.advance(3600);
    for (int i = 0; i < 100; ++i) source.tick();
    EXPECT_EQ(f.view.total_calls(), 1);
    EXPECT_TRUE(f.target.calls.empty());

    // What is no handle at all is refused before anything is asked.
    for (const char* bad : {"", "nobody", "a..b", "bad handle.test", "did:plc:", "did:x:a/b"}) {
        UTL_BlueskySourceOptions b = f.options("unknown");
        b.m_actor = bad;
        UTL_BlueskySource refused(&f.target, nullptr, b);
        EXPECT_FALSE(refused.start(error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(f.view.total_calls(), 1);
}

// Frames slower than the AppView: each frame's waits take the answers and send the requests
// queued behind them, the scene hears nothing until the frame ends, and the network arrives as
// exactly as with quick frames.
TEST(BlueskySource, AnswersTakenWhileSlowFramesAreDrawnReachTheSceneBetweenThem) {
    BlueskyFixture f;
    UTL_BlueskySource source(&f.target, nullptr, f.options("slow-frames"));
    std::string error;
    ASSERT_TRUE(source.start(error)) << error;
    size_t calls = 0;
    int sent = 0, sent_while_drawing = 0;
    const bool done = run_with_slow_frames(
        source,
        [&] {
            EXPECT_EQ(f.target.calls.size(), calls) << "the scene was touched during a frame";
            sent_while_drawing += source.requests_sent() - sent;
        },
        [&] {
            if (source.waiting()) f.clock.advance(61);
            calls = f.target.calls.size();
            sent = source.requests_sent();
        });
    ASSERT_TRUE(done) << source.status_text();
    ASSERT_EQ(source.phase(), UTL_BlueskySource::Phase::kDone) << source.failure_text();
    f.expect_exact_network("slow frames");
    EXPECT_GT(sent_while_drawing, 0) << "nothing was sent while a frame was drawn";
}
