// Tests of the acquisition against a service that misbehaves: errors, garbage, answers cut
// short or too slow, a service that is not there, the user anywhere in the people's answer,
// and friendships naming nobody. The program goes on and keeps what it has.
#include "tests/support/acquisition_fixtures.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using Clock = std::chrono::steady_clock;

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

double ms_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

struct FaultRun {
    FaultyService service;
    RecordingTarget target;
    std::vector<std::string> titles;
    std::unique_ptr<UTL_Acquisition> acquisition;

    FaultRun(UTL_SocialNetwork net, FaultyService::FaultFunction fault,
             unsigned int batch_frames = 0, const std::string& url = "")
        : service(std::move(net)) {
        service.set_fault(std::move(fault));
        UTL_AcquisitionOptions o = test_options(url.empty() ? service.url() : url);
        o.m_batch_frames = batch_frames;
        acquisition = std::make_unique<UTL_Acquisition>(
            &target, [this](const std::string& t) { titles.push_back(t); }, o);
        std::string error;
        EXPECT_TRUE(acquisition->start(error)) << error;
    }
};

// Moves the user's entry of a user-info answer to position `at` among the children.
std::string user_moved(const std::string& answer, size_t at) {
    pugi::xml_document doc;
    doc.load_string(answer.c_str());
    pugi::xml_node root = doc.document_element();
    pugi::xml_node me;
    std::vector<pugi::xml_node> others;
    for (pugi::xml_node u : root.children("user")) {
        if (std::string(u.child_value("uid")) == "me") me = u;
        else others.push_back(u);
    }
    if (at >= others.size()) root.append_move(me);
    else root.insert_move_before(me, others[at]);
    std::ostringstream out;
    doc.save(out);
    return out.str();
}

}  // namespace

TEST(AcquisitionFaults, FailedFriendsRequestsAreRepeatedAfterGrowingWaits) {
    testing::internal::CaptureStderr();
    int failures_left = 3;
    FaultRun run(numbered_network(5), [&](const std::string& method, const std::string&) {
        FaultyService::Fault f;
        if (method == "facebook.friends.get" && failures_left-- > 0) {
            f.body = UTL_SocialService::error_xml(2, "Service temporarily unavailable");
        }
        return f;
    });
    ASSERT_TRUE(
        tick_until(*run.acquisition, [&] { return run.acquisition->friendships_loaded(); }));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(run.target.friends.size(), 5u);
    EXPECT_EQ(run.acquisition->failed_friends_requests(), 3);
    EXPECT_EQ(count_of(log, "the friends request failed (error 2: Service temporarily"), 3) << log;
    auto times = run.service.times("facebook.friends.get");
    ASSERT_EQ(times.size(), 4u);
    // Waits of 20, 40 and 80 ms (the test's first wait is 20 ms).
    EXPECT_GE(ms_between(times[0], times[1]), 20.0);
    EXPECT_GE(ms_between(times[1], times[2]), 40.0);
    EXPECT_GE(ms_between(times[2], times[3]), 80.0);
}

TEST(AcquisitionFaults, AFriendsAnswerThatIsAlwaysWrongDoesNotHammerTheService) {
    testing::internal::CaptureStderr();
    FaultRun run(numbered_network(5), [](const std::string& method, const std::string&) {
        FaultyService::Fault f;
        if (method == "facebook.friends.get") f.body = "<html>Service Unavailable</html>";
        return f;
    });
    auto end = Clock::now() + std::chrono::milliseconds(700);
    int frames = 0;
    tick_until(*run.acquisition, [&] { return ++frames > 0 && Clock::now() > end; });
    testing::internal::GetCapturedStderr();
    // Waits of 20, 40, 80, 160, 160 ... ms: a handful of requests, not one per frame.
    int calls = run.service.calls("facebook.friends.get");
    EXPECT_GE(calls, 4);
    EXPECT_LE(calls, 8);
    EXPECT_GT(frames, 100);
    EXPECT_TRUE(run.target.calls.empty());
}

TEST(AcquisitionFaults, TheUserMayComeAnywhereInThePeoplesAnswer) {
    for (size_t at : {size_t(0), size_t(2), size_t(99)}) {
        SCOPED_TRACE(at);
        FaultRun run(numbered_network(4),
                     [at](const std::string& method, const std::string& answer) {
                         FaultyService::Fault f;
                         if (method == "facebook.users.getInfo") f.body = user_moved(answer, at);
                         return f;
                     });
        ASSERT_TRUE(
            tick_until(*run.acquisition, [&] { return run.acquisition->friendships_loaded(); }));
        std::vector<std::string> expected;
        for (int i = 0; i < 4; ++i) {
            if (static_cast<size_t>(i) == at) expected.push_back("myself me");
            expected.push_back("friend " + std::to_string(1000 + i));
            expected.push_back("layout");
        }
        // Last: no layout follows the user, so the user waits for the next friend's layout.
        if (at >= 4) expected.push_back("myself me");
        expected.push_back("my lines");
        EXPECT_EQ(run.target.calls, expected);
        EXPECT_EQ(run.titles, std::vector<std::string>{"Nimbra | Maya Moreau"});
    }
}

TEST(AcquisitionFaults, ABadFriendshipAnswerCostsOnlyItsOwnBatch) {
    testing::internal::CaptureStderr();
    std::atomic<int> batch{0};
    FaultRun run(numbered_network(100), [&](const std::string& method, const std::string& answer) {
        FaultyService::Fault f;
        if (method != "facebook.friends.areFriends") return f;
        switch (++batch) {
            case 1:
                f.body = UTL_SocialService::error_xml(1, "Unknown error");
                break;
            case 2:
                f.body = "\x89garbage<<<";
                break;
            case 3:
                f.cut = true;
                break;
            case 4:
                f.delay_ms = 1500;
                break;  // past the test's 1 s time-out
            case 6: {
                // A friendship with somebody nobody knows is passed on as it is.
                std::string extra =
                    "<friend_info><uid1>ghost</uid1><uid2>1000</uid2>"
                    "<are_friends>1</are_friends></friend_info>";
                f.body = answer;
                f.body.insert(f.body.rfind("</friends_areFriends_response>"), extra);
                break;
            }
            default:
                break;
        }
        return f;
    });
    // Frames keep coming while the slow answer is awaited: no frame waits for the network.
    double longest_ms = 0;
    ASSERT_TRUE(tick_until(*run.acquisition, [&] {
        static Clock::time_point last = Clock::now();
        longest_ms = std::max(longest_ms, ms_between(last, Clock::now()));
        last = Clock::now();
        return run.acquisition->friendships_loaded();
    }));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_of(log, "gotAreFriends failed\n"), 4) << log;
    EXPECT_LT(longest_ms, 500.0);  // the slow answer takes 1000 ms to time out

    // Everyone is still there; the lines of batches 5 and 6 arrived, and the stranger's.
    EXPECT_EQ(run.target.friends.size(), 100u);
    const auto& batches = run.acquisition->sent_batches();
    ASSERT_EQ(batches.size(), 6u);
    std::set<std::pair<std::string, std::string>> expected{{"ghost", "1000"}};
    for (unsigned i = batches[4].m_first; i < 100; ++i) {
        for (unsigned j = i + 1; j < 100; ++j) {
            if ((i + j) % 7 == 3)
                expected.emplace(std::to_string(1000 + i), std::to_string(1000 + j));
        }
    }
    std::set<std::pair<std::string, std::string>> got(run.target.connections.begin(),
                                                      run.target.connections.end());
    EXPECT_EQ(got, expected);
}

TEST(AcquisitionFaults, AServiceThatIsNotThereLeavesAnEmptyGlobe) {
    testing::internal::CaptureStderr();
    FaultRun run(numbered_network(3), nullptr, 0, "http://127.0.0.1:1/restserver.php");
    int frames = 0;
    tick_until(*run.acquisition, [&] { return ++frames > 300; });
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_of(log, "Facebook login failed\n"), 1) << log;
    EXPECT_TRUE(run.target.calls.empty());
    EXPECT_EQ(run.acquisition->connection()->pending_requests(), 0);

    // An unreadable graph file: start() says why and nothing runs.
    RecordingTarget target;
    UTL_AcquisitionOptions o = test_options("");
    o.m_graph_file = "/nonexistent/graph.txt";
    UTL_Acquisition a(&target, nullptr, o);
    std::string error;
    EXPECT_FALSE(a.start(error));
    EXPECT_NE(error.find("/nonexistent/graph.txt"), std::string::npos);
    a.tick();
}
