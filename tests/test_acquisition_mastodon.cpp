// The Mastodon source against three servers of the tests' own: the network arrives exactly, each
// friend read on their own server (found by WebFinger where the domain is not the server), with
// the lines of friends who hide their lists or whose server refuses anonymous reads from the
// other side and the token sent to the person's own server only; every server's rate limit is
// planned by what its window has left and one server waiting holds up no other; failures are
// asked again; a page of accounts that cannot be shown does not end its list, and pages that
// lead round in a circle are asked once; an own server that refuses anonymous reads and an
// unknown account are said once.
#include "tests/support/mastodon_fixtures.h"
#include "util/image.h"
#include "util/photo_decoder.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <memory>

namespace {

std::unique_ptr<UTL_MastodonSource> started(MastodonFixture& f, UTL_MastodonSourceOptions o) {
    auto source = std::make_unique<UTL_MastodonSource>(&f.target, nullptr, o);
    std::string error;
    EXPECT_TRUE(source->start(error)) << error;
    return source;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(MastodonSource, TheNetworkArrivesExactlyEachFriendReadOnTheirOwnServer) {
    MastodonFixture f;
    UTL_MastodonSourceOptions o = f.options("exact");
    o.m_token = "my-token";
    auto source = started(f, o);
    ASSERT_TRUE(f.run(*source)) << source->status_text();
    ASSERT_EQ(source->phase(), UTL_MastodonSource::Phase::kDone) << source->failure_text();
    f.expect_exact_network("fetched");

    // Two beta.test accounts follow each other where alpha.test cannot see it.
    bool repeated = false;
    EXPECT_TRUE(f.lines(repeated).count({"b01@beta.test", "b02@beta.test"}));
    // Ids were used only on the server that gave them.
    EXPECT_EQ(f.alpha.foreign_ids() + f.beta.foreign_ids() + f.gamma.foreign_ids(), 0);
    EXPECT_GT(f.beta.calls("webfinger"), 0) << "beta.test runs on social.beta.test";

    // The token went to alpha.test, the person's server, and nowhere else.
    const std::vector<std::string> own = f.alpha.authorizations();
    EXPECT_EQ(own.size(), static_cast<size_t>(f.alpha.calls("lookup") + f.alpha.calls("following") +
                                              f.alpha.calls("followers")));
    for (const std::string& a : own) EXPECT_EQ(a, "Bearer my-token");
    EXPECT_TRUE(f.beta.authorizations().empty());
    EXPECT_TRUE(f.gamma.authorizations().empty());

    // What could not be read is said, and the refusing server is not asked again and again.
    EXPECT_EQ(source->hidden_count(), 2u);
    EXPECT_EQ(source->unreadable_count(), 2u);
    EXPECT_LE(f.gamma.total_calls(), 2);
    EXPECT_TRUE(contains(source->status_text(), "2 friends hide their follows"))
        << source->status_text();
    EXPECT_TRUE(contains(source->status_text(), "gamma.test refuses anonymous reads"))
        << source->status_text();

    // The avatars the servers serve decode: PNG and the first frame of GIF.
    for (const std::string& bytes :
         {TestMastodon::png_avatar("a01@alpha.test"), TestMastodon::gif_avatar("b02@beta.test")}) {
        std::unique_ptr<GFX_Image> image(
            decode_photo(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), {}));
        ASSERT_TRUE(image);
        EXPECT_GT(image->m_width, 0u);
    }
}

TEST(MastodonSource, EveryServersLimitIsPlannedAndOneServerWaitingHoldsUpNoOther) {
    {
        // Windows of 12 requests: the network comes over several windows on every server,
        // without a single request the servers would have had to refuse.
        MastodonFixture f(12);
        auto source = started(f, f.options("planned"));
        ASSERT_TRUE(f.run(*source)) << source->status_text();
        f.expect_exact_network("through small windows");
        for (const TestMastodon* s : {&f.alpha, &f.beta}) {
            EXPECT_EQ(s->over_limit(), 0);
            EXPECT_EQ(s->limited(), 0);
        }
        EXPECT_GT(f.beta.windows(), 2) << "its requests needed several windows";
    }
    // beta.test answers its first following call with a 429 that closes it for 10 minutes.
    MastodonFixture f;
    f.beta.set_fault([](const std::string& call, int nth) {
        TestMastodon::Fault fault;
        if (call == "following" && nth == 1) {
            fault.status = 429;
            fault.body = R"({"error":"Too many requests"})";
            fault.block_s = 600;
        }
        return fault;
    });
    // One request on the wire at a time, so none can be under way when the 429 comes.
    UTL_MastodonSourceOptions o = f.options("held");
    o.m_in_flight = 1;
    auto source = started(f, o);
    // Without moving the clock: everything alpha.test holds comes in while beta.test waits.
    ASSERT_TRUE(tick_until(*source, [&] { return source->waiting(); })) << source->status_text();
    EXPECT_TRUE(contains(source->status_text(), "beta.test's rate limit is reached"))
        << source->status_text();
    bool repeated = false;
    const auto shown = f.lines(repeated);
    for (const auto& [a, b] : f.world.lines_of("me@alpha.test", unread_friends())) {
        if (contains(a, "@alpha.test") && contains(b, "@alpha.test") && a != "a03@alpha.test" &&
            b != "a03@alpha.test") {
            EXPECT_TRUE(shown.count({a, b})) << a << " - " << b << " waited for beta.test";
        }
    }
    ASSERT_TRUE(f.run(*source)) << source->status_text();
    f.expect_exact_network("after the pause");
    EXPECT_EQ(f.beta.over_limit(), 0) << "asked while its 429 held";
    EXPECT_EQ(source->rate_limit_pauses(), 1);
}

TEST(MastodonSource, FailuresAreAskedAgainWithGrowingWaits) {
    MastodonFixture f;
    // alpha.test fails the person's followers with a 500, then an HTML page, and answers one
    // following call too late; beta.test answers a WebFinger with a 502.
    f.alpha.set_fault([](const std::string& call, int nth) {
        TestMastodon::Fault fault;
        if (call == "followers" && nth == 1) fault.status = 500;
        if (call == "followers" && nth == 2) {
            fault.status = 200;
            fault.body = "<html><body>Down for maintenance</body></html>";
        }
        if (call == "following" && nth == 3) fault.delay_ms = 1500;
        return fault;
    });
    f.beta.set_fault([](const std::string& call, int nth) {
        TestMastodon::Fault fault;
        if (call == "webfinger" && nth == 2) fault.status = 502;
        return fault;
    });
    auto source = started(f, f.options("failures"));
    ASSERT_TRUE(f.run(*source)) << source->status_text();
    f.expect_exact_network("after the failures");
    EXPECT_GE(f.alpha.calls("followers"), 4)
        << "the person's followers were asked again until they came";
}

TEST(MastodonSource, APageOfAccountsThatCannotBeShownGoesOnAndACircleOfPagesEnds) {
    int plain = 0;  // beta.test's following calls when its pages end as they should
    {
        MastodonFixture f;
        // a05's newest follows fill a whole page with addresses that cannot be uids; its
        // friends come on the page after.
        for (int i = 0; i < 80; ++i) {
            const std::string odd = "odd~" + std::to_string(i) + "@alpha.test";
            f.world.add({odd, "", "", false});
            f.world.follow("a05@alpha.test", odd);
        }
        auto source = started(f, f.options("circle-plain"));
        ASSERT_TRUE(f.run(*source)) << source->status_text();
        f.expect_exact_network("after a page that shows nobody");
        plain = f.beta.calls("following");
    }
    MastodonFixture f;
    // b00's id on beta.test, asked as anyone may.
    httplib::Client client(f.beta.url());
    const auto found = client.Get("/api/v1/accounts/lookup?acct=b00");
    ASSERT_TRUE(found && found->status == 200);
    const std::string id = nlohmann::json::parse(found->body).at("id").get<std::string>();
    // Every following page (the first 60) says the next one is b00's first page, then the same
    // page by another address, then the first again.
    f.beta.set_fault([id](const std::string& call, int nth) {
        TestMastodon::Fault fault;
        if (call == "following" && nth <= 60)
            fault.link = "<https://social.beta.test/api/v1/accounts/" + id + "/following?limit=80" +
                         (nth % 2 ? "" : "&max_id=1000000") + ">; rel=\"next\"";
        return fault;
    });
    auto source = started(f, f.options("circle"));
    ASSERT_TRUE(f.run(*source)) << source->status_text();
    EXPECT_EQ(source->phase(), UTL_MastodonSource::Phase::kDone) << source->failure_text();
    EXPECT_LE(f.beta.calls("following"), plain + 2) << "each page of the circle is asked once";
}

TEST(MastodonSource, AnOwnServerRefusingAnonymousReadsAndAnUnknownAccountAreSaidOnce) {
    MastodonFixture f;
    // c00 lives on gamma.test, which shows nothing without a token.
    UTL_MastodonSourceOptions o = f.options("refused");
    o.m_account = "c00@gamma.test";
    auto refused = started(f, o);
    ASSERT_TRUE(f.run(*refused));
    EXPECT_EQ(refused->phase(), UTL_MastodonSource::Phase::kFailed);
    EXPECT_TRUE(contains(refused->failure_text(), "gamma.test refuses anonymous reads"))
        << refused->failure_text();
    EXPECT_TRUE(contains(refused->failure_text(), "--mastodon-token")) << refused->failure_text();
    EXPECT_TRUE(f.target.calls.empty()) << "nobody is shown";
    EXPECT_EQ(f.gamma.calls("lookup"), 1) << "a refusal is not asked again";
    refused.reset();

    // With their token the network comes, and the token goes to gamma.test alone.
    o.m_token = "members-only";
    auto admitted = started(f, o);
    ASSERT_TRUE(f.run(*admitted)) << admitted->status_text();
    EXPECT_EQ(admitted->phase(), UTL_MastodonSource::Phase::kDone) << admitted->failure_text();
    const std::set<std::string> friends(f.target.friends.begin(), f.target.friends.end());
    EXPECT_EQ(friends, f.world.friends_of("c00@gamma.test"));
    EXPECT_TRUE(f.alpha.authorizations().empty());
    admitted.reset();

    // An account nobody holds: looked up, fingered, and said; never asked again.
    f.target = RecordingTarget();
    o = f.options("unknown");
    o.m_account = "@Nobody@Alpha.test";
    auto unknown = started(f, o);
    ASSERT_TRUE(f.run(*unknown));
    EXPECT_EQ(unknown->phase(), UTL_MastodonSource::Phase::kFailed);
    EXPECT_TRUE(contains(unknown->failure_text(), "Unknown Mastodon account nobody@alpha.test"))
        << unknown->failure_text();
    EXPECT_EQ(unknown->requests_sent(), 2);
    EXPECT_TRUE(f.target.calls.empty());

    std::string error;
    o.m_account = "nobody";
    EXPECT_FALSE(UTL_MastodonSource(&f.target, nullptr, o).start(error));
    EXPECT_TRUE(contains(error, "alice@mastodon.social")) << error;
}

// Frames slower than the servers: each frame's waits take the answers and send the requests
// queued behind them, the scene hears nothing until the frame ends, and the network arrives as
// exactly as with quick frames.
TEST(MastodonSource, AnswersTakenWhileSlowFramesAreDrawnReachTheSceneBetweenThem) {
    MastodonFixture f;
    auto source = started(f, f.options("slow-frames"));
    size_t calls = 0;
    int sent = 0, sent_while_drawing = 0;
    const bool done = run_with_slow_frames(
        *source,
        [&] {
            EXPECT_EQ(f.target.calls.size(), calls) << "the scene was touched during a frame";
            sent_while_drawing += source->requests_sent() - sent;
        },
        [&] {
            if (source->waiting()) f.advance(61);
            calls = f.target.calls.size();
            sent = source->requests_sent();
        });
    ASSERT_TRUE(done) << source->status_text();
    ASSERT_EQ(source->phase(), UTL_MastodonSource::Phase::kDone) << source->failure_text();
    f.expect_exact_network("slow frames");
    EXPECT_GT(sent_while_drawing, 0) << "nothing was sent while a frame was drawn";
}
