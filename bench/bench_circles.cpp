// The circles of a network and their arrangement on the globe: usage bench_circles. Prints
//   - the time to find the circles of 5,000 friends with about 100,000 friendships among them
//     (the benchmarks' network of 50 groups), against one breadth-first pass over the same graph
//     measured in the same run, and the time to arrange them;
//   - for the egos 0, 107, 1684 and 1912 of the SNAP Facebook file: the mean length of the lines
//     between friends in the order of arrival (the golden-angle spiral, friends by ascending id)
//     and arranged by circles on the same places, and their ratio;
//   - the frame of ego 107 at 1280 x 800 drawn by the controller offscreen, in the order of
//     arrival and arranged by circles, in turns: with every dot of every line (at rest) and
//     with the glow as it adapts while the globe turns by itself.
#include "controller/sim_ctrl_nimbra.h"
#include "service/circle_layout.h"
#include "service/circles.h"
#include "service/friend_graph.h"

#include "sbm_network.h"

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int ROUNDS = 5;

using Clock = std::chrono::steady_clock;
double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The benchmarks' 5,000-friend network (50 groups of 100, about 99,000 friendships among the
// friends), the same every run.
UTL_FriendGraph planted_network() {
    const SbmNetwork net = make_sbm_network();
    UTL_FriendGraph g;
    for (int i = 1; i <= net.friends; ++i) g.add_person(std::to_string(i));
    for (const auto& [a, b] : net.friendships) g.add_friendship(a - 1, b - 1);
    return g;
}

// The baseline: every friendship looked at once, as any graph viewer does to find the pieces.
int pieces(const UTL_FriendGraph& g) {
    std::vector<char> seen(static_cast<size_t>(g.size()), 0);
    int count = 0;
    for (int start = 0; start < g.size(); ++start) {
        if (seen[static_cast<size_t>(start)]) continue;
        ++count;
        std::deque<int> queue{start};
        seen[static_cast<size_t>(start)] = 1;
        while (!queue.empty()) {
            const int p = queue.front();
            queue.pop_front();
            for (int f : g.friends_of(p))
                if (!seen[static_cast<size_t>(f)])
                    seen[static_cast<size_t>(f)] = 1, queue.push_back(f);
        }
    }
    return count;
}

// The golden-angle spiral of n places, the user's first, as the globe lays people out.
std::vector<UTL_CircleLayout::Point> spiral(int n) {
    std::vector<UTL_CircleLayout::Point> out;
    for (int i = 0; i < n; ++i) {
        const double z = 1.0 - (2.0 * i + 1.0) / n, r = std::sqrt(1.0 - z * z);
        out.push_back({r * std::cos(i * 2.3999631), z, r * std::sin(i * 2.3999631)});
    }
    return out;
}

bool read_ego(const std::string& path, int ego, UTL_FriendGraph& g) {
    std::ifstream in(path);
    if (!in) return false;
    std::vector<std::pair<int, int>> edges;
    std::set<int> friends;
    int a, b;
    while (in >> a >> b) {
        edges.emplace_back(a, b);
        if (a == ego) friends.insert(b);
        if (b == ego) friends.insert(a);
    }
    for (int f : friends) g.add_person(std::to_string(f));
    for (const auto& [x, y] : edges)
        if (friends.count(x) && friends.count(y))
            g.add_friendship(g.find(std::to_string(x)), g.find(std::to_string(y)));
    return g.size() > 0;
}

// Milliseconds per frame, the best of a few runs of frames: at rest with every dot of every
// line, or turning by itself with the glow as it adapts (the first frames find its budget).
constexpr int kWidth = 1280, kHeight = 800;
double frame_ms(UTL_SimCtrlNimbra& c, bool turning) {
    c.m_glow_path = turning ? UTL_SimCtrlNimbra::GLOW_AUTO : UTL_SimCtrlNimbra::GLOW_SPRITES;
    c.m_rotate_mode = turning ? 1 : 0;
    for (int k = 0; k < 4; ++k) c.update(kWidth, kHeight, 0.02f);
    glFinish();
    double best = 1e30;
    for (int round = 0; round < 3; ++round) {
        const auto t = Clock::now();
        for (int k = 0; k < 5; ++k) c.update(kWidth, kHeight, 0.02f);
        glFinish();
        best = std::min(best, ms_since(t) / 5);
    }
    c.m_rotate_mode = 0;
    return best;
}

// Frames until everyone is at their place in the layout and the circles are those of the graph.
void settle(UTL_SimCtrlNimbra& c) {
    const auto start = Clock::now();
    c.update(kWidth, kHeight, 0.02f);
    while ((c.people_gliding() || !c.circles_settled()) && ms_since(start) < 120000)
        c.update(kWidth, kHeight, 0.02f);
}

// Ego 107 on the globe in both layouts, measured in turns so a busy machine skews them alike.
void frames_of_ego(const std::string& data, int ego) {
    std::ifstream in(data);
    std::vector<std::pair<int, int>> edges;
    std::set<int> friends;
    int a, b;
    while (in >> a >> b) {
        edges.emplace_back(a, b);
        if (a == ego) friends.insert(b);
        if (b == ego) friends.insert(a);
    }
    if (friends.empty()) return;
    if (chdir(NIMBRA_SOURCE_DIR) != 0) std::printf("cannot enter %s\n", NIMBRA_SOURCE_DIR);
    std::vector<unsigned char> buffer(static_cast<size_t>(kWidth) * kHeight * 4);
    const int attribs[] = {OSMESA_FORMAT,
                           OSMESA_RGBA,
                           OSMESA_DEPTH_BITS,
                           24,
                           OSMESA_PROFILE,
                           OSMESA_COMPAT_PROFILE,
                           0};
    OSMesaContext context = OSMesaCreateContextAttribs(attribs, nullptr);
    if (!context || !OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) {
        std::printf("ego %d frames: no OSMesa context\n", ego);
        return;
    }
    {
        UTL_SimCtrlNimbra c;
        c.start(kWidth, kHeight);
        c.add_myself(std::to_string(ego).c_str(), "Me", "", "");
        for (int f : friends) c.add_friend(std::to_string(f).c_str(), "", "", "");
        c.create_friends_locators();
        c.add_connections_for_myself();
        for (const auto& [x, y] : edges)
            if (friends.count(x) && friends.count(y))
                c.add_connection(std::to_string(x).c_str(), std::to_string(y).c_str(), 0.4f, false);
        double rest[2] = {1e30, 1e30}, turn[2] = {1e30, 1e30};
        for (int round = 0; round < 2; ++round)
            for (int layout = 0; layout < 2; ++layout) {
                c.set_layout(layout ? UTL_SimCtrlNimbra::LAYOUT_CIRCLES
                                    : UTL_SimCtrlNimbra::LAYOUT_ARRIVAL);
                settle(c);
                rest[layout] = std::min(rest[layout], frame_ms(c, false));
                turn[layout] = std::min(turn[layout], frame_ms(c, true));
            }
        std::printf("ego %d frame at %dx%d, %zu people, %zu lines (best of 6 x 5 frames each):\n",
                    ego, kWidth, kHeight, c.m_loc_holders.size(), c.m_connections.size());
        std::printf("  every dot, at rest: %.1f ms by arrival, %.1f ms by circles, ratio %.3f\n",
                    rest[0], rest[1], rest[1] / rest[0]);
        std::printf(
            "  turning, adaptive glow: %.1f ms by arrival, %.1f ms by circles, ratio %.3f\n",
            turn[0], turn[1], turn[1] / turn[0]);
    }
    OSMesaDestroyContext(context);
}

}  // namespace

int main() {
    const UTL_FriendGraph g = planted_network();
    std::vector<double> find_ms, base_ms, arrange_ms;
    size_t circles = 0;
    for (int r = 0; r < ROUNDS; ++r) {
        auto t = Clock::now();
        volatile int n_pieces = pieces(g);
        (void)n_pieces;
        base_ms.push_back(ms_since(t));
        t = Clock::now();
        const UTL_Circles c = UTL_Circles::find(g);
        find_ms.push_back(ms_since(t));
        circles = c.circles().size();
        if (r < 2) {
            t = Clock::now();
            const auto places = UTL_CircleLayout::arrange(g, c, spiral(g.size() + 1), 1);
            arrange_ms.push_back(ms_since(t));
        }
    }
    std::printf("5,000-friend network: %d friends, %lld friendships, %zu circles found\n", g.size(),
                g.friendships(), circles);
    std::printf(
        "  find the circles: %.1f ms (median of %d) = %.0f x one breadth-first pass (%.2f ms)\n",
        median(find_ms), ROUNDS, median(find_ms) / median(base_ms), median(base_ms));
    std::printf("  arrange them on the globe: %.1f ms (median of %zu)\n", median(arrange_ms),
                arrange_ms.size());

    const std::string data = std::string(NIMBRA_SHARED_DATA_DIR) + "/facebook_combined.txt";
    for (int ego : {0, 107, 1684, 1912}) {
        UTL_FriendGraph e;
        if (!read_ego(data, ego, e)) {
            std::printf("ego %d: %s not found, or no friends there; skipped\n", ego, data.c_str());
            continue;
        }
        const auto places = spiral(e.size() + 1);
        std::vector<int> arrival(static_cast<size_t>(e.size()));
        for (int i = 0; i < e.size(); ++i) arrival[static_cast<size_t>(i)] = i + 1;
        auto t = Clock::now();
        const UTL_Circles c = UTL_Circles::find(e);
        const double find = ms_since(t);
        t = Clock::now();
        const std::vector<int> arranged = UTL_CircleLayout::arrange(e, c, places, 1);
        const double arrange = ms_since(t);
        const double a = UTL_CircleLayout::mean_line_length(e, arrival, places);
        const double b = UTL_CircleLayout::mean_line_length(e, arranged, places);
        std::printf(
            "ego %4d: %4d friends, %5lld lines, %2zu circles (%.0f + %.0f ms): mean line "
            "%.3f radii by arrival, %.3f by circles, ratio %.3f\n",
            ego, e.size(), e.friendships(), c.circles().size(), find, arrange, a, b, b / a);
    }
    frames_of_ego(data, 107);
    return 0;
}
