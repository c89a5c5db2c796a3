// nimbra-offscreen on a Mastodon network, as a person runs it, against the tests' own servers
// reached through --mastodon-resolve: the whole network comes in and is saved as GraphML with
// the avatars' still pictures, the next start shows it from the cache with every server gone,
// and an unknown account or an own server that refuses anonymous reads is said once with a
// failing exit status.
#include "service/graph_file.h"
#include "tests/support/mastodon_fixtures.h"

#include <sys/wait.h>

#include <fstream>
#include <sstream>

namespace {

struct ProgramRun {
    int status = -1;
    std::string err;
};

ProgramRun run(const std::string& args) {
    const std::string home = std::getenv("HOME");
    const std::string command = "'" NIMBRA_OFFSCREEN_PROGRAM "' " + args +
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

TEST(MastodonProgram, ShowsSavesAndCachesTheNetworkAndRefusesWhatItCannotShow) {
    MastodonFixture f;
    const std::string home = std::getenv("HOME");
    const std::string saved = home + "/me.graphml";
    const std::string resolve = " --mastodon-resolve alpha.test=" + f.alpha.url() +
                                " --mastodon-resolve beta.test=" + f.beta.url() +
                                " --mastodon-resolve social.beta.test=" + f.beta.url() +
                                " --mastodon-resolve gamma.test=" + f.gamma.url();
    const size_t lines = f.world.lines_of("me@alpha.test", unread_friends()).size();
    const std::string everything =
        "nimbra: Everything is in: 26 friends and " + std::to_string(lines) +
        " friendships among them (2 friends hide their follows; 2 friends' follows could not "
        "be read (gamma.test refuses anonymous reads))";

    ProgramRun first = run("--mastodon @me@alpha.test" + resolve + " --save-graph " + saved);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.err.find(everything), std::string::npos) << first.err;
    EXPECT_EQ(occurrences(first.err, "gamma.test refuses anonymous reads, so"), 1u) << first.err;

    UTL_SocialNetwork network;
    std::vector<std::string> warnings;
    UTL_GraphSource source;
    source.m_graph_file = saved;
    std::string error;
    ASSERT_TRUE(UTL_GraphFile::load(source, network, error, warnings)) << error;
    ASSERT_TRUE(network.ego());
    EXPECT_EQ(network.ego()->m_uid, "me@alpha.test");
    EXPECT_EQ(network.ego()->m_name, "Maya");
    const std::set<std::string> friends(network.friends().begin(), network.friends().end());
    EXPECT_EQ(friends, f.world.friends_of("me@alpha.test"));
    EXPECT_EQ(network.friendship_count(), lines + 26);
    EXPECT_EQ(network.find("b00@beta.test")->m_name, "b00") << "no display name: the username";
    EXPECT_NE(network.find("a01@alpha.test")->m_pic.find("/avatars/static/"), std::string::npos);
    EXPECT_NE(network.find("b02@beta.test")->m_pic.find(".gif"), std::string::npos);

    ProgramRun unknown = run("--mastodon nobody@alpha.test" + resolve);
    EXPECT_EQ(unknown.status, 1) << unknown.err;
    EXPECT_EQ(occurrences(unknown.err, "Unknown Mastodon account nobody@alpha.test"), 1u)
        << unknown.err;

    ProgramRun refused = run("--mastodon c00@gamma.test" + resolve);
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_EQ(occurrences(refused.err, "gamma.test refuses anonymous reads: give a token"), 1u)
        << refused.err;

    // Every server gone: the cached network, in full, and a good exit.
    f.alpha.stop();
    f.beta.stop();
    f.gamma.stop();
    ProgramRun cached = run("--mastodon me@alpha.test" + resolve);
    ASSERT_EQ(cached.status, 0) << cached.err;
    EXPECT_NE(cached.err.find(everything), std::string::npos) << cached.err;
}
