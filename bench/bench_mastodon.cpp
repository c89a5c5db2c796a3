// What a Mastodon network costs in requests and time: person 348 of the SNAP Facebook graph (229
// friends) as a network of mutual follows over two servers of the tests' own on 127.0.0.1 (the
// person and every other friend on alpha.test, the rest on beta.test), each friend also
// following accounts of a third domain in numbers drawn as follow counts spread (log-normal,
// median 200, up to Mastodon's 7,500), 7 friends hiding their lists. The servers allow 300
// requests per 5 minutes each, Mastodon's default; their clock and the source's jump over every
// wait, so the run takes a minute while the time it reports is what the waits would have cost;
// it starts where a window of the limits starts.
// Prints the requests by kind and server against the lower bound, that time as a ratio to the
// requests of the busier server at one a second (the limit's steady rate), the same network on
// one server, and the second start from the cache.
//   bench_mastodon
#include "sources/mastodon_source.h"
#include "tests/support/mastodon_server.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kEgo = 348;

// Counts what the source hands the scene.
struct Counter : UTL_AcquisitionTarget {
    std::vector<std::string> friends;
    size_t lines = 0;
    void add_myself(const char*, const char*, const char*, const char*) override {}
    void add_friend(const char* uid, const char*, const char*, const char*) override {
        friends.push_back(uid);
    }
    void create_friends_locators() override {}
    void add_connections_for_myself() override {}
    void add_connection(const char*, const char*, float, bool highlighted) override {
        lines += !highlighted;
    }
    int friend_count() const override { return static_cast<int>(friends.size()); }
    const char* get_friend_id(int i) const override { return friends[i].c_str(); }
};

// The person and their friends as accounts: alternately on alpha.test and beta.test, or all on
// alpha.test.
std::string uid_of(int person, int k, bool two) {
    return "u" + std::to_string(person) + ((two && k % 2) ? "@beta.test" : "@alpha.test");
}

// Person 348's network; false without the file.
// lines_out: the friendships among the friends; unseen_out: those between two friends who both
// hide their lists, which no reader can see.
bool build(TestFediverse& world, bool two, int& friends_out, int& lines_out, int& unseen_out) {
    std::ifstream in(std::string(NIMBRA_SHARED_DATA_DIR) + "/facebook_combined.txt");
    if (!in) return false;
    std::vector<std::pair<int, int>> edges;
    int a = 0, b = 0;
    while (in >> a >> b) edges.emplace_back(a, b);
    std::set<int> friend_set;
    for (const auto& [u, v] : edges) {
        if (u == kEgo) friend_set.insert(v);
        if (v == kEgo) friend_set.insert(u);
    }
    std::vector<int> friends(friend_set.begin(), friend_set.end());
    std::map<int, std::string> uid;
    std::set<int> hiding;
    uid[kEgo] = uid_of(kEgo, 0, two);
    for (size_t k = 0; k < friends.size(); ++k) uid[friends[k]] = uid_of(friends[k], k + 1, two);
    world.add({uid[kEgo], "Person 348", "png", false});
    for (size_t k = 0; k < friends.size(); ++k) {
        world.add({uid[friends[k]], "Person " + std::to_string(friends[k]), k % 2 ? "gif" : "png",
                   k % 33 == 5});
        if (k % 33 == 5) hiding.insert(friends[k]);
    }
    constexpr int kOthers = 20000;
    for (int x = 0; x < kOthers; ++x)
        world.add({"x" + std::to_string(x) + "@other.test", "", "", false});
    for (int f : friends) {
        world.follow(uid[kEgo], uid[f]);
        world.follow(uid[f], uid[kEgo]);
    }
    lines_out = 0;
    unseen_out = 0;
    for (const auto& [u, v] : edges) {
        if (!uid.count(u) || !uid.count(v) || u == kEgo || v == kEgo) continue;
        world.follow(uid[u], uid[v]);
        world.follow(uid[v], uid[u]);
        ++lines_out;
        unseen_out += hiding.count(u) && hiding.count(v);
    }
    std::mt19937 random(229);
    std::lognormal_distribution<double> follows(std::log(200.0), 1.0);
    std::uniform_int_distribution<int> other(0, kOthers - 1);
    for (int f : friends) {
        const int extra = std::min(7500, static_cast<int>(follows(random)));
        for (int k = 0; k < extra; ++k)
            world.follow(uid[f], "x" + std::to_string(other(random)) + "@other.test");
    }
    // The person's own one-way follows and followers, as anyone has.
    for (int x = 0; x < 100; ++x) world.follow(uid[kEgo], "x" + std::to_string(x) + "@other.test");
    for (int x = 100; x < 300; ++x)
        world.follow("x" + std::to_string(x) + "@other.test", uid[kEgo]);
    friends_out = static_cast<int>(friends.size());
    return true;
}

struct Result {
    double seconds = 0;       // what the run would take at the servers' limits
    double real_seconds = 0;  // what it took here
    int requests = 0;
    int bound = 0;
    size_t friends = 0, lines = 0, hidden = 0;
    std::map<std::string, int> by_server;
    int by_kind[UTL_MastodonSource::kKinds] = {};
};

Result run(TestMastodon& alpha, TestMastodon& beta, const std::string& cache) {
    std::atomic<double> skipped{0};
    UTL_MastodonSourceOptions o;
    o.m_account = uid_of(kEgo, 0, true);
    o.m_resolve = {{"alpha.test", alpha.url()}, {"beta.test", beta.url()}};
    o.m_cache_dir = cache;
    o.m_clock = [&skipped] {
        return Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(skipped.load()));
    };
    // The run starts as a window of the servers' limits does (they share one clock): the
    // figure does not hang on where in its window a run happens to start.
    const double to_window = std::ceil(alpha.now() / 300.0) * 300.0 - alpha.now() + 0.01;
    alpha.advance(to_window);
    beta.advance(to_window);
    Counter target;
    UTL_MastodonSource source(&target, nullptr, o);
    const Clock::time_point start = Clock::now();
    std::string error;
    if (!source.start(error)) std::fprintf(stderr, "bench_mastodon: %s\n", error.c_str());
    while (!source.finished()) {
        source.tick();
        if (source.waiting()) {
            // Every server with work waits for its window: that second passes at once.
            skipped.store(skipped.load() + 1.0);
            alpha.advance(1.0);
            beta.advance(1.0);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    Result r;
    r.real_seconds = std::chrono::duration<double>(Clock::now() - start).count();
    r.seconds = r.real_seconds + skipped.load();
    r.requests = source.requests_sent();
    r.bound = source.lower_bound();
    r.friends = target.friends.size();
    r.lines = target.lines;
    r.hidden = source.hidden_count();
    r.by_server = source.requests_by_server();
    for (int k = 0; k < UTL_MastodonSource::kKinds; ++k)
        r.by_kind[k] = source.requests_sent(static_cast<UTL_MastodonSource::Kind>(k));
    if (source.phase() != UTL_MastodonSource::Phase::kDone)
        std::fprintf(stderr, "bench_mastodon: %s\n", source.failure_text().c_str());
    return r;
}

std::string minutes(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f min", seconds / 60.0);
    return text;
}

}  // namespace

int main() {
    char dir[] = "/tmp/nimbra-bench-mastodon-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string cache = dir;
    int friends = 0, lines = 0, unseen = 0;
    Result first, second, one;
    {
        TestFediverse world;
        TestMastodon alpha(world, {"alpha.test", "", 300, 300, ""});
        TestMastodon beta(world, {"beta.test", "", 300, 300, ""});
        if (!build(world, true, friends, lines, unseen)) {
            std::printf("bench_mastodon: %s/facebook_combined.txt is missing\n",
                        NIMBRA_SHARED_DATA_DIR);
            return 0;
        }
        first = run(alpha, beta, cache + "/two");
        if (alpha.over_limit() + beta.over_limit() > 0)
            std::printf("the servers' limits were not kept: %d and %d requests too many\n",
                        alpha.over_limit(), beta.over_limit());
        second = run(alpha, beta, cache + "/two");
    }
    {
        TestFediverse world;
        TestMastodon alpha(world, {"alpha.test", "", 300, 300, ""});
        TestMastodon beta(world, {"beta.test", "", 300, 300, ""});
        int f = 0, l = 0, u = 0;
        build(world, false, f, l, u);
        one = run(alpha, beta, cache + "/one");
    }

    std::printf(
        "Mastodon network of SNAP person %d: %zu friends (%d in the graph), %zu lines (%d "
        "in the graph, %d of them between two friends who both hide their lists), %zu "
        "friends hide their follows\n",
        kEgo, first.friends, friends, first.lines, lines, unseen, first.hidden);
    std::printf("requests: %d, lower bound %d, ratio %.3f\n", first.requests, first.bound,
                static_cast<double>(first.requests) / first.bound);
    const char* kinds[] = {"lookup (person)",     "WebFinger (person)",  "following (person)",
                           "followers (person)",  "WebFinger (friends)", "lookup (friends)",
                           "following (friends)", "followers (friends)"};
    for (int k = 0; k < UTL_MastodonSource::kKinds; ++k)
        std::printf("  %-22s %d\n", kinds[k], first.by_kind[k]);
    int busiest = 0;
    for (const auto& [server, n] : first.by_server) {
        std::printf("  to %-19s %d\n", server.c_str(), n);
        busiest = std::max(busiest, n);
    }
    std::printf(
        "time at 300 requests per 5 minutes per server (waits skipped on a clock the "
        "servers share): %s (%.0f s, %.1f s of it here);"
        " ratio to the busier server's requests at 1/s (%.0f s): %.3f\n",
        minutes(first.seconds).c_str(), first.seconds, first.real_seconds,
        static_cast<double>(busiest), first.seconds / busiest);
    std::printf("the same network on one server: %d requests, %s; ratio to two servers: %.3f\n",
                one.requests, minutes(one.seconds).c_str(), one.seconds / first.seconds);
    std::printf("second start from the cache: %d requests, %.3f s (%.5f of the first)\n",
                second.requests, second.seconds, second.seconds / first.seconds);
    std::string clean = "rm -rf '" + cache + "'";
    return std::system(clean.c_str()) == 0 ? 0 : 1;
}
