// Tests of the acquisition when the way to the service breaks: through a real proxy that
// refuses, resets, answers HTTP 500, an HTML page or garbage, cuts answers short or stalls,
// the globe keeps what it shows, the request is asked again after waits of 1, 2, 4 ... s, and
// once the fault ends every friendship of the graph file arrives. Also a stale session, a
// service that refuses the application for good, and the user anywhere in the people's answer.
#include "tests/support/acquisition_fixtures.h"
#include "tests/support/fault_proxy.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

namespace {

using Pairs = std::set<std::pair<std::string, std::string>>;

std::pair<std::string, std::string> ordered(const std::string& a, const std::string& b) {
    return a < b ? std::make_pair(a, b) : std::make_pair(b, a);
}

// A graph file: person 0 with friends 1 to 100, friendships among them, strangers 200 to 219
// who know some of them, a repeated line and a comment. Answers the friendships among the
// friends as the file has them.
Pairs write_graph(const std::string& path) {
    std::ofstream out(path);
    out << "# ego 0 and a hundred friends\n";
    Pairs among;
    for (int i = 1; i <= 100; ++i) out << "0 " << i << "\n";
    for (int i = 1; i <= 100; ++i) {
        for (int j = i + 1; j <= 100; ++j) {
            if ((i * j) % 11 == 1 || (i + j) % 13 == 0) {
                out << i << " " << j << "\n";
                among.insert(ordered(std::to_string(i), std::to_string(j)));
            }
        }
    }
    for (int s = 200; s < 220; ++s) out << s << " " << (s % 100) + 1 << "\n";
    out << "12 1\n";  // a repeat, the other way round
    return among;
}

std::string temp_path(const std::string& name) {
    return testing::TempDir() + "nimbra_faults_" + std::to_string(getpid()) + "_" + name;
}

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The service reading the graph file, the proxy in front of it, and the acquisition talking
// through the proxy with a clock of the test's.
struct ProxyRun {
    Pairs file_friendships;
    std::unique_ptr<UTL_SocialService> service;
    std::unique_ptr<FaultProxy> proxy;
    FakeClock clock;
    RecordingTarget target;
    UTL_ServiceSourceOptions options;
    std::unique_ptr<UTL_ServiceSource> acquisition;

    // Batches every second of the test's clock, so a fault can come between two of them.
    explicit ProxyRun(double batch_interval_s = 1.0) {
        const std::string graph = temp_path("graph.txt");
        file_friendships = write_graph(graph);
        UTL_SocialNetwork net;
        std::string error, warning;
        EXPECT_TRUE(net.read_edge_list(graph, error, warning)) << error;
        EXPECT_TRUE(net.set_ego("0"));
        service = std::make_unique<UTL_SocialService>(std::move(net), kNimbraApiKey, kNimbraSecret);
        EXPECT_GT(service->start("127.0.0.1", 0), 0);
        proxy = std::make_unique<FaultProxy>(service->port());
        EXPECT_TRUE(proxy->ok());
        options = test_options(proxy->url("/restserver.php"), &clock);
        options.m_batch_interval_s = batch_interval_s;
    }
    UTL_ServiceSource& start() {
        acquisition = std::make_unique<UTL_ServiceSource>(&target, nullptr, options);
        std::string error;
        EXPECT_TRUE(acquisition->start(error)) << error;
        return *acquisition;
    }
    // Ticks until every request sent has its answer (or failure).
    bool settle() {
        return tick_until(*acquisition, [&] { return acquisition->outstanding_requests() == 0; });
    }
    // Frames, with the clock moved on whenever nothing is in flight, until done().
    template <class Done>
    bool run_until(Done done) {
        return tick_until(*acquisition, [&] {
            if (done()) return true;
            if (acquisition->outstanding_requests() == 0) clock.advance(0.5);
            return false;
        });
    }
    Pairs shown() const {
        Pairs out;
        for (const auto& [a, b] : target.connections) out.insert(ordered(a, b));
        return out;
    }
    std::string cannot_reach(const std::string& reason, int seconds) const {
        return "Cannot reach the social service at " + proxy->url("/restserver.php") + " (" +
               reason + "); trying again in " + std::to_string(seconds) + " s";
    }
};

}  // namespace

TEST(AcquisitionFaults, EachFaultKeepsTheGlobeAndEveryFriendshipArrivesOnceItEnds) {
    struct Case {
        const char* name;
        FaultProxy::Fault fault;
        std::string reason;
    } cases[] = {
        {"refuse", FaultProxy::Fault::kRefuse, "connection refused"},
        {"reset", FaultProxy::Fault::kReset, "connection reset"},
        {"HTTP 500", FaultProxy::Fault::kHttp500, "HTTP 500"},
        {"HTML page", FaultProxy::Fault::kHtmlPage, "an HTML page instead of the service's answer"},
        {"garbage", FaultProxy::Fault::kGarbage,
         "an unreadable answer (700 bytes that are not XML)"},
        {"cut short", FaultProxy::Fault::kCutShort, "the answer was cut short"},
        {"stall", FaultProxy::Fault::kStall, "no answer within 1 s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProxyRun run;
        UTL_ServiceSource& a = run.start();
        ASSERT_TRUE(run.run_until([&] { return a.answered_batches() == 2; }));
        ASSERT_TRUE(run.settle());
        const Pairs before = run.shown();
        ASSERT_FALSE(before.empty());

        testing::internal::CaptureStderr();
        run.proxy->set_fault(c.fault);
        run.clock.advance(1.0);  // the third batch is due, and meets the fault
        int frames_while_waiting = 0;
        for (int wait : {1, 2, 4, 8}) {
            ASSERT_TRUE(tick_until(a,
                                   [&] {
                                       frames_while_waiting += a.outstanding_requests() > 0;
                                       return a.retry_wait_ms() == wait * 1000 &&
                                              a.outstanding_requests() == 0;
                                   }))
                << "wait " << wait << ": " << a.status_text();
            EXPECT_EQ(a.status_text(), run.cannot_reach(c.reason, wait));
            // One request per wait, and nothing before the wait is over.
            const int failures = a.failed_requests();
            for (int frame = 0; frame < 20; ++frame) a.tick();
            run.clock.advance(wait - 0.1);
            for (int frame = 0; frame < 20; ++frame) a.tick();
            EXPECT_EQ(a.failed_requests(), failures);
            EXPECT_EQ(a.outstanding_requests(), 0);
            // Nothing on the globe goes away.
            EXPECT_EQ(run.shown(), before);
            EXPECT_EQ(run.target.friends.size(), 100u);
            if (wait < 8) run.clock.advance(0.1);
        }
        EXPECT_EQ(a.failed_requests(), 4);
        // Frames went on while a request was out: none waits for the network.
        EXPECT_GT(frames_while_waiting, 0);

        run.proxy->set_fault(FaultProxy::Fault::kNone);
        run.clock.advance(0.1);
        ASSERT_TRUE(run.run_until([&] { return a.finished(); }));
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(count_of(log, "gotAreFriends failed\n  (" + c.reason + "; asking again in "), 4)
            << log;
        EXPECT_EQ(a.phase(), UTL_ServiceSource::Phase::kDone);
        EXPECT_EQ(a.status_text(), "");
        EXPECT_EQ(run.target.connections.size(), run.file_friendships.size()) << "each pair once";
        EXPECT_EQ(run.shown(), run.file_friendships);
    }
}

TEST(AcquisitionFaults, LoginFriendsAndPeopleAreAskedAgainUntilAnswered) {
    ProxyRun run;
    run.proxy->set_fault(FaultProxy::Fault::kRefuse);
    testing::internal::CaptureStderr();
    UTL_ServiceSource& a = run.start();
    const auto only = [](const char* method) {
        return [method](const std::string& m) { return m == method; };
    };

    // No service: the login waits and says why, on screen and in the log.
    ASSERT_TRUE(tick_until(a, [&] { return a.failed_requests() == 1; }));
    EXPECT_EQ(a.status_text(), run.cannot_reach("connection refused", 1));
    // The service answers, but not the friends.
    run.proxy->set_fault(FaultProxy::Fault::kHttp500, only("facebook.friends.get"));
    run.clock.advance(1.0);
    ASSERT_TRUE(tick_until(a, [&] { return a.failed_requests() == 2; }));
    EXPECT_EQ(a.status_text(), run.cannot_reach("HTTP 500", 1))
        << "the login's answer reset the wait";
    // The friends come, but an HTML page instead of the people.
    run.proxy->set_fault(FaultProxy::Fault::kHtmlPage, only("facebook.users.getInfo"));
    run.clock.advance(1.0);
    ASSERT_TRUE(tick_until(a, [&] { return a.failed_requests() == 3; }));
    EXPECT_EQ(a.status_text(), run.cannot_reach("an HTML page instead of the service's answer", 1));
    EXPECT_TRUE(run.target.calls.empty());

    run.proxy->set_fault(FaultProxy::Fault::kNone);
    ASSERT_TRUE(run.run_until([&] { return a.finished(); }));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_of(log, "Facebook login failed\n  (connection refused; asking again in 1 s)\n"),
              1)
        << log;
    EXPECT_EQ(count_of(log, "the friends request failed (HTTP 500); asking again in 1 s\n"), 1);
    EXPECT_EQ(count_of(log,
                       "the user-info request failed (an HTML page instead of the service's "
                       "answer); asking again in 1 s\n"),
              1);
    EXPECT_EQ(run.proxy->requests("facebook.users.getInfo"), 2);
    EXPECT_EQ(run.target.friends.size(), 100u);
    EXPECT_EQ(run.shown(), run.file_friendships);
}

TEST(AcquisitionFaults, AStaleSessionIsDroppedAndTheLoginRunsAgain) {
    FaultyService service(numbered_network(42));
    std::atomic<int> batch{0};
    service.set_fault([&](const std::string& method, const std::string& answer) {
        FaultyService::Fault f;
        if (method != "facebook.friends.areFriends") return f;
        if (++batch == 1) {
            // A friendship with somebody nobody knows is passed on as it is.
            f.body = answer;
            f.body.insert(f.body.rfind("</friends_areFriends_response>"),
                          "<friend_info><uid1>ghost</uid1><uid2>1000</uid2>"
                          "<are_friends>1</are_friends></friend_info>");
        } else if (batch == 2) {
            f.body = UTL_SocialService::error_xml(102, "Session key invalid or no longer valid");
        }
        return f;
    });
    // A session kept by an earlier run that the service does not know.
    const std::string session = temp_path("session");
    std::ofstream(session) << "service " << service.url() << "\napi_key " << kNimbraApiKey
                           << "\nuid me\nsession_key stale\n";
    FakeClock clock;
    RecordingTarget target;
    UTL_ServiceSourceOptions o = test_options(service.url(), &clock);
    o.m_keep_session = true;
    o.m_session_path = session;
    o.m_batch_interval_s = 0.0;
    UTL_ServiceSource a(&target, nullptr, o);
    std::string error;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(a.start(error));
    ASSERT_TRUE(tick_until(a, [&] {
        if (a.outstanding_requests() == 0) clock.advance(1.0);
        return a.finished();
    }));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(a.phase(), UTL_ServiceSource::Phase::kDone);
    // The stale session at the start and the one refused in the middle: two logins.
    EXPECT_EQ(service.calls("users.getLoggedInUser"), 1);
    EXPECT_EQ(service.calls("auth.getSession"), 2);
    EXPECT_EQ(service.calls("facebook.friends.areFriends"), 3);
    std::ifstream kept(session);
    std::stringstream text;
    text << kept.rdbuf();
    EXPECT_EQ(text.str().find("stale"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("uid me"), std::string::npos);
    size_t lines = 1;  // the ghost's
    for (int i = 0; i < 42; ++i)
        for (int j = i + 1; j < 42; ++j) lines += (i + j) % 7 == 3;
    EXPECT_EQ(target.connections.size(), lines);
}

TEST(AcquisitionFaults, ARefusalForGoodAndAnEndToTheWaitsInOffscreenRuns) {
    // The wrong secret stays wrong: no wait, no new attempt, and the line says why.
    {
        ProxyRun run;
        run.options.m_secret = "00000000000000000000000000000000";
        testing::internal::CaptureStderr();
        UTL_ServiceSource& a = run.start();
        ASSERT_TRUE(tick_until(a, [&] { return a.finished(); }));
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(a.phase(), UTL_ServiceSource::Phase::kFailed);
        const std::string why = "The social service at " + run.proxy->url("/restserver.php") +
                                " refused the application (error 104: Incorrect signature)";
        EXPECT_EQ(a.status_text(), why);
        EXPECT_EQ(count_of(log, "Facebook login failed\n"), 1) << log;
        run.clock.advance(100.0);
        for (int frame = 0; frame < 20; ++frame) a.tick();
        EXPECT_EQ(run.proxy->requests("auth.createToken"), 1);
    }
    // An offscreen run stops waiting after so many failures in a row.
    {
        ProxyRun run;
        run.options.m_give_up_after = 3;
        run.proxy->set_fault(FaultProxy::Fault::kRefuse);
        testing::internal::CaptureStderr();
        UTL_ServiceSource& a = run.start();
        ASSERT_TRUE(run.run_until([&] { return a.finished(); }));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(a.failed_requests(), 3);
        EXPECT_EQ(a.failure_text(), "Cannot reach the social service at " +
                                        run.proxy->url("/restserver.php") +
                                        " (connection refused); gave up after 3 attempts");
    }
}

TEST(AcquisitionFaults, TheUserMayComeAnywhereInThePeoplesAnswer) {
    // Moves the user's entry of a user-info answer to position `at` among the children.
    auto user_moved = [](const std::string& answer, size_t at) {
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
    };
    for (size_t at : {size_t(0), size_t(2), size_t(99)}) {
        SCOPED_TRACE(at);
        FaultyService service(numbered_network(4));
        service.set_fault([&](const std::string& method, const std::string& answer) {
            FaultyService::Fault f;
            if (method == "facebook.users.getInfo") f.body = user_moved(answer, at);
            return f;
        });
        RecordingTarget target;
        std::vector<std::string> titles;
        UTL_ServiceSource a(
            &target, [&](const std::string& t) { titles.push_back(t); },
            test_options(service.url()));
        std::string error;
        ASSERT_TRUE(a.start(error));
        ASSERT_TRUE(tick_until(a, [&] { return a.finished(); }));
        std::vector<std::string> expected;
        for (int i = 0; i < 4; ++i) {
            if (static_cast<size_t>(i) == at) expected.push_back("myself me");
            expected.push_back("friend " + std::to_string(1000 + i));
        }
        // One layout, after the answer's last friend.
        expected.push_back("layout");
        // Last: no layout follows the user, so the user waits for the next friend's layout.
        if (at >= 4) expected.push_back("myself me");
        expected.push_back("my lines");
        EXPECT_EQ(target.calls, expected);
        EXPECT_EQ(titles, std::vector<std::string>{"Nimbra | Maya Moreau"});
    }
}
