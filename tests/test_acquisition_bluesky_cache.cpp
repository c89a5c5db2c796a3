// The Bluesky source's cache: the second start shows the whole network at once and asks
// nothing, even with the AppView gone; an old cache shows at once and is read again behind it
// (or stays in full when the AppView cannot be reached); an interrupted fetch resumes where it
// stopped; --refresh reads everything again and finds what changed; broken cache files are
// read from the AppView instead. Files are owner-only and named by hashes.
#include "tests/support/bluesky_fixtures.h"

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

TEST(BlueskyCache, TheSecondStartIsInstantAndAnOldCacheStaysWhenTheAppViewIsGone) {
    BlueskyFixture f;
    const std::time_t t0 = std::time(nullptr);
    std::time_t wall = t0;
    UTL_BlueskySourceOptions o = f.options("second");
    o.m_wall_clock = [&wall] { return wall; };
    {
        UTL_BlueskySource first(&f.target, nullptr, o);
        std::string error;
        ASSERT_TRUE(first.start(error)) << error;
        ASSERT_TRUE(f.run(first)) << first.status_text();
        f.expect_exact_network("fetched");
    }
    // Nothing the network sent became a name; everything is the owner's alone.
    std::vector<std::pair<std::string, mode_t>> entries;
    walk(o.m_cache_dir, entries);
    ASSERT_GT(entries.size(), 40u);
    for (const auto& [path, mode] : entries) {
        EXPECT_TRUE(hashed_name(path)) << path;
        EXPECT_EQ(mode & 0777, S_ISDIR(mode) ? 0700u : 0600u) << path;
    }

    f.view.stop();
    // An hour later: the whole network at the first frame, nothing asked, nothing to wait for.
    wall = t0 + 3600;
    {
        f.target = RecordingTarget();
        UTL_BlueskySource source(&f.target, nullptr, o);
        std::string error;
        ASSERT_TRUE(source.start(error)) << error;
        source.tick();
        EXPECT_TRUE(source.finished());
        EXPECT_EQ(source.phase(), UTL_BlueskySource::Phase::kDone);
        EXPECT_EQ(source.requests_sent(), 0);
        EXPECT_TRUE(source.from_cache());
        f.expect_exact_network("from the cache");
    }
    // A day later: shown at once all the same, then read again in the background, which
    // cannot reach the AppView; the network stays in full.
    wall = t0 + 25 * 3600;
    f.target = RecordingTarget();
    o.m_give_up_after = 3;
    UTL_BlueskySource stale(&f.target, nullptr, o);
    std::string error;
    ASSERT_TRUE(stale.start(error)) << error;
    stale.tick();
    f.expect_exact_network("an old cache");
    EXPECT_NE(stale.status_text().find("Bluesky: from the cache of "), std::string::npos)
        << stale.status_text();
    EXPECT_NE(stale.status_text().find("; refreshing"), std::string::npos) << stale.status_text();
    ASSERT_TRUE(f.run(stale));
    EXPECT_EQ(stale.phase(), UTL_BlueskySource::Phase::kFailed);
    EXPECT_NE(stale.failure_text().find("Cannot reach the Bluesky AppView at 127.0.0.1:"),
              std::string::npos)
        << stale.failure_text();
    f.expect_exact_network("after the refresh failed");
}

TEST(BlueskyCache, AnInterruptedFetchResumesWhereItStopped) {
    BlueskyFixture f;
    const UTL_BlueskySourceOptions o = f.options("resume");
    int read_before = 0;
    {
        UTL_BlueskySource first(&f.target, nullptr, o);
        std::string error;
        ASSERT_TRUE(first.start(error)) << error;
        // Stopped (the program quit) after a dozen friends' follows.
        ASSERT_TRUE(tick_until(
            first, [&] { return first.requests_sent(UTL_BlueskySource::kFollows) >= 14; }));
        read_before = f.view.calls("app.bsky.graph.getFollows") - 2;  // the person's two pages
        first.shutdown();
    }
    f.target = RecordingTarget();
    UTL_BlueskySource again(&f.target, nullptr, o);
    std::string error;
    ASSERT_TRUE(again.start(error)) << error;
    again.tick();
    EXPECT_EQ(f.target.friends.size(), 40u) << "the friends come from the cache at once";
    EXPECT_NE(again.status_text().find("Bluesky: resuming: follows of "), std::string::npos)
        << again.status_text();
    ASSERT_TRUE(f.run(again)) << again.status_text();
    f.expect_exact_network("resumed");
    EXPECT_EQ(again.requests_sent(UTL_BlueskySource::kEgoProfile), 0);
    EXPECT_EQ(again.requests_sent(UTL_BlueskySource::kProfiles), 0);
    // What had been read is not read again (a friend in the middle of their pages may be).
    EXPECT_LE(again.requests_sent(UTL_BlueskySource::kFollows), 38 - read_before + 4);
    EXPECT_GE(read_before, 8);
}

TEST(BlueskyCache, RefreshReadsEverythingAgainAndBrokenFilesAreReadFromTheAppView) {
    BlueskyFixture f;
    UTL_BlueskySourceOptions o = f.options("refresh");
    {
        UTL_BlueskySource first(&f.target, nullptr, o);
        std::string error;
        ASSERT_TRUE(first.start(error)) << error;
        ASSERT_TRUE(f.run(first));
    }
    // Meanwhile: a new friend, friends with f02, and f10 and f11 follow each other now.
    f.view.add({"did:plc:new", "new.test", "Newcomer", "webp", false});
    for (const char* h : {"me.test", "f02.test"}) {
        f.view.follow("new.test", h);
        f.view.follow(h, "new.test");
    }
    f.view.follow("f10.test", "f11.test");
    f.view.follow("f11.test", "f10.test");
    ASSERT_EQ(f.view.friends_of("me.test").size(), 41u);

    f.target = RecordingTarget();
    o.m_refresh = true;
    {
        UTL_BlueskySource refresh(&f.target, nullptr, o);
        std::string error;
        ASSERT_TRUE(refresh.start(error)) << error;
        refresh.tick();
        EXPECT_EQ(f.target.friends.size(), 40u) << "the cached network first";
        EXPECT_NE(refresh.status_text().find("; refreshing"), std::string::npos);
        ASSERT_TRUE(f.run(refresh)) << refresh.status_text();
        EXPECT_EQ(refresh.requests_sent(UTL_BlueskySource::kFollows), 39) << "each side again";
    }
    // g00 stays on this globe (nothing shown is taken away); the newcomer and the new lines
    // joined it.
    const std::set<std::string> friends(f.target.friends.begin(), f.target.friends.end());
    EXPECT_TRUE(friends.count("did:plc:new"));
    bool repeated = false;
    const auto lines = f.lines(repeated);
    EXPECT_FALSE(repeated);
    for (const auto& line : f.view.lines_of("me.test"))
        EXPECT_TRUE(lines.count(line)) << line.first;

    // Every cache file broken: nothing is lost, the AppView is asked instead.
    std::vector<std::pair<std::string, mode_t>> entries;
    walk(o.m_cache_dir, entries);
    for (const auto& [path, mode] : entries)
        if (!S_ISDIR(mode)) std::ofstream(path, std::ios::trunc) << "{\"version\":1,\"read\":";
    f.target = RecordingTarget();
    o.m_refresh = false;
    UTL_BlueskySource broken(&f.target, nullptr, o);
    std::string error;
    ASSERT_TRUE(broken.start(error)) << error;
    ASSERT_TRUE(f.run(broken)) << broken.status_text();
    EXPECT_FALSE(broken.from_cache());
    EXPECT_EQ(broken.requests_sent(UTL_BlueskySource::kResolveHandle), 1);
    const std::set<std::string> now(f.target.friends.begin(), f.target.friends.end());
    EXPECT_EQ(now, f.view.friends_of("me.test"));
    EXPECT_EQ(f.lines(repeated), f.view.lines_of("me.test"));
}
