// The Mastodon source's cache: the second start shows the whole network at once and asks
// nothing, even with every server gone; an old cache shows at once and stays in full when its
// refresh cannot reach the servers; an interrupted fetch resumes where it stopped, a broken file
// is read again from its server, and --refresh reads everything again and finds what changed.
// Files are owner-only and named by hashes.
#include "tests/support/mastodon_fixtures.h"

#include <sys/stat.h>

#include <dirent.h>
#include <fstream>

namespace {

// Every entry below dir, its path and its mode.
void walk(const std::string& dir, std::vector<std::pair<std::string, mode_t>>& out) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (lstat((dir + "/" + name).c_str(), &st) != 0) continue;
        out.emplace_back(dir + "/" + name, st.st_mode);
        if (S_ISDIR(st.st_mode)) walk(dir + "/" + name, out);
    }
    closedir(d);
}

// The last part of path is 32 hex digits, with ".json" or without.
bool hashed_name(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    if (name.size() == 37 && name.compare(32, 5, ".json") == 0) name.resize(32);
    return name.size() == 32 && name.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

TEST(MastodonCache, TheSecondStartIsInstantAndAnOldCacheStaysWhenTheServersAreGone) {
    MastodonFixture f;
    const std::time_t t0 = std::time(nullptr);
    std::time_t wall = t0;
    UTL_MastodonSourceOptions o = f.options("second");
    o.m_wall_clock = [&wall] { return wall; };
    {
        UTL_MastodonSource first(&f.target, nullptr, o);
        std::string error;
        ASSERT_TRUE(first.start(error)) << error;
        ASSERT_TRUE(f.run(first)) << first.status_text();
        f.expect_exact_network("fetched");
    }
    // Nothing the servers sent became a name; everything is the owner's alone.
    std::vector<std::pair<std::string, mode_t>> entries;
    walk(o.m_cache_dir, entries);
    ASSERT_GT(entries.size(), 26u);
    for (const auto& [path, mode] : entries) {
        EXPECT_TRUE(hashed_name(path)) << path;
        EXPECT_EQ(mode & 0777, S_ISDIR(mode) ? 0700u : 0600u) << path;
    }

    f.alpha.stop();
    f.beta.stop();
    f.gamma.stop();
    // An hour later: the whole network at the first frame, nothing asked, nothing to wait for.
    wall = t0 + 3600;
    {
        f.target = RecordingTarget();
        UTL_MastodonSource second(&f.target, nullptr, o);
        std::string error;
        ASSERT_TRUE(second.start(error)) << error;
        second.tick();
        EXPECT_TRUE(second.finished()) << second.status_text();
        EXPECT_TRUE(second.from_cache());
        EXPECT_EQ(second.requests_sent(), 0);
        f.expect_exact_network("from the cache");
        EXPECT_EQ(second.hidden_count(), 2u) << "what could not be read is remembered too";
    }
    // A day later the cache is old: it shows at once, is read again behind it, and stays in
    // full when the servers cannot be reached.
    wall = t0 + 25 * 3600;
    f.target = RecordingTarget();
    o.m_give_up_after = 2;
    UTL_MastodonSource third(&f.target, nullptr, o);
    std::string error;
    ASSERT_TRUE(third.start(error)) << error;
    third.tick();
    f.expect_exact_network("an old cache at once");
    EXPECT_NE(third.status_text().find("from the cache of"), std::string::npos)
        << third.status_text();
    ASSERT_TRUE(f.run(third));
    EXPECT_EQ(third.phase(), UTL_MastodonSource::Phase::kFailed);
    EXPECT_NE(third.failure_text().find("alpha.test"), std::string::npos) << third.failure_text();
    f.expect_exact_network("servers gone");
}

TEST(MastodonCache, AnInterruptedFetchResumesAndRefreshReadsEverythingAgain) {
    MastodonFixture f;
    int whole = 0;  // the requests of a fetch from nothing
    {
        UTL_MastodonSource scratch(&f.target, nullptr, f.options("scratch"));
        std::string error;
        ASSERT_TRUE(scratch.start(error)) << error;
        ASSERT_TRUE(f.run(scratch)) << scratch.status_text();
        whole = scratch.requests_sent();
    }
    f.target = RecordingTarget();
    UTL_MastodonSourceOptions o = f.options("resume");
    int before = 0;
    {
        UTL_MastodonSource first(&f.target, nullptr, o);
        std::string error;
        ASSERT_TRUE(first.start(error)) << error;
        // Stopped once some friends' lists are in.
        ASSERT_TRUE(tick_until(first, [&] { return f.target.connections.size() >= 26 + 12; }));
        EXPECT_FALSE(first.finished());
        before = first.requests_sent();
    }
    // A friend's file broken on disk is read again from their server.
    UTL_SourceCache files("mastodon", o.m_cache_dir);
    std::ofstream(files.path("me@alpha.test", "a01@alpha.test")) << "{\"version\":1,\"read\":";

    f.target = RecordingTarget();
    UTL_MastodonSource resumed(&f.target, nullptr, o);
    std::string error;
    ASSERT_TRUE(resumed.start(error)) << error;
    resumed.tick();
    EXPECT_NE(resumed.status_text().find("resuming"), std::string::npos) << resumed.status_text();
    ASSERT_TRUE(f.run(resumed)) << resumed.status_text();
    f.expect_exact_network("resumed");

    // Two friends became friends of each other since: --refresh reads everything again.
    f.world.follow("a02@alpha.test", "b09@beta.test");
    f.world.follow("b09@beta.test", "a02@alpha.test");
    f.target = RecordingTarget();
    o.m_refresh = true;
    UTL_MastodonSource refreshed(&f.target, nullptr, o);
    ASSERT_TRUE(refreshed.start(error)) << error;
    ASSERT_TRUE(f.run(refreshed)) << refreshed.status_text();
    f.expect_exact_network("refreshed");
    bool repeated = false;
    EXPECT_TRUE(f.lines(repeated).count({"a02@alpha.test", "b09@beta.test"}));
    // Asked twice: only what was on the wire at the stop (3 to a server), the pages already in of
    // a list not yet whole, and the friend whose file broke; never the whole fetch again.
    EXPECT_LE(before + resumed.requests_sent(), whole + 16)
        << "the resumed fetch asked only for what it lacked (" << before << " before it)";
}
