// Tests of the acquisition against the social service on 127.0.0.1: the order of the scene
// calls, the friendship batches for several network sizes and their strings, their pacing by
// the clock for a service with a rate limit and none for one without, and the status line.
#include "tests/support/acquisition_fixtures.h"
#include "widgets/status_line.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using Pairs = std::set<std::pair<std::string, std::string>>;

struct AcquisitionRun {
    std::unique_ptr<UTL_SocialService> service;
    FakeClock clock;
    RecordingTarget target;
    std::vector<std::string> titles;
    std::unique_ptr<UTL_ServiceSource> acquisition;

    explicit AcquisitionRun(UTL_SocialNetwork net, const std::string& url = "",
                            double batch_interval_s = -1.0) {
        service = std::make_unique<UTL_SocialService>(std::move(net), kNimbraApiKey, kNimbraSecret);
        EXPECT_GT(service->start("127.0.0.1", 0), 0);
        UTL_ServiceSourceOptions o = test_options(url.empty() ? service->rest_url() : url, &clock);
        o.m_batch_interval_s = batch_interval_s;
        acquisition = std::make_unique<UTL_ServiceSource>(
            &target, [this](const std::string& t) { titles.push_back(t); }, o);
        std::string error;
        EXPECT_TRUE(acquisition->start(error)) << error;
    }
    bool run_to_end() {
        return tick_until(*acquisition, [&] { return acquisition->finished(); });
    }
};

Pairs expected_friendships(int n) {
    Pairs out;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if ((i + j) % 7 == 3) out.emplace(std::to_string(1000 + i), std::to_string(1000 + j));
        }
    }
    return out;
}

// The service's answers with the sentence that says it has no rate limit taken out: a service
// as a remote one would answer.
void hide_rate_limit(FaultyService& s) {
    s.set_fault([](const std::string& method, const std::string& answer) {
        FaultyService::Fault f;
        const std::string said = " rate_limit=\"none\"";
        if (method == "facebook.friends.get" && answer.find(said) != std::string::npos) {
            f.body = answer;
            f.body.erase(f.body.find(said), said.size());
        }
        return f;
    });
}

}  // namespace

TEST(Acquisition, FillsTheSceneInTheServiceOrder) {
    AcquisitionRun run(numbered_network(3));
    ASSERT_TRUE(run.run_to_end());
    // One layout for the answer's people, after its last friend.
    std::vector<std::string> expected{"myself me",   "friend 1000", "friend 1001",
                                      "friend 1002", "layout",      "my lines"};
    EXPECT_EQ(run.target.calls, expected);
    EXPECT_EQ(run.titles, std::vector<std::string>{"Nimbra | Maya Moreau"});
    // One batch with the three pairs, uids joined by commas and nothing else.
    EXPECT_EQ(run.acquisition->last_uids1(), "1000,1000,1001");
    EXPECT_EQ(run.acquisition->last_uids2(), "1001,1002,1002");
    EXPECT_EQ(run.service->calls("facebook.users.getInfo"), 1);
    EXPECT_EQ(run.service->calls("facebook.friends.areFriends"), 1);
    EXPECT_EQ(Pairs(run.target.connections.begin(), run.target.connections.end()),
              expected_friendships(3));
    EXPECT_EQ(run.target.odd_connections, 0);
}

TEST(Acquisition, BatchesHoldWholeRowsUntilTheyPass800Pairs) {
    struct Case {
        int friends;
        std::vector<std::pair<unsigned, unsigned>> batches;  // first friend, pairs
    } cases[] = {
        {0, {}},
        {1, {}},
        {3, {{0, 3}}},
        {42, {{0, 806}, {31, 55}}},
        {100, {{0, 855}, {9, 855}, {19, 825}, {30, 819}, {43, 816}, {60, 780}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.friends);
        AcquisitionRun run(numbered_network(c.friends));
        ASSERT_TRUE(run.run_to_end());
        EXPECT_EQ(run.acquisition->phase(), UTL_ServiceSource::Phase::kDone);
        std::vector<std::pair<unsigned, unsigned>> got;
        for (const UTL_AcquisitionBatch& b : run.acquisition->sent_batches()) {
            got.emplace_back(b.m_first, b.m_pairs);
        }
        EXPECT_EQ(got, c.batches);
        EXPECT_EQ(run.service->calls("facebook.friends.areFriends"),
                  static_cast<int>(c.batches.size()));
        EXPECT_EQ(run.target.friends.size(), static_cast<size_t>(c.friends));
        Pairs lines(run.target.connections.begin(), run.target.connections.end());
        EXPECT_EQ(lines.size(), run.target.connections.size());  // each pair asked once
        EXPECT_EQ(lines, expected_friendships(c.friends));
        EXPECT_FALSE(run.acquisition->m_need_more_connections_request);
    }
}

TEST(Acquisition, AServiceWithoutARateLimitIsAskedEverythingAtOnce) {
    // The clock never moves: nothing may wait for it.
    AcquisitionRun run(numbered_network(100));
    std::vector<std::string> states;
    int most_in_flight = 0;
    ASSERT_TRUE(tick_until(*run.acquisition, [&] {
        most_in_flight = std::max(most_in_flight, run.acquisition->outstanding_requests());
        const std::string s = run.acquisition->status_text();
        if (states.empty() || states.back() != s) states.push_back(s);
        return run.acquisition->finished();
    }));
    EXPECT_EQ(run.acquisition->batch_interval_s(), 0.0);
    EXPECT_EQ(most_in_flight, 6) << "all six batches were asked together";
    EXPECT_EQ(run.target.connections.size(), expected_friendships(100).size());

    const std::string at =
        run.service->rest_url().substr(7, run.service->rest_url().find('/', 7) - 7);
    ASSERT_GE(states.size(), 3u);
    EXPECT_EQ(states[0], "Connecting to " + at + "\xE2\x80\xA6");
    EXPECT_EQ(states[1], "Loading 100 friends\xE2\x80\xA6");
    EXPECT_EQ(states[2], "Friendships: 0 of 4,950 pairs asked (0 %)");
    EXPECT_EQ(states.back(), "") << "the line is hidden once everything is in";
    // As the top bar's ASCII font draws it: any text, never more than the room there is.
    EXPECT_EQ(GFX_StatusLine::drawable(states[1], 100), "Loading 100 friends...");
    EXPECT_EQ(GFX_StatusLine::drawable("Zo\xC3\xAB \xFF\x01 ok", 100), "Zo? ?? ok");
    EXPECT_EQ(GFX_StatusLine::drawable("0123456789abcdefghij", 13), "0123...efghij");
}

TEST(Acquisition, AServiceWithARateLimitGetsABatchEveryTenSeconds) {
    FaultyService remote(numbered_network(100));
    hide_rate_limit(remote);
    AcquisitionRun run(UTL_SocialNetwork(), remote.url());
    UTL_ServiceSource& a = *run.acquisition;
    auto batches_answered = [&](int n) {
        return tick_until(
            a, [&] { return a.answered_batches() == n && a.outstanding_requests() == 0; });
    };
    ASSERT_TRUE(batches_answered(1));
    EXPECT_EQ(a.batch_interval_s(), UTL_ServiceSource::kDefaultBatchInterval);
    EXPECT_EQ(a.status_text(), "Friendships: 855 of 4,950 pairs asked (17 %)");

    // However many frames pass, the next batch waits for the clock.
    for (int frame = 0; frame < 50; ++frame) a.tick();
    run.clock.advance(9.9);
    for (int frame = 0; frame < 50; ++frame) a.tick();
    EXPECT_EQ(remote.calls("facebook.friends.areFriends"), 1);
    run.clock.advance(0.1);
    ASSERT_TRUE(batches_answered(2));
    EXPECT_EQ(a.sent_batches().size(), 2u);
    for (int k = 3; k <= 6; ++k) {
        run.clock.advance(10.0);
        ASSERT_TRUE(batches_answered(k)) << k;
    }
    ASSERT_TRUE(run.run_to_end());
    EXPECT_EQ(remote.calls("facebook.friends.areFriends"), 6);
    EXPECT_EQ(Pairs(run.target.connections.begin(), run.target.connections.end()),
              expected_friendships(100));

    // An interval on the command line holds for any service, one without a limit too.
    AcquisitionRun paced(numbered_network(42), "", 2.5);
    ASSERT_TRUE(
        tick_until(*paced.acquisition, [&] { return paced.acquisition->answered_batches() == 1; }));
    for (int frame = 0; frame < 20; ++frame) paced.acquisition->tick();
    EXPECT_EQ(paced.service->calls("facebook.friends.areFriends"), 1);
    paced.clock.advance(2.5);
    ASSERT_TRUE(paced.run_to_end());
    EXPECT_EQ(paced.service->calls("facebook.friends.areFriends"), 2);
}

TEST(Acquisition, AFriendListCutByTheServiceIsSaidOnBothSides) {
    UTL_SocialNetwork net;
    std::vector<UTL_ServicePerson> friends;
    for (int i = 0; i < 5003; ++i) friends.push_back({"f" + std::to_string(i), "", "", "", false});
    net.set_people({"me", "Maya", "", "", false}, friends);
    FaultyService remote(std::move(net));
    EXPECT_EQ(remote.service().cut_warning(),
              "user me has 5003 friends; only the first 5000 are served");
    hide_rate_limit(remote);
    FakeClock clock;
    RecordingTarget target;
    UTL_ServiceSource a(&target, nullptr, test_options(remote.url(), &clock));
    std::string error;
    ASSERT_TRUE(a.start(error));
    ASSERT_TRUE(tick_until(a, [&] { return a.answered_batches() == 1; }));
    EXPECT_EQ(a.friends_total(), 5003u);
    EXPECT_EQ(target.friends.size(), 5000u);
    EXPECT_EQ(a.status_text(),
              "Friendships: 4,999 of 12,497,500 pairs asked (0 %); showing 5,000 of 5,003 friends");
}
