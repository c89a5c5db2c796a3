// Answers taken while a frame is drawn: a real service over HTTP on 127.0.0.1, the answers
// taken and the next batches sent while the renderer works, the scene left alone until the frame
// is over, and then every line of them in the picture.
#include "controller/sim_ctrl_nimbra.h"
#include "scene/connection.h"
#include "tests/support/acquisition_fixtures.h"
#include "tests/support/globe_fixture.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::set<std::pair<std::string, std::string>>;

Pairs expected_friendships(int n) {
    Pairs out;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            if ((i + j) % 7 == 3) out.emplace(std::to_string(1000 + i), std::to_string(1000 + j));
    return out;
}

// A service of numbered_network(n) and a source feeding target.
struct ServiceRun {
    std::unique_ptr<UTL_SocialService> service;
    std::unique_ptr<UTL_ServiceSource> source;
    ServiceRun(int n, UTL_AcquisitionTarget* target) {
        service =
            std::make_unique<UTL_SocialService>(numbered_network(n), kNimbraApiKey, kNimbraSecret);
        EXPECT_GT(service->start("127.0.0.1", 0), 0);
        source =
            std::make_unique<UTL_ServiceSource>(target, nullptr, test_options(service->rest_url()));
        std::string error;
        EXPECT_TRUE(source->start(error)) << error;
    }
    ServiceRun(int n, UTL_SimCtrlNimbra* controller) {
        service =
            std::make_unique<UTL_SocialService>(numbered_network(n), kNimbraApiKey, kNimbraSecret);
        EXPECT_GT(service->start("127.0.0.1", 0), 0);
        source = std::make_unique<UTL_ServiceSource>(controller, nullptr,
                                                     test_options(service->rest_url()));
        std::string error;
        EXPECT_TRUE(source->start(error)) << error;
    }
    // The frame loop up to the friendships: the people are on the globe.
    bool until_people() {
        return tick_until(*source, [&] {
            return source->phase() == UTL_ServiceSource::Phase::kFriendships || source->finished();
        });
    }
};

double rmse(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
        for (size_t k = 0; k < 3; ++k, ++n) {
            const double d = (double(a[i + k]) - double(b[i + k])) / 255.0;
            sum += d * d;
        }
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

// Frames until the picture stands still (two frames alike, the glow whole) and that picture;
// the frames end the way the host ends them, the waits lent to the acquisition.
std::vector<uint8_t> settled_picture(GlobeFixture& g) {
    std::vector<uint8_t> last;
    const bool still = wait_until([&] {
        g.frame();
        g.c.finish_frame();
        std::vector<uint8_t> now = g.gl.buffer();
        const bool same = g.c.m_glow_drew_whole && now == last;
        last.swap(now);
        return same;
    });
    EXPECT_TRUE(still) << "the picture never stood still";
    return last;
}

}  // namespace

// More batches than are asked at once (600 friends: 179,700 pairs in more than 200 batches),
// all of them answered during one long frame: the frame's waits take the answers and send the
// batches that follow, the scene hears nothing until the frame is over, and then everything at
// once.
TEST(AcquisitionFrames, AnswersTakenWhileAFrameIsDrawnReachTheSceneWhenItEnds) {
    RecordingTarget target;
    constexpr int kFriends = 600;
    ServiceRun run(kFriends, &target);
    ASSERT_TRUE(run.until_people());
    ASSERT_EQ(run.source->phase(), UTL_ServiceSource::Phase::kFriendships);
    const size_t calls = target.calls.size();

    // One frame that lasts until the service has answered every pair.
    int turns = 0;
    const bool all_answered = wait_until([&] {
        run.source->tick_while_drawing(8);
        ++turns;
        return run.source->outstanding_requests() == 0 && !run.source->finished();
    });
    ASSERT_TRUE(all_answered) << "the service did not answer every batch within a minute";
    EXPECT_GT(turns, 1);
    EXPECT_TRUE(target.connections.empty()) << "the scene was touched while the frame was drawn";
    EXPECT_EQ(target.calls.size(), calls);
    EXPECT_FALSE(run.source->finished()) << "finished before its friendships reached the scene";
    EXPECT_GT(run.source->sent_batches().size(),
              static_cast<size_t>(UTL_ServiceSource::kBatchesInFlight))
        << "the batches beyond the first ones asked were not sent while the frame was drawn";

    // The frame is over: the next tick hands everything over, in the service's order.
    run.source->tick();
    EXPECT_TRUE(run.source->finished());
    const Pairs want = expected_friendships(kFriends);
    EXPECT_EQ(target.connections.size(), want.size());
    EXPECT_EQ(Pairs(target.connections.begin(), target.connections.end()), want);
    EXPECT_EQ(target.odd_connections, 0);

    // Before the people are in, the waits take nothing: people change the scene.
    RecordingTarget early;
    ServiceRun second(30, &early);
    for (int i = 0; i < 50; ++i) second.source->tick_while_drawing(8);
    EXPECT_TRUE(early.calls.empty());
}

// The same with the controller on the real renderer: lines that arrive while a frame is drawn
// are all in the picture once the frames after it have come to rest.
TEST(AcquisitionFrames, LinesArrivingDuringASlowFrameAreAllDrawnOnceItEnds) {
    GlobeFixture g(640, 400);
    g.start();
    ServiceRun run(120, &g.c);
    g.c.m_while_drawing = [&] { run.source->tick_while_drawing(8); };
    ASSERT_TRUE(tick_until(*run.source, [&] {
        g.frame();
        return run.source->phase() == UTL_ServiceSource::Phase::kFriendships;
    }));
    const size_t lines_before = g.c.m_connections.size();

    // The slow frame: its waits take every answer while the scene keeps its lines.
    ASSERT_TRUE(wait_until([&] {
        g.c.m_while_drawing();
        return run.source->outstanding_requests() == 0;
    })) << "the service did not answer within a minute";
    EXPECT_EQ(g.c.m_connections.size(), lines_before);

    // After it: the lines go in, and the frames at rest come to the full-detail picture with
    // every one of them.
    run.source->tick();
    ASSERT_TRUE(run.source->finished());
    EXPECT_EQ(g.c.m_connections.size(), lines_before + expected_friendships(120).size());
    // The picture at rest once everything has settled (the people's arrival fades, the list
    // slides), and the full-detail picture of the same scene.
    const std::vector<uint8_t> rest = settled_picture(g);
    ASSERT_TRUE(g.c.m_glow_drew_whole) << "the picture at rest never held every dot";
    long long dots = 0;
    for (GFX_Connection* l : g.c.m_connections) {
        const int n = GFX_Connection::dot_count((l->m_end - l->m_start).length());
        dots += n > 1 ? n - 1 : 0;
    }
    EXPECT_EQ(g.c.m_glow_plan->figures().all, dots);
    g.c.m_glow_path = UTL_SimCtrlNimbra::GLOW_SPRITES;
    const std::vector<uint8_t> full = settled_picture(g);
    EXPECT_LT(rmse(rest, full), 0.01);
}
