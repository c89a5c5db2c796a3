// The whole globe of one real ego network of the SNAP Facebook graph, drawn by the controller in
// the offscreen renderer: usage bench_globe [EGO [WIDTH HEIGHT]] (person 107 at 1280x800 when
// not given). Prints the frame with the glow drawn as quads and as point sprites, measured in the
// same run, their ratio, the glow's own CPU time per frame, and what keeping the dots in buffers
// costs when lines arrive in batches, when the selection changes and when the layout changes.
#include "controller/sim_ctrl_nimbra.h"

#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/location_holder.h"

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int FRAMES = 2;
constexpr int ROUNDS = 3;
constexpr size_t LINES_PER_BATCH = 1000;

using Clock = std::chrono::steady_clock;
double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}
// CPU time in milliseconds of this thread alone, or of the whole process with the renderer's
// threads: unlike the clock on the wall, neither counts time the machine gave to others.
double cpu_ms(clockid_t which) {
    timespec t{};
    clock_gettime(which, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct EgoNetwork {
    std::vector<int> friends;                // ascending ids
    std::vector<std::pair<int, int>> links;  // friendships between two friends
};

// Reads "a b" lines; false when the file cannot be opened.
bool read_ego(const std::string& path, int ego, EgoNetwork& net) {
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
    net.friends.assign(friends.begin(), friends.end());
    for (const auto& e : edges)
        if (e.first != ego && e.second != ego && friends.count(e.first) && friends.count(e.second))
            net.links.push_back(e);
    return true;
}

// Milliseconds per controller frame with the glow drawn one way, on the wall and in CPU time
// over all threads, each the best of the rounds.
struct FrameTime {
    double wall_ms = 1e30;
    double cpu_ms = 1e30;
    double main_ms = 1e30;  // CPU time of the thread that draws, the renderer's threads aside
};

void measure_path(UTL_SimCtrlNimbra& c, int w, int h, UTL_SimCtrlNimbra::GlowPath path,
                  FrameTime& best) {
    c.m_glow_path = path;
    const auto t = Clock::now();
    const double cpu = cpu_ms(CLOCK_PROCESS_CPUTIME_ID);
    const double main = cpu_ms(CLOCK_THREAD_CPUTIME_ID);
    for (int f = 0; f < FRAMES; ++f) {
        c.update(w, h, 0.02f);
        glFinish();
    }
    best.wall_ms = std::min(best.wall_ms, ms_since(t) / FRAMES);
    best.cpu_ms = std::min(best.cpu_ms, (cpu_ms(CLOCK_PROCESS_CPUTIME_ID) - cpu) / FRAMES);
    best.main_ms = std::min(best.main_ms, (cpu_ms(CLOCK_THREAD_CPUTIME_ID) - main) / FRAMES);
}

// The two take turns, so a busy machine skews them alike.
void measure_frames(UTL_SimCtrlNimbra& c, int w, int h, FrameTime& quads, FrameTime& sprites) {
    for (auto path : {UTL_SimCtrlNimbra::GLOW_QUADS, UTL_SimCtrlNimbra::GLOW_AUTO}) {
        c.m_glow_path = path;
        c.update(w, h, 0.02f);  // warm-up: the sprites catch up with any change
        glFinish();
    }
    for (int round = 0; round < ROUNDS; ++round) {
        measure_path(c, w, h, UTL_SimCtrlNimbra::GLOW_QUADS, quads);
        measure_path(c, w, h, UTL_SimCtrlNimbra::GLOW_AUTO, sprites);
    }
    if (!c.m_glow_drew_sprites) std::printf("  (the sprites were not drawn: quads both times)\n");
}

// The glow's own work per frame with nothing changed, in this thread's CPU time: every line
// looked at once, no driver call.
double steady_update_ms(UTL_SimCtrlNimbra& c) {
    const int n = 20;
    const double t = cpu_ms(CLOCK_THREAD_CPUTIME_ID);
    for (int i = 0; i < n; ++i) c.m_glow_sprites->update(c.m_connections, c.m_color_theme);
    return (cpu_ms(CLOCK_THREAD_CPUTIME_ID) - t) / n;
}

// The glow pass alone under the last frame's camera: draw calls issued, then the driver's work.
void glow_pass_ms(UTL_SimCtrlNimbra& c, UTL_SimCtrlNimbra::GlowPath path, double& issue_ms,
                  double& total_ms) {
    c.m_glow_path = path;
    issue_ms = total_ms = 1e30;
    for (int round = 0; round < ROUNDS; ++round) {
        glEnable(GL_DEPTH_TEST);
        glClear(GL_COLOR_BUFFER_BIT);
        glFinish();
        const auto t = Clock::now();
        c.draw_glow();
        issue_ms = std::min(issue_ms, ms_since(t));
        glFinish();
        total_ms = std::min(total_ms, ms_since(t));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int ego = argc > 1 ? std::atoi(argv[1]) : 107;
    const int width = argc > 3 ? std::atoi(argv[2]) : 1280;
    const int height = argc > 3 ? std::atoi(argv[3]) : 800;
    if (argc == 3 || argc > 4 || width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        std::fprintf(stderr, "usage: bench_globe [EGO [WIDTH HEIGHT]]\n");
        return 2;
    }
    const std::string data = std::string(NIMBRA_SHARED_DATA_DIR) + "/facebook_combined.txt";
    EgoNetwork net;
    if (!read_ego(data, ego, net) || net.friends.empty()) {
        std::printf("bench_globe: %s not found, or person %d has no friends there; skipped\n",
                    data.c_str(), ego);
        return 0;
    }
    // The controller reads its textures and themes relative to the resource folder.
    if (chdir(NIMBRA_SOURCE_DIR) != 0)
        std::printf("bench_globe: cannot enter %s\n", NIMBRA_SOURCE_DIR);

    std::vector<unsigned char> buffer(static_cast<size_t>(width) * height * 4);
    const int attribs[] = {OSMESA_FORMAT,
                           OSMESA_RGBA,
                           OSMESA_DEPTH_BITS,
                           24,
                           OSMESA_PROFILE,
                           OSMESA_COMPAT_PROFILE,
                           0};
    OSMesaContext context = OSMesaCreateContextAttribs(attribs, nullptr);
    if (!context || !OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, width, height)) {
        std::fprintf(stderr, "bench_globe: no OSMesa context\n");
        return 1;
    }

    {
        UTL_SimCtrlNimbra c;
        c.start(width, height);
        c.m_glow_path = UTL_SimCtrlNimbra::GLOW_AUTO;  // whatever NIMBRA_GLOW says
        const std::string me = std::to_string(ego);
        c.add_myself(me.c_str(), ("Person " + me).c_str(), "", "");
        c.create_friends_locators();
        // One friend at a time, each followed by a full layout, as the acquisition does.
        auto t = Clock::now();
        for (int id : net.friends) {
            const std::string uid = std::to_string(id);
            c.add_friend(uid.c_str(), ("Person " + uid).c_str(), "", "");
            c.create_friends_locators();
        }
        const double add_ms = ms_since(t);
        c.update(width, height, 0.02f);

        const GLubyte* renderer = glGetString(GL_RENDERER);
        std::printf("renderer: %s, %dx%d, best of %d rounds of %d frames\n",
                    renderer ? reinterpret_cast<const char*>(renderer) : "?", width, height, ROUNDS,
                    FRAMES);
        if (!GFX_DotSprites::supported()) std::printf("this renderer has no point sprites\n");
        c.m_glow_sprites.reset(new GFX_DotSprites());
        GFX_DotSprites& sprites = *c.m_glow_sprites;

        // The lines as the acquisition delivers them: the user's, then the friendships in
        // batches, the buffers brought up to date after each as the next frame would.
        c.add_connections_for_myself();
        size_t batches = 0;
        double batch_ms = 0.0, worst_batch_ms = 0.0;
        for (size_t i = 0; i <= net.links.size(); i += LINES_PER_BATCH) {
            for (size_t k = i; k < std::min(i + LINES_PER_BATCH, net.links.size()); ++k)
                c.add_connection(std::to_string(net.links[k].first).c_str(),
                                 std::to_string(net.links[k].second).c_str(), 0.3f, false);
            t = Clock::now();
            sprites.update(c.m_connections, c.m_color_theme);
            const double ms = ms_since(t);
            batch_ms += ms;
            worst_batch_ms = std::max(worst_batch_ms, ms);
            ++batches;
        }
        const GFX_DotSprites::Work loaded = sprites.work();

        std::printf("ego network of %d: %zu friends, %zu friendships between friends, %zu lines\n",
                    ego, net.friends.size(), net.links.size(), c.m_connections.size());
        std::printf("dots: %lld plain and %lld highlighted in vertex buffers (%.1f MB)\n",
                    sprites.plain_dots(), sprites.highlighted_dots(),
                    double(sprites.buffer_bytes()) / 1e6);
        std::printf(
            "adding friends one by one with a layout after each: %.1f ms, %.3f ms a friend\n",
            add_ms, add_ms / double(net.friends.size()));
        std::printf(
            "lines in %zu batches of %zu: %.1f ms of buffer updates, %.1f ms the worst batch; %d "
            "appends, %d buffers grown, %d whole builds\n",
            batches, LINES_PER_BATCH, batch_ms, worst_batch_ms, loaded.appends, loaded.grown,
            loaded.builds);

        // The window as it opens, then as close as the camera goes.
        const float far_distance = c.m_camera->m_distance;
        for (const bool close : {false, true}) {
            c.m_camera->m_distance = close ? c.m_camera->m_min_distance : far_distance;
            const char* view = close ? "close" : "far";
            FrameTime quads, sprites;
            measure_frames(c, width, height, quads, sprites);
            std::printf("%s view (camera at %.0f):\n", view, c.m_camera->m_distance);
            std::printf(
                "  quad frame     %8.1f ms (CPU: %.1f ms over all threads, %.1f ms in the drawing "
                "thread)\n",
                quads.wall_ms, quads.cpu_ms, quads.main_ms);
            std::printf(
                "  sprite frame   %8.1f ms (CPU: %.1f ms over all threads, %.1f ms in the drawing "
                "thread)\n",
                sprites.wall_ms, sprites.cpu_ms, sprites.main_ms);
            if (close)
                std::printf("  close view ratio new/quads: %.2f\n",
                            sprites.wall_ms / quads.wall_ms);
            else std::printf("frame ratio new/quads: %.2f\n", sprites.wall_ms / quads.wall_ms);
            std::printf("  CPU ratio new/quads: %.2f\n", sprites.cpu_ms / quads.cpu_ms);

            double quads_issue = 0, quads_total = 0, sprites_issue = 0, sprites_total = 0;
            glow_pass_ms(c, UTL_SimCtrlNimbra::GLOW_QUADS, quads_issue, quads_total);
            glow_pass_ms(c, UTL_SimCtrlNimbra::GLOW_AUTO, sprites_issue, sprites_total);
            std::printf(
                "  glow pass: quads %.1f ms (%.1f ms until the last call returns), sprites %.1f ms "
                "(%.1f ms)\n",
                quads_total, quads_issue, sprites_total, sprites_issue);
            std::printf("  glow CPU per frame, own work without the driver: %.2f ms\n",
                        steady_update_ms(c));
        }
        c.m_camera->m_distance = far_distance;

        // What a change costs the frame it happens in.
        GFX_DotSprites::Work was = sprites.work();
        c.select_loc_holder(c.m_loc_holders.at(c.m_loc_holders.size() / 2));
        t = Clock::now();
        sprites.update(c.m_connections, c.m_color_theme);
        const double select_ms = ms_since(t);
        std::printf("a selection: %.1f ms, %lld colours and %lld positions written\n", select_ms,
                    sprites.work().colours - was.colours, sprites.work().positions - was.positions);
        was = sprites.work();
        c.add_friend("-1", "Newcomer", "", "");
        c.create_friends_locators();
        t = Clock::now();
        sprites.update(c.m_connections, c.m_color_theme);
        std::printf("a layout: %.1f ms, %lld positions written\n", ms_since(t),
                    sprites.work().positions - was.positions);
    }
    OSMesaDestroyContext(context);
    return 0;
}
