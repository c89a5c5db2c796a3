// The offscreen host on the demo network, fetched from the social service by the acquisition,
// judged from its pictures the way a person would: a click on a person makes that person's card
// big and the camera glides to it, a drag turns the globe, the user's name reaches the title,
// and frames land in PNG files.
#include "sources/service_source.h"
#include "app/event_script.h"
#include "app/host_driver.h"
#include "app/host_offscreen.h"
#include "app/options.h"
#include "controller/sim_ctrl_nimbra.h"
#include "service/demo_network.h"
#include "service/social_service.h"

#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int W = 640;
constexpr int H = 480;
using Frame = std::vector<std::uint8_t>;  // RGBA, bottom row first

// The demo network with every photo taken away, so every card is plain and every run draws
// the same pictures whenever the portraits would have arrived.
UTL_SocialNetwork demo_without_photos() {
    UTL_SocialNetwork net = make_demo_network();
    std::vector<std::string> uids = net.friends();
    uids.push_back(net.ego()->m_uid);
    for (const std::string& uid : uids) {
        UTL_ServicePerson p = *net.find(uid);
        p.m_pic.clear();
        p.m_pic_square.clear();
        p.m_generated_photo = false;
        net.add_person(p);
    }
    return net;
}

// Runs the demo network for frames ticks with a script and keeps the pictures of the frames
// asked for. Returns the window title at the end.
std::string run(int frames, const std::string& script, const std::vector<int>& keep,
                std::map<int, Frame>& out) {
    UTL_HostOptions o;
    o.width = W;
    o.height = H;
    o.frames = frames;
    UTL_HostOffscreen host;
    EXPECT_TRUE(host.open(o));
    std::vector<UTL_ScriptEvent> events;
    std::string error;
    EXPECT_TRUE(parse_event_script(script, events, error)) << error;
    host.set_script(events);
    UTL_SocialService service(demo_without_photos(), kNimbraApiKey, kNimbraSecret);
    EXPECT_GT(service.start("127.0.0.1", 0), 0);
    UTL_ServiceSourceOptions source;
    source.m_service_url = service.rest_url();
    source.m_keep_session = false;
    UTL_HostDriver driver(new UTL_SimCtrlNimbra());
    UTL_ServiceSource acquisition(
        driver.controller(), [&host](const std::string& t) { host.set_title(t); }, source);
    EXPECT_TRUE(acquisition.start(error)) << error;
    // As the program does, the answers between frames once the controller has started. The
    // first time, the people and the first friendship batch are waited for, so that every run
    // sees them arrive in the same frame.
    bool waited = false;
    driver.m_between_frames = [&]() {
        if (!driver.started()) return;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!waited && std::chrono::steady_clock::now() < end &&
               !(acquisition.people_loaded() &&
                 acquisition.answered_batches() ==
                     static_cast<int>(acquisition.sent_batches().size()))) {
            acquisition.tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        waited = true;
        acquisition.tick();
    };
    host.m_after_frame = [&](int f) {
        for (int k : keep)
            if (k == f) out[f] = host.pixels();
    };
    EXPECT_EQ(host.run(driver), 0);
    EXPECT_TRUE(acquisition.people_loaded());
    driver.m_between_frames = nullptr;
    acquisition.connection()->shutdown();
    host.make_current();
    driver.destroy_controller();
    host.close();
    return host.title();
}

// Picture coordinates from the top left, as the script gives them.
const std::uint8_t* at(const Frame& f, int x, int y) {
    return &f[(static_cast<size_t>(H - 1 - y) * W + x) * 4];
}

// The selected person's card is light blue; the other cards are white or grey.
bool selected_card(const std::uint8_t* p) { return p[2] > 200 && p[1] > 160 && p[0] < p[2] - 30; }
bool plain_card(const std::uint8_t* p) {
    const int lo = std::min({p[0], p[1], p[2]}), hi = std::max({p[0], p[1], p[2]});
    return lo > 200 && hi - lo < 20;
}

struct Blob {
    int count = 0;
    double x = 0.0, y = 0.0;  // centre
};

Blob selected_blob(const Frame& f, int x0 = 0, int y0 = 0, int x1 = W, int y1 = H) {
    Blob b;
    for (int y = std::max(0, y0); y < std::min(H, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(W, x1); ++x)
            if (selected_card(at(f, x, y))) b.count++, b.x += x, b.y += y;
    if (b.count) b.x /= b.count, b.y /= b.count;
    return b;
}

// The middle of the whitest 24 x 24 square at least 120 pixels from the centre: a small card.
// Only the left of the view: the person card a click opens covers the right of a small window.
void find_plain_card(const Frame& f, int& cx, int& cy) {
    int best = -1;
    for (int y = 60; y + 24 < H - 40; y += 4)
        for (int x = 40; x + 24 < W / 2 + 60; x += 4) {
            if (std::hypot(x + 12 - W / 2, y + 12 - H / 2) < 120) continue;
            int n = 0;
            for (int v = y; v < y + 24; ++v)
                for (int u = x; u < x + 24; ++u) n += plain_card(at(f, u, v));
            if (n > best) best = n, cx = x + 12, cy = y + 12;
        }
}

bool read_png_size(const std::string& path, int& w, int& h) {
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, fp);
        png_read_info(png, info);
        w = static_cast<int>(png_get_image_width(png, info));
        h = static_cast<int>(png_get_image_height(png, info));
        ok = png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(fp);
    return ok;
}

}  // namespace

TEST(AppOffscreen, ClickSelectsAPersonAndDragTurnsTheGlobe) {
    // Where is a person? Ask the picture of a first run.
    std::map<int, Frame> first;
    EXPECT_EQ(run(40, "", {40}, first), "Nimbra | Maya Lindqvist");
    ASSERT_EQ(first.count(40), 1u);
    int px = 0, py = 0;
    find_plain_card(first[40], px, py);
    const Blob before = selected_blob(first[40], px - 40, py - 40, px + 40, py + 40);
    EXPECT_LT(before.count, 600) << "no selected card at the person yet (a few blue dots at most)";

    // The same start, then a click on that person, a pause for the glide, and a drag.
    const std::string p = std::to_string(px) + " " + std::to_string(py);
    const std::string script = "frame 41 down " + p + "\nframe 42 up " + p +
                               "\n"
                               "frame 120 down 100 240\n"
                               "frame 121 move 110 240 drag\nframe 122 move 140 240 drag\n"
                               "frame 123 move 180 240 drag\nframe 124 move 220 240 drag\n"
                               "frame 126 up 220 240\n"
                               "frame 130 snapshot " +
                               ::testing::TempDir() + "nimbra_after_drag.png\n";
    std::map<int, Frame> second;
    run(130, script, {40, 42, 119, 130}, second);
    ASSERT_EQ(second.size(), 4u);
    EXPECT_EQ(second[40], first[40]) << "the same network gives the same picture";

    // Right after the click, the person's card is the big light-blue one, where it was clicked.
    const Blob clicked = selected_blob(second[42], px - 60, py - 60, px + 60, py + 60);
    EXPECT_GT(clicked.count, 3000) << "clicked at " << p;
    // The camera glides towards it: its card comes nearer the middle and stays big.
    const Blob glided = selected_blob(second[119]);
    EXPECT_GT(glided.count, 3000);
    EXPECT_LT(std::hypot(glided.x - W / 2, glided.y - H / 2),
              0.6 * std::hypot(px - W / 2, py - H / 2))
        << "from " << p << " to " << glided.x << " " << glided.y;

    // The drag to the right carries the globe with it: the selected card moves sideways, and a
    // large part of the picture changes. The pause before the release means no flick.
    const Blob dragged = selected_blob(second[130]);
    EXPECT_GT(std::fabs(dragged.x - glided.x) + (dragged.count == 0 ? 1000 : 0), 40.0);
    int changed = 0;
    for (int y = 60; y < H - 40; ++y)
        for (int x = 0; x < W; ++x) {
            const std::uint8_t *a = at(second[119], x, y), *b = at(second[130], x, y);
            if (std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) > 60)
                ++changed;
        }
    EXPECT_GT(changed, W * H / 10);

    int w = 0, h = 0;
    ASSERT_TRUE(read_png_size(::testing::TempDir() + "nimbra_after_drag.png", w, h));
    EXPECT_EQ(w, W);
    EXPECT_EQ(h, H);
}

TEST(AppOffscreen, AScriptedSearchSelectsAndTheRunEndsByNamingTheSelection) {
    const UTL_SocialNetwork demo = make_demo_network();
    std::string zoe_uid;
    for (const std::string& uid : demo.friends())
        if (demo.find(uid)->m_name == "Zoë Ñúñez") zoe_uid = uid;
    ASSERT_FALSE(zoe_uid.empty()) << "the demo has someone to find";

    std::map<int, Frame> frames;
    ::testing::internal::CaptureStdout();
    run(6, "", {}, frames);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("selected: " + demo.ego()->m_uid + " Maya Lindqvist\npath: none\n"),
              std::string::npos)
        << out;

    // Typed without accents and in capitals, chosen with Return.
    ::testing::internal::CaptureStdout();
    run(8, "frame 4 key NUNEZ\nframe 5 key Return\n", {}, frames);
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("selected: " + zoe_uid + " Zoë Ñúñez\n"), std::string::npos) << out;

    // Then Shift+Return on another name: the chain of friends from Zoë to her, beside the
    // selection, which stays.
    std::string ulla_uid;
    for (const std::string& uid : demo.friends())
        if (demo.find(uid)->m_name == "Ulla Hoffmann") ulla_uid = uid;
    ::testing::internal::CaptureStdout();
    run(10, "frame 4 key NUNEZ\nframe 5 key Return\nframe 6 key ulla\nframe 7 key Shift+Return\n",
        {}, frames);
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("selected: " + zoe_uid + " Zoë Ñúñez\npath: " + zoe_uid + " "),
              std::string::npos)
        << out;
    const size_t path = out.find("path: ");
    ASSERT_NE(path, std::string::npos);
    const std::string line = out.substr(path, out.find('\n', path) - path);
    EXPECT_EQ(line.substr(line.size() - ulla_uid.size() - 1), " " + ulla_uid) << line;
}
