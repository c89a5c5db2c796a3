// nimbra-offscreen on a Bluesky network, as a person runs it, against the tests' own AppView:
// the whole network comes in and is saved as GraphML that reads back as the same network, the
// next start shows it from the cache with the AppView gone, and an unknown handle is said once
// with a failing exit status.
#include "service/graph_file.h"
#include "tests/support/bluesky_fixtures.h"

#include <sys/wait.h>

#include <fstream>
#include <sstream>

namespace {

struct ProgramRun {
    int status = -1;
    std::string err;
};

// The program with arguments (and environment assignments before it), in the test's home.
ProgramRun run(const std::string& environment, const std::string& args) {
    const std::string home = std::getenv("HOME");
    const std::string command = environment + " '" NIMBRA_OFFSCREEN_PROGRAM "' " + args +
                                " --until-loaded --frames 2 --size 160x120 >'" + home +
                                "/out.txt' 2>'" + home + "/err.txt'";
    ProgramRun r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(home + "/err.txt");
    std::ostringstream text;
    text << in.rdbuf();
    r.err = text.str();
    return r;
}

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(BlueskyProgram, ShowsSavesAndCachesTheNetworkAndRefusesAnUnknownHandle) {
    TestAppView view;
    build(view);
    const std::string home = std::getenv("HOME");
    const std::string saved = home + "/me.graphml";
    const size_t lines = view.lines_of("me.test").size();
    const std::string everything = "nimbra: Everything is in: 40 friends and " +
                                   std::to_string(lines) +
                                   " friendships among them (1 account no longer resolves)";

    ProgramRun first =
        run("NIMBRA_BLUESKY_HOST=" + view.url(), "--bluesky me.test --save-graph " + saved);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.err.find(everything), std::string::npos) << first.err;

    UTL_SocialNetwork network;
    std::vector<std::string> warnings;
    UTL_GraphSource source;
    source.m_graph_file = saved;
    std::string error;
    ASSERT_TRUE(UTL_GraphFile::load(source, network, error, warnings)) << error;
    ASSERT_TRUE(network.ego());
    EXPECT_EQ(network.ego()->m_uid, "did:plc:me");
    EXPECT_EQ(network.ego()->m_name, "Maya");
    const std::set<std::string> friends(network.friends().begin(), network.friends().end());
    EXPECT_EQ(friends, view.friends_of("me.test"));
    EXPECT_EQ(network.friendship_count(), lines + 40);
    for (const auto& [a, b] : view.lines_of("me.test")) EXPECT_TRUE(network.are_friends(a, b));
    EXPECT_EQ(network.find("did:plc:f3")->m_name, "f03.test") << "no display name: the handle";
    EXPECT_NE(network.find("did:plc:f1")->m_pic.find("@jpeg"), std::string::npos);

    ProgramRun unknown = run("", "--bluesky nobody.test --bluesky-host " + view.url());
    EXPECT_EQ(unknown.status, 1) << unknown.err;
    EXPECT_EQ(occurrences(unknown.err, "Unknown Bluesky handle nobody.test"), 1u) << unknown.err;

    // The AppView gone: the cached network, in full, and a good exit.
    view.stop();
    ProgramRun cached = run("", "--bluesky me.test --bluesky-host " + view.url());
    ASSERT_EQ(cached.status, 0) << cached.err;
    EXPECT_NE(cached.err.find(everything), std::string::npos) << cached.err;
}
