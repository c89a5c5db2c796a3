// What the program reads from the user before any window opens: the command line, the event
// script and the resource folder.
#include "app/event_script.h"
#include "app/host_driver.h"
#include "app/options.h"
#include "app/resource_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

namespace {

bool parse(std::vector<const char*> args, UTL_HostOptions& o, std::string& error) {
    args.insert(args.begin(), "nimbra");
    o = UTL_HostOptions();
    return parse_command_line(static_cast<int>(args.size()), args.data(), o, error);
}

}  // namespace

TEST(AppInput, CommandLine) {
    UTL_HostOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--size", "3840x2160", "--snapshot=globe.png", "--frames", "600", "--script",
                       "s.txt", "--graph", "g.txt", "--ego=107", "--mutual-only",
                       "--batch-interval", "2.5", "--data", "/opt/d"},
                      o, error))
        << error;
    EXPECT_EQ(o.width, 3840);
    EXPECT_EQ(o.height, 2160);
    EXPECT_EQ(o.snapshot_file, "globe.png");
    EXPECT_EQ(o.frames, 600);
    EXPECT_EQ(o.script_file, "s.txt");
    EXPECT_EQ(o.graph_file, "g.txt");
    EXPECT_TRUE(o.has_ego);
    EXPECT_EQ(o.ego, "107");
    EXPECT_TRUE(o.mutual_only);
    EXPECT_EQ(o.batch_interval, 2.5);
    EXPECT_EQ(o.data_dir, "/opt/d");
    EXPECT_TRUE(o.offscreen());
    ASSERT_TRUE(parse({}, o, error));
    EXPECT_FALSE(o.offscreen());
    EXPECT_LT(o.batch_interval, 0.0) << "the service decides";
    EXPECT_EQ(o.layout, "arrival");
    ASSERT_TRUE(parse({"--layout", "circles"}, o, error));
    EXPECT_EQ(o.layout, "circles");
    EXPECT_FALSE(o.no_photo_cache);
    ASSERT_TRUE(parse({"--no-photo-cache", "--service", "http://example.com/rest"}, o, error));
    EXPECT_TRUE(o.no_photo_cache);
    // Another service is no local source; the embedded one's portraits are never kept on disk.
    UTL_FotoSettings photos = photo_settings(o, false, "");
    EXPECT_FALSE(photos.m_allow_local_paths);
    EXPECT_FALSE(photos.m_use_disk_cache);
    ASSERT_TRUE(parse({"--people", "p.csv", "--graph", "g.txt"}, o, error));
    photos = photo_settings(o, true, "http://127.0.0.1:4000/photos/");
    EXPECT_TRUE(photos.m_allow_local_paths);
    EXPECT_TRUE(photos.m_use_disk_cache);
    EXPECT_EQ(photos.m_uncached_prefix, "http://127.0.0.1:4000/photos/");
    ASSERT_TRUE(parse({"--bench"}, o, error));
    EXPECT_TRUE(o.offscreen());
    ASSERT_TRUE(parse({"--until-loaded"}, o, error));
    EXPECT_TRUE(o.offscreen());
    ASSERT_TRUE(parse({"-h"}, o, error));
    EXPECT_TRUE(o.help);
    ASSERT_TRUE(
        parse({"--mastodon", "@Alice@Social.Example", "--mastodon-resolve",
               "social.example=http://127.0.0.1:3000/", "--mastodon-resolve",
               "files.example=https://127.0.0.1:3001", "--mastodon-token", "t0k", "--refresh"},
              o, error))
        << error;
    EXPECT_EQ(o.mastodon, "@Alice@Social.Example");
    EXPECT_EQ(o.mastodon_resolve.size(), 2u) << "repeatable";
    EXPECT_EQ(o.mastodon_token, "t0k");
    EXPECT_TRUE(o.refresh);

    // Every mistake is refused with a message that names it.
    const std::map<std::vector<const char*>, std::string> bad = {
        {{"--frobnicate"}, "--frobnicate"},
        {{"-x"}, "-x"},
        {{"extra"}, "extra"},
        {{"--size"}, "needs a value"},
        {{"--size", "800"}, "800"},
        {{"--size", "0x600"}, "0x600"},
        {{"--size", "800x-6"}, "800x-6"},
        {{"--size", "99999x10"}, "99999x10"},
        {{"--size", "800x600x3"}, "800x600x3"},
        {{"--frames", "0"}, "--frames"},
        {{"--frames", "1e3"}, "1e3"},
        {{"--frames", "99999999999999999999999"}, "--frames"},
        {{"--batch-interval", "-1"}, "-1"},
        {{"--batch-interval", "1e3"}, "1e3"},
        {{"--batch-interval", "nan"}, "nan"},
        {{"--batch-frames", "5"}, "--batch-frames"},
        {{"--layout", "round"}, "round"},
        {{"--layout"}, "needs a value"},
        {{"--ego", "7"}, "--graph"},
        {{"--graph", "g", "--ego", "x,y"}, "x,y"},
        {{"--mutual-only"}, "--graph"},
        {{"--snapshot="}, "needs a value"},
        {{"--snapshot", ""}, "non-empty"},
        {{"--help=yes"}, "no value"},
        {{"--mastodon", "alice"}, "alice"},
        {{"--mastodon", "alice@server@x.example"}, "alice@server@x.example"},
        {{"--mastodon", "a@b.example", "--bluesky", "b.bsky.social"}, "--bluesky"},
        {{"--mastodon", "a@b.example", "--mastodon-resolve", "b.example"}, "DOMAIN=URL"},
        {{"--mastodon", "a@b.example", "--mastodon-resolve", "b.example=ftp://x"}, "ftp://x"},
        {{"--mastodon-resolve", "b.example=http://127.0.0.1:1"}, "--mastodon"},
        {{"--mastodon-token", "t"}, "--mastodon"},
        {{"--refresh"}, "--mastodon"},
    };
    for (const auto& c : bad) {
        EXPECT_FALSE(parse(c.first, o, error)) << c.first[0];
        EXPECT_NE(error.find(c.second), std::string::npos) << error;
    }
    EXPECT_NE(usage_text("nimbra").find("--snapshot FILE"), std::string::npos);
}

TEST(AppInput, EventScript) {
    std::vector<UTL_ScriptEvent> ev;
    std::string error;
    ASSERT_TRUE(
        parse_event_script("# a click, a drag and keys\n"
                           "frame 14 up 420 300\r\n"
                           "frame 10 down 400.5 300   # press\n"
                           "\n"
                           "frame 12 move 420 300 drag\n"
                           "frame 12 move 421 300\n"
                           "frame 20 key F5\n"
                           "frame 20 key hello world\n"
                           "frame 21 key up\n"
                           "frame 30 snapshot out.png\n"
                           "frame 40 key Return\n"
                           "frame 40 key ESC\n"
                           "frame 40 key #\n"
                           "frame 40 key a#b  # a comment\n"
                           "frame 40 key Ctrl+F\n"
                           "frame 41 wheel 1\n"
                           "frame 41 wheel -0.5\n"
                           "frame 42 down 5 6 shift\n"
                           "frame 42 up 5 6 shift\n"
                           "frame 42 key shift+RETURN\n",
                           ev, error))
        << error;
    ASSERT_EQ(ev.size(), 18u);
    // Ordered by frame, file order kept within a frame.
    EXPECT_EQ(ev[0].kind, UTL_ScriptEvent::kDown);
    EXPECT_EQ(ev[0].frame, 10);
    EXPECT_DOUBLE_EQ(ev[0].x, 400.5);
    EXPECT_TRUE(ev[1].drag);
    EXPECT_FALSE(ev[2].drag);
    EXPECT_EQ(ev[3].kind, UTL_ScriptEvent::kUp);
    EXPECT_EQ(ev[4].chars, std::vector<std::uint32_t>{kKeyF1 + 4});
    EXPECT_EQ(ev[5].chars, decode_utf8("hello world"));
    EXPECT_EQ(ev[6].chars, std::vector<std::uint32_t>{kKeyUpArrow});
    EXPECT_EQ(ev[7].kind, UTL_ScriptEvent::kSnapshot);
    EXPECT_EQ(ev[7].path, "out.png");
    EXPECT_EQ(ev[7].line, 10);
    // Key names in any case; every printable character, # too, can be typed.
    EXPECT_EQ(ev[8].chars, std::vector<std::uint32_t>{'\r'});
    EXPECT_EQ(ev[9].chars, std::vector<std::uint32_t>{27});
    EXPECT_EQ(ev[10].chars, std::vector<std::uint32_t>{'#'});
    EXPECT_EQ(ev[11].chars, decode_utf8("a#b"));
    EXPECT_EQ(ev[12].chars, std::vector<std::uint32_t>{6});
    EXPECT_EQ(ev[13].kind, UTL_ScriptEvent::kWheel);
    EXPECT_DOUBLE_EQ(ev[13].steps, 1.0);
    EXPECT_DOUBLE_EQ(ev[14].steps, -0.5);
    EXPECT_FALSE(ev[0].shift);
    EXPECT_TRUE(ev[15].shift);
    EXPECT_EQ(ev[16].kind, UTL_ScriptEvent::kUp);
    EXPECT_TRUE(ev[16].shift);
    EXPECT_EQ(ev[17].chars, std::vector<std::uint32_t>{kKeyShiftReturn});

    const std::vector<std::pair<std::string, std::string>> bad = {
        {"frame 0 down 1 2", "line 1: bad frame number"},
        {"\nframe x down 1 2", "line 2: bad frame number"},
        {"frame 3 down 1", "expected 'down X Y'"},
        {"frame 3 down 1 2 3", "expected 'shift'"},
        {"frame 3 down 1 2 3 4", "expected 'down X Y'"},
        {"frame 3 move 1 2 drop", "expected 'drag'"},
        {"frame 3 down 1 2 drag", "expected 'shift'"},
        {"frame 3 move 1 2 shift", "expected 'drag'"},
        {"frame 3 up nan 2", "bad position"},
        {"frame 3 up 0x10 2", "bad position"},
        {"frame 3 up 1e99 2", "bad position"},
        {"frame 3 key", "expected 'key TEXT'"},
        {"frame 3 wheel", "expected 'wheel STEPS'"},
        {"frame 3 wheel up", "bad wheel steps"},
        {"frame 3 wheel 1e9", "bad wheel steps"},
        {"frame 3 snapshot a b.png", "snapshot FILE"},
        {"frame 3 jump 1 2", "unknown event 'jump'"},
        {"click 1 2", "expected 'frame N"},
        {"frame 99999999999 up 1 2", "bad frame number"},
    };
    for (const auto& c : bad) {
        EXPECT_FALSE(parse_event_script(c.first, ev, error)) << c.first;
        EXPECT_NE(error.find(c.second), std::string::npos) << c.first << " -> " << error;
    }
    EXPECT_FALSE(read_event_script(::testing::TempDir() + "no_such_script.txt", ev, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST(AppInput, ResourceFolder) {
    const std::string root = ::testing::TempDir() + "nimbra_res";
    mkdir(root.c_str(), 0755);
    mkdir((root + "/data").c_str(), 0755);
    mkdir((root + "/data/config").c_str(), 0755);
    mkdir((root + "/bin").c_str(), 0755);
    mkdir((root + "/bin/deep").c_str(), 0755);
    std::string error;

    // Given folders: the folder holding data/, or data/ itself; nothing else.
    EXPECT_EQ(resource_folder_of(root), root);
    EXPECT_EQ(resource_folder_of(root + "/data/"), root);
    EXPECT_EQ(resource_folder_of(root + "/bin"), "");
    EXPECT_EQ(find_resource_folder(root + "/data", "", "/nowhere", error), root);
    EXPECT_EQ(find_resource_folder("", root, "/nowhere", error), root);
    // A folder the user named that is wrong is reported, not replaced by one found elsewhere.
    EXPECT_EQ(find_resource_folder(root + "/bin", "", root + "/bin/deep", error), "");
    EXPECT_NE(error.find("--data " + root + "/bin"), std::string::npos) << error;
    EXPECT_EQ(find_resource_folder("", root + "/bin", root + "/bin/deep", error), "");
    EXPECT_NE(error.find("NIMBRA_DATA"), std::string::npos) << error;

    // Otherwise the program's own folder and its parents come first.
    EXPECT_EQ(find_resource_folder("", "", root + "/bin/deep", error), root);
    const std::vector<std::string> c = resource_candidates("", "", root + "/bin/deep");
    ASSERT_GE(c.size(), 4u);
    EXPECT_EQ(c[0], root + "/bin/deep");
    EXPECT_EQ(c[1], root + "/bin");
    EXPECT_EQ(c[2], root);
    EXPECT_EQ(resource_candidates("/a", "/b", "/c"), std::vector<std::string>{"/a"});
}
