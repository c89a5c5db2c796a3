// Tests of the acquisition against the social service on 127.0.0.1: the order of the scene
// calls, the friendship batches for several network sizes, their strings, and their pacing.
#include "tests/support/acquisition_fixtures.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct AcquisitionRun {
    std::unique_ptr<UTL_SocialService> service;
    RecordingTarget target;
    std::vector<std::string> titles;
    std::unique_ptr<UTL_Acquisition> acquisition;
    std::vector<int> send_frames;  // the frame in which each batch went out

    AcquisitionRun(UTL_SocialNetwork net, unsigned int batch_frames) {
        service = std::make_unique<UTL_SocialService>(std::move(net), kNimbraApiKey, kNimbraSecret);
        EXPECT_GT(service->start("127.0.0.1", 0), 0);
        UTL_AcquisitionOptions o = test_options(service->rest_url());
        o.m_batch_frames = batch_frames;
        acquisition = std::make_unique<UTL_Acquisition>(
            &target, [this](const std::string& t) { titles.push_back(t); }, o);
        std::string error;
        EXPECT_TRUE(acquisition->start(error)) << error;
    }

    // Frames until every friendship is in (or the time is up), noting when batches leave.
    bool run_to_end(int ms = 20000) {
        int frame = 0;
        size_t sent = 0;
        return tick_until(
            *acquisition,
            [&] {
                ++frame;
                if (acquisition->sent_batches().size() != sent) {
                    sent = acquisition->sent_batches().size();
                    send_frames.push_back(frame);
                }
                return acquisition->friendships_loaded();
            },
            ms);
    }
};

std::set<std::pair<std::string, std::string>> expected_friendships(int n) {
    std::set<std::pair<std::string, std::string>> out;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if ((i + j) % 7 == 3) out.emplace(std::to_string(1000 + i), std::to_string(1000 + j));
        }
    }
    return out;
}

}  // namespace

TEST(Acquisition, FillsTheSceneInTheServiceOrder) {
    AcquisitionRun run(numbered_network(3), 500);
    ASSERT_TRUE(run.run_to_end());
    std::vector<std::string> expected{"myself me", "friend 1000", "layout", "friend 1001",
                                      "layout",    "friend 1002", "layout", "my lines"};
    EXPECT_EQ(run.target.calls, expected);
    EXPECT_EQ(run.titles, std::vector<std::string>{"Nimbra | Maya Moreau"});
    // One batch with the three pairs, uids joined by commas and nothing else.
    EXPECT_EQ(run.acquisition->last_uids1(), "1000,1000,1001");
    EXPECT_EQ(run.acquisition->last_uids2(), "1001,1002,1002");
    EXPECT_EQ(run.service->calls("facebook.users.getInfo"), 1);
    EXPECT_EQ(run.service->calls("facebook.friends.areFriends"), 1);
    std::set<std::pair<std::string, std::string>> got(run.target.connections.begin(),
                                                      run.target.connections.end());
    EXPECT_EQ(got, expected_friendships(3));
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
        // The shortest pacing: a batch in the frame after a full one.
        AcquisitionRun run(numbered_network(c.friends), 0);
        ASSERT_TRUE(run.run_to_end());
        std::vector<std::pair<unsigned, unsigned>> got;
        for (const UTL_AcquisitionBatch& b : run.acquisition->sent_batches()) {
            got.emplace_back(b.m_first, b.m_pairs);
        }
        EXPECT_EQ(got, c.batches);
        EXPECT_EQ(run.service->calls("facebook.friends.areFriends"),
                  static_cast<int>(c.batches.size()));
        EXPECT_EQ(run.target.friends.size(), static_cast<size_t>(c.friends));
        std::set<std::pair<std::string, std::string>> lines(run.target.connections.begin(),
                                                            run.target.connections.end());
        EXPECT_EQ(lines.size(), run.target.connections.size());  // each pair asked once
        EXPECT_EQ(lines, expected_friendships(c.friends));
        EXPECT_FALSE(run.acquisition->m_need_more_connections_request);
    }
}

TEST(Acquisition, NextBatchGoesOnThe501stFrameAfterAFullOne) {
    AcquisitionRun run(numbered_network(100), 500);
    ASSERT_TRUE(run.run_to_end(60000));
    ASSERT_EQ(run.send_frames.size(), 6u);
    // The first batch leaves between frames, as the people's answer is handled; the frame that
    // follows is the first of the 501. Later batches leave inside a frame.
    EXPECT_EQ(run.send_frames[1] - run.send_frames[0], 500);
    for (size_t k = 2; k < run.send_frames.size(); ++k) {
        EXPECT_EQ(run.send_frames[k] - run.send_frames[k - 1], 501) << k;
    }
    EXPECT_EQ(run.acquisition->m_last_conn_idx, 60u);
}
