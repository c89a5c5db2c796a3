// The frame against the size of the network: ego 107 of the SNAP Facebook graph (1,045 friends)
// and the 5,000-friend stochastic-block-model network (about 104,500 lines), at 1280x800 in the
// offscreen renderer. usage: bench_frame [--pictures DIR] [--only 107|sbm] [--skip-program]
// For each network, measured in the same run:
//   1. the controller in this process: the full-detail frame (every dot of every line, as
//      NIMBRA_GLOW=sprites draws it), the frame while the globe turns by itself, their ratio,
//      and how far the turning picture and the picture at rest are from the full-detail one
//      (RMSE in per cent of full scale; with --pictures the three are written as PNGs);
//   2. the real program (nimbra-offscreen --until-loaded) from its launch: the time until a
//      frame showed the whole network, as a number of full-detail frames of part 1, and its
//      resident memory at the peak; before (NIMBRA_GLOW=sprites NIMBRA_ANSWERS=between-frames)
//      and after (the defaults), with their ratios.
#include "controller/sim_ctrl_nimbra.h"
#include "sbm_network.h"

#include "scene/camera.h"
#include "scene/connection.h"

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <png.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 800;

using Clock = std::chrono::steady_clock;
double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A network as the controller is given it: the user, the friends, the friendships between
// friends; and where the program finds it.
struct Network {
    std::string name;
    std::string ego;
    std::vector<std::string> friends;
    std::vector<std::pair<std::string, std::string>> links;
    std::string graph_file;  // for the program: --graph FILE --ego EGO
};

bool read_snap_ego(const std::string& path, int ego, Network& net) {
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
    for (int f : friends) net.friends.push_back(std::to_string(f));
    for (const auto& e : edges)
        if (e.first != ego && e.second != ego && friends.count(e.first) && friends.count(e.second))
            net.links.emplace_back(std::to_string(e.first), std::to_string(e.second));
    net.name = "ego " + std::to_string(ego);
    net.ego = std::to_string(ego);
    net.graph_file = path;
    return !friends.empty();
}

Network sbm_network(const std::string& file) {
    const SbmParameters p;
    const SbmNetwork sbm = make_sbm_network(p);
    Network net;
    net.name = "SBM 5,000";
    net.ego = "0";
    for (int i = 1; i <= sbm.friends; ++i) net.friends.push_back(std::to_string(i));
    for (const auto& e : sbm.friendships)
        net.links.emplace_back(std::to_string(e.first), std::to_string(e.second));
    if (write_sbm_edge_list(sbm, p, file)) net.graph_file = file;
    return net;
}

// --- 1. The controller in this process --------------------------------------------------------

using Picture = std::vector<unsigned char>;

Picture read_picture() {
    Picture p(static_cast<size_t>(kWidth) * kHeight * 3);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, p.data());
    return p;
}

// Root mean square difference of all colour components, in per cent of full scale.
double rmse_percent(const Picture& a, const Picture& b) {
    double sum = 0.0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    return a.empty() ? 0.0 : 100.0 * std::sqrt(sum / double(a.size())) / 255.0;
}

void write_png(const Picture& p, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = kHeight - 1; y >= 0; --y)
            png_write_row(png, const_cast<png_bytep>(&p[static_cast<size_t>(y) * kWidth * 3]));
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

// One frame as the host draws it, in milliseconds on the wall.
double frame_ms(UTL_SimCtrlNimbra& c) {
    const auto t = Clock::now();
    c.update(kWidth, kHeight, 0.02f);
    glFinish();
    return ms_since(t);
}

// Every dot of every line every frame (NIMBRA_GLOW=sprites), or the glow as it adapts.
void full_detail(UTL_SimCtrlNimbra& c, bool on) {
    c.m_glow_path = on ? UTL_SimCtrlNimbra::GLOW_SPRITES : UTL_SimCtrlNimbra::GLOW_AUTO;
}

struct FrameFigures {
    double people_ms = 0.0;   // best frame with the people and no line
    double full_ms = 0.0;     // best full-detail frame
    double turning_ms = 0.0;  // mean frame while turning, after the first ones
    double turning_rmse = 0.0;
    double rest_rmse = 0.0;
    double rest_s = 0.0;  // from the camera stopping to the picture at rest
    int rest_frames = 0;
};

FrameFigures measure_frames(const Network& net, const std::string& pictures) {
    FrameFigures fig;
    UTL_SimCtrlNimbra c;
    c.start(kWidth, kHeight);
    c.add_myself(net.ego.c_str(), ("Person " + net.ego).c_str(), "", "");
    for (const std::string& f : net.friends)
        c.add_friend(f.c_str(), ("Person " + f).c_str(), "", "");
    c.create_friends_locators();
    // The people alone: what the frame costs before any line.
    frame_ms(c);
    fig.people_ms = 1e30;
    for (int round = 0; round < 2; ++round) fig.people_ms = std::min(fig.people_ms, frame_ms(c));
    c.add_connections_for_myself();
    for (const auto& l : net.links)
        c.add_connection(l.first.c_str(), l.second.c_str(), 0.4f, false);
    std::printf("%s: %zu people, %zu lines\n", net.name.c_str(), c.m_loc_holders.size(),
                c.m_connections.size());

    // Full detail, at rest: the first frame writes the buffers and is not counted.
    full_detail(c, true);
    frame_ms(c);
    fig.full_ms = 1e30;
    for (int round = 0; round < 2; ++round) fig.full_ms = std::min(fig.full_ms, frame_ms(c));

    // Turning by itself, as after a flick or with a rotate button: the first frames find the
    // budget and are not counted.
    full_detail(c, false);
    c.m_rotate_mode = 1;
    constexpr int kWarmUp = 4, kCounted = 8;
    double sum = 0.0;
    for (int k = 0; k < kWarmUp + kCounted; ++k) {
        const double ms = frame_ms(c);
        if (k >= kWarmUp) sum += ms;
    }
    fig.turning_ms = sum / kCounted;

    // The globe stops. Billboards ease to their side of the ball for a few frames after it
    // stops; they settle first (without the lines, which would take long), so that the
    // pictures compared differ only in their dots.
    c.m_rotate_mode = 0;
    std::vector<GFX_Connection*> lines;
    lines.swap(c.m_connections);
    for (int k = 0; k < 30; ++k) c.update(kWidth, kHeight, 0.02f);
    lines.swap(c.m_connections);
    frame_ms(c);
    // A frame in another theme and one back in this one: the second draws the budget as a
    // moving frame would, with nothing else moved (a turn of the camera, however small, can
    // send a billboard to the ball's other side). Then the same with every dot, then what the
    // frames at rest come to, up to the first picture that holds every dot.
    const UTL_ColorTheme theme = c.m_color_theme;
    if (c.m_color_themes.size() > 1)
        c.m_color_theme = c.m_color_themes[c.m_color_themes[0] == theme ? 1 : 0];
    frame_ms(c);
    c.m_color_theme = theme;
    frame_ms(c);
    const Picture turning = read_picture();
    full_detail(c, true);
    frame_ms(c);
    const Picture full = read_picture();
    full_detail(c, false);
    const auto rest_start = Clock::now();
    for (fig.rest_frames = 1; fig.rest_frames < 500; ++fig.rest_frames) {
        frame_ms(c);
        if (c.m_glow_drew_whole) break;
    }
    fig.rest_s = ms_since(rest_start) / 1000.0;
    const Picture rest = read_picture();
    fig.turning_rmse = rmse_percent(turning, full);
    fig.rest_rmse = rmse_percent(rest, full);
    if (!pictures.empty()) {
        const std::string stem = pictures + "/" + (net.ego == "0" ? "sbm" : "ego" + net.ego);
        write_png(turning, stem + "_turning.png");
        write_png(full, stem + "_full.png");
        write_png(rest, stem + "_rest.png");
    }
    return fig;
}

// --- 2. The real program ----------------------------------------------------------------------

struct ProgramFigures {
    bool ok = false;
    double whole_s = 0.0;  // launch to the first frame that showed everything
    int whole_frame = 0;
    double peak_mb = 0.0;  // resident set at its largest
    std::string output;
};

// env: NAME=VALUE settings for the program on top of this process's environment.
ProgramFigures run_program(const Network& net, const std::vector<std::string>& env) {
    ProgramFigures fig;
    std::vector<std::string> args{NIMBRA_OFFSCREEN_PROGRAM,
                                  "--graph",
                                  net.graph_file,
                                  "--ego",
                                  net.ego,
                                  "--size",
                                  "1280x800",
                                  "--until-loaded",
                                  "--frames",
                                  "2",
                                  "--bench",
                                  "--no-photo-cache"};
    int out[2];
    if (pipe(out) != 0) return fig;
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(out[0], buffer, sizeof(buffer))) > 0)
        fig.output.append(buffer, static_cast<size_t>(got));
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    fig.peak_mb = double(usage.ru_maxrss) / 1024.0;
    std::smatch m;
    fig.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
             std::regex_search(
                 fig.output, m,
                 std::regex("launch to everything in: ([0-9.]+) s, shown by frame (\\d+)"));
    if (fig.ok) {
        fig.whole_s = std::stod(m[1]);
        fig.whole_frame = std::stoi(m[2]);
    }
    return fig;
}

}  // namespace

int main(int argc, char** argv) {
    std::string pictures, only;
    bool program = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--pictures") && i + 1 < argc) pictures = argv[++i];
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = argv[++i];
        else if (!std::strcmp(argv[i], "--skip-program")) program = false;
        else {
            std::fprintf(stderr,
                         "usage: bench_frame [--pictures DIR] [--only 107|sbm] [--skip-program]\n");
            return 2;
        }
    }
    if (chdir(NIMBRA_SOURCE_DIR) != 0)
        std::printf("bench_frame: cannot enter %s\n", NIMBRA_SOURCE_DIR);

    std::vector<Network> networks;
    if (only.empty() || only == "107") {
        Network net;
        const std::string snap = std::string(NIMBRA_SHARED_DATA_DIR) + "/facebook_combined.txt";
        if (read_snap_ego(snap, 107, net)) networks.push_back(net);
        else std::printf("%s not found: ego 107 skipped\n", snap.c_str());
    }
    char dir[] = "/tmp/bench_frame.XXXXXX";
    const bool have_dir = mkdtemp(dir) != nullptr;
    const std::string sbm_file = have_dir ? std::string(dir) + "/sbm.txt" : "";
    if (only.empty() || only == "sbm") networks.push_back(sbm_network(sbm_file));

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
        std::fprintf(stderr, "bench_frame: no OSMesa context\n");
        return 1;
    }
    const GLubyte* renderer = glGetString(GL_RENDERER);
    std::printf("renderer %s, %dx%d, %ld cores\n",
                renderer ? reinterpret_cast<const char*>(renderer) : "?", kWidth, kHeight,
                sysconf(_SC_NPROCESSORS_ONLN));

    for (const Network& net : networks) {
        const FrameFigures f = measure_frames(net, pictures);
        std::printf("  frame with no line           %8.1f ms\n", f.people_ms);
        std::printf("  full-detail frame            %8.1f ms\n", f.full_ms);
        std::printf("  frame while turning          %8.1f ms  (%.3f of full detail)\n",
                    f.turning_ms, f.turning_ms / f.full_ms);
        std::printf("  picture while turning        RMSE %.2f %% against full detail\n",
                    f.turning_rmse);
        std::printf(
            "  picture at rest              RMSE %.2f %% against full detail, %.2f s and "
            "%d frames after the camera stopped\n",
            f.rest_rmse, f.rest_s, f.rest_frames);
        if (!program) continue;
        if (net.graph_file.empty()) {
            std::printf("  (no graph file for the program)\n");
            continue;
        }
        // Before: every dot every frame and the answers taken between frames only; after: as
        // the program runs by default.
        const ProgramFigures before =
            run_program(net, {"NIMBRA_GLOW=sprites", "NIMBRA_ANSWERS=between-frames"});
        const ProgramFigures p = run_program(net, {});
        if (!p.ok || !before.ok) {
            std::printf("  the program did not finish as expected:\n%s\n%s\n",
                        before.output.c_str(), p.output.c_str());
            continue;
        }
        for (const auto& [name, q] : {std::make_pair("before (sprites, between frames)", &before),
                                      std::make_pair("after", &p)})
            std::printf(
                "  program %s: whole network %.1f s after launch (frame %d) = %.1f "
                "full-detail frames; resident peak %.0f MB\n",
                name, q->whole_s, q->whole_frame, q->whole_s * 1000.0 / f.full_ms, q->peak_mb);
        std::printf("  program after/before: time to the whole network %.3f, resident peak %.3f\n",
                    p.whole_s / before.whole_s, p.peak_mb / before.peak_mb);
    }
    OSMesaDestroyContext(context);
    if (have_dir) {
        std::remove(sbm_file.c_str());
        rmdir(dir);
    }
    return 0;
}
