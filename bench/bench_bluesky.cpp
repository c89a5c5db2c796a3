// What a Bluesky network costs in requests and time: person 0 of the SNAP Facebook graph (347
// friends) served as mutual follows by the tests' AppView on 127.0.0.1, each friend also
// following a number of other accounts drawn as Bluesky's follow counts spread (log-normal,
// median 250, a long tail into the thousands). Prints the requests used by kind against the
// lower bound (each friend's side the cheaper way, the profiles not counted), the time at the
// rate asked for (default 10 requests a second, the default ceiling) as a ratio to requests /
// rate measured in the same run, and the second start from the cache.
//   bench_bluesky [REQUESTS_PER_SECOND]
#include "sources/bluesky_source.h"
#include "tests/support/appview.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

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

std::string name_of(int person) { return "u" + std::to_string(person) + ".test"; }

// The SNAP graph's person 0 as a Bluesky network; false without the file.
bool build(TestAppView& view, int& friends_out) {
    std::ifstream in(std::string(NIMBRA_SHARED_DATA_DIR) + "/facebook_combined.txt");
    if (!in) return false;
    std::vector<std::pair<int, int>> edges;
    int a = 0, b = 0, people = 0;
    while (in >> a >> b) {
        edges.emplace_back(a, b);
        people = std::max(people, std::max(a, b) + 1);
    }
    for (int p = 0; p < people; ++p)
        view.add({"did:plc:u" + std::to_string(p), name_of(p), "Person " + std::to_string(p),
                  p % 2 ? "webp" : "", false});
    constexpr int kOthers = 20000;
    for (int x = 0; x < kOthers; ++x)
        view.add(
            {"did:plc:x" + std::to_string(x), "x" + std::to_string(x) + ".test", "", "", false});
    std::set<int> friends;
    for (const auto& [u, v] : edges) {
        view.follow(name_of(u), name_of(v));
        view.follow(name_of(v), name_of(u));
        if (u == 0) friends.insert(v);
    }
    // Each friend follows more accounts than the Facebook graph knows of.
    std::mt19937 random(347);
    std::lognormal_distribution<double> follows(std::log(250.0), 1.1);
    std::uniform_int_distribution<int> other(0, kOthers - 1);
    for (int f : friends) {
        const int extra = std::min(8000, static_cast<int>(follows(random)));
        for (int k = 0; k < extra; ++k)
            view.follow(name_of(f), "x" + std::to_string(other(random)) + ".test");
    }
    // The person's own one-way follows and followers, as anyone has.
    for (int x = 0; x < 300; ++x) view.follow(name_of(0), "x" + std::to_string(x) + ".test");
    for (int x = 300; x < 500; ++x) view.follow("x" + std::to_string(x) + ".test", name_of(0));
    friends_out = static_cast<int>(friends.size());
    return true;
}

struct Result {
    double seconds = 0;
    int requests = 0;
    size_t friends = 0, lines = 0;
};

Result run(const TestAppView& view, const std::string& cache, double rate,
           UTL_BlueskySource** keep = nullptr) {
    UTL_BlueskySourceOptions o;
    o.m_actor = name_of(0);
    o.m_host = view.url();
    o.m_cache_dir = cache;
    o.m_requests_per_second = rate;
    Counter target;
    auto* source = new UTL_BlueskySource(&target, nullptr, o);
    const Clock::time_point start = Clock::now();
    std::string error;
    if (!source->start(error)) std::fprintf(stderr, "bench_bluesky: %s\n", error.c_str());
    while (!source->finished()) {
        source->tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Result r;
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    r.requests = source->requests_sent();
    r.friends = target.friends.size();
    r.lines = target.lines;
    if (keep) {
        *keep = source;
    } else {
        delete source;
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const double rate = argc > 1 ? std::atof(argv[1]) : 10.0;
    TestAppView view;
    int friends = 0;
    if (!build(view, friends)) {
        std::printf("bench_bluesky: %s/facebook_combined.txt is missing\n", NIMBRA_SHARED_DATA_DIR);
        return 0;
    }
    char dir[] = "/tmp/nimbra-bench-bluesky-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string cache = dir;

    UTL_BlueskySource* source = nullptr;
    const Result first = run(view, cache, rate, &source);
    const int bound = source->lower_bound();
    std::printf("Bluesky network of SNAP person 0: %zu friends (%d in the graph), %zu lines\n",
                first.friends, friends, first.lines);
    std::printf("requests: %d, lower bound %d, ratio %.3f\n", first.requests, bound,
                static_cast<double>(first.requests) / bound);
    const char* kinds[] = {"resolveHandle",
                           "getProfile",
                           "getFollows (person)",
                           "getFollowers",
                           "getRelationships (person)",
                           "getProfiles",
                           "getFollows (friends)",
                           "getRelationships (friends)"};
    for (int k = 0; k < UTL_BlueskySource::kKinds; ++k)
        std::printf("  %-28s %d\n", kinds[k],
                    source->requests_sent(static_cast<UTL_BlueskySource::Kind>(k)));
    delete source;
    if (rate > 0) {
        const double ideal = first.requests / rate;
        std::printf("time at %.0f requests/s: %.1f s; ratio to requests / rate (%.1f s): %.3f\n",
                    rate, first.seconds, ideal, first.seconds / ideal);
    } else {
        std::printf("time without a ceiling: %.2f s\n", first.seconds);
    }
    const Result second = run(view, cache, rate);
    std::printf("second start from the cache: %d requests, %.3f s (%.4f of the first)\n",
                second.requests, second.seconds, second.seconds / first.seconds);
    std::string clean = "rm -rf '" + cache + "'";
    return std::system(clean.c_str()) == 0 ? 0 : 1;
}
