// The page opener behind the maker logo: the address it makes of a page, and a real child
// process that gets exactly that address, is never waited for and leaves no zombie.
// NOTE: the opener's source is compiled into this test directly, so the test does not depend
// on which host library carries it.
#include "app/url_opener.cpp"

#include "tests/support/offscreen_gl.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

// A private folder that goes away with the test.
struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/nimbra_opener_XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~TempDir() {
        if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
    }
};

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool gone(pid_t pid) {
    return kill(pid, 0) != 0 && errno == ESRCH;  // a zombie still answers kill
}

}  // namespace

TEST(OverlayOpener, AddressOfAPage) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string sub = dir.path + "/about me #1";
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    std::ofstream(sub + "/about.html") << "<html></html>";

    char real[PATH_MAX];
    ASSERT_NE(realpath(dir.path.c_str(), real), nullptr);
    EXPECT_EQ(page_address(sub + "/./about.html"),
              "file://" + std::string(real) + "/about%20me%20%231/about.html");
    EXPECT_EQ(page_address("https://example.org/nimbra"), "https://example.org/nimbra");
    EXPECT_EQ(page_address(dir.path + "/missing.html"), "");
    EXPECT_EQ(page_address(""), "");
    // Not a scheme: a file of that name, which does not exist.
    EXPECT_EQ(page_address("-x://y"), "");
    EXPECT_EQ(page_address("1a://y"), "");

    // The page the application ships resolves from the resource folder.
    const std::string shipped = page_address(source_dir() + "/data/about.html");
    EXPECT_EQ(shipped.rfind("file:///", 0), 0u) << shipped;
}

TEST(OverlayOpener, StartsTheOpenerWithoutWaitingAndReapsIt) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string page = dir.path + "/page.html";
    std::ofstream(page) << "<html></html>";
    // A stand-in for the desktop's opener: writes down its arguments, then stays until the
    // test lets it go, so that a caller which waited for it could never return.
    const std::string opener = dir.path + "/opener";
    std::ofstream(opener) << "#!/bin/sh\necho \"$#:$1\" > \"$0.args\"\n"
                          << "while [ ! -e \"$0.go\" ]; do sleep 0.05; done\n";
    ASSERT_EQ(chmod(opener.c_str(), 0700), 0);

    const pid_t pid = open_url(page, opener.c_str());
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(gone(pid)) << "the opener ended although nothing let it go";
    std::ofstream(opener + ".go") << "";
    EXPECT_TRUE(wait_until([&] { return gone(pid); })) << "the opener was not reaped in 60 s";
    EXPECT_EQ(read_file(opener + ".args"), "1:" + page_address(page) + "\n");

    // A program that does not exist, or a page that does not, starts nothing.
    EXPECT_EQ(open_url(page, (dir.path + "/no-such-opener").c_str()), -1);
    EXPECT_EQ(open_url(dir.path + "/none.html", opener.c_str()), -1);
    EXPECT_EQ(open_url(page, ""), -1);
}
