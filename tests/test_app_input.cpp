// What the program reads from the user before any window opens: the command line, the event
// script, SNAP edge lists (hostile ones too), the resource folder, and the demo network.
#include "app/event_script.h"
#include "app/host_driver.h"
#include "app/options.h"
#include "app/resource_folder.h"
#include "app/snap_graph.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

bool parse(std::vector<const char*> args, UTL_HostOptions& o, std::string& error)
{
    args.insert(args.begin(), "nimbra");
    o = UTL_HostOptions();
    return parse_command_line(static_cast<int>(args.size()), args.data(), o, error);
}

std::string temp_file(const std::string& name, const std::string& text)
{
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace

TEST(AppInput, CommandLine) {
    UTL_HostOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--size", "3840x2160", "--snapshot=globe.png", "--frames", "600", "--script", "s.txt",
                       "--graph", "g.txt", "--ego=107", "--batch-frames", "5", "--data", "/opt/d"},
                      o, error))
        << error;
    EXPECT_EQ(o.width, 3840);
    EXPECT_EQ(o.height, 2160);
    EXPECT_EQ(o.snapshot_file, "globe.png");
    EXPECT_EQ(o.frames, 600);
    EXPECT_EQ(o.script_file, "s.txt");
    EXPECT_EQ(o.graph_file, "g.txt");
    EXPECT_TRUE(o.has_ego);
    EXPECT_EQ(o.ego, 107u);
    EXPECT_EQ(o.batch_frames, 5u);
    EXPECT_EQ(o.data_dir, "/opt/d");
    EXPECT_TRUE(o.offscreen());
    ASSERT_TRUE(parse({}, o, error));
    EXPECT_FALSE(o.offscreen());
    EXPECT_EQ(o.batch_frames, 500u);
    ASSERT_TRUE(parse({"--bench"}, o, error));
    EXPECT_TRUE(o.offscreen());
    ASSERT_TRUE(parse({"-h"}, o, error));
    EXPECT_TRUE(o.help);

    // Every mistake is refused with a message that names it.
    const std::map<std::vector<const char*>, std::string> bad = {
        {{"--frobnicate"}, "--frobnicate"},     {{"-x"}, "-x"},
        {{"extra"}, "extra"},                   {{"--size"}, "needs a value"},
        {{"--size", "800"}, "800"},             {{"--size", "0x600"}, "0x600"},
        {{"--size", "800x-6"}, "800x-6"},       {{"--size", "99999x10"}, "99999x10"},
        {{"--size", "800x600x3"}, "800x600x3"}, {{"--frames", "0"}, "--frames"},
        {{"--frames", "1e3"}, "1e3"},           {{"--frames", "99999999999999999999999"}, "--frames"},
        {{"--batch-frames", "-1"}, "-1"},       {{"--ego", "7"}, "--graph"},
        {{"--graph", "g", "--ego", "x"}, "x"},  {{"--snapshot="}, "non-empty"},
        {{"--help=yes"}, "no value"},
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
    ASSERT_TRUE(parse_event_script("# a click, a drag and keys\n"
                                   "frame 14 up 420 300\r\n"
                                   "frame 10 down 400.5 300   # press\n"
                                   "\n"
                                   "frame 12 move 420 300 drag\n"
                                   "frame 12 move 421 300\n"
                                   "frame 20 key F5\n"
                                   "frame 20 key hello world\n"
                                   "frame 21 key up\n"
                                   "frame 30 snapshot out.png\n",
                                   ev, error))
        << error;
    ASSERT_EQ(ev.size(), 8u);
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

    const std::vector<std::pair<std::string, std::string>> bad = {
        {"frame 0 down 1 2", "line 1: bad frame number"},
        {"\nframe x down 1 2", "line 2: bad frame number"},
        {"frame 3 down 1", "expected 'down X Y'"},
        {"frame 3 down 1 2 3", "expected 'down X Y'"},
        {"frame 3 move 1 2 drop", "expected 'drag'"},
        {"frame 3 up nan 2", "bad position"},
        {"frame 3 up 0x10 2", "bad position"},
        {"frame 3 up 1e99 2", "bad position"},
        {"frame 3 key", "expected 'key TEXT'"},
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

TEST(AppInput, SnapEgoNetwork) {
    UTL_SocialGraph g;
    std::string error, warning;
    // Person 1 has the most friends (2, 3, 4); 5 knows only 4. Comments, blank lines, tabs,
    // CRLF, a repeated edge in both directions, a self-loop and a third column are all fine.
    const std::string good = temp_file("snap_good.txt",
                                       "# Undirected graph\n% also a comment\n\n1 2\r\n1\t3\n3 1\n1 4 0.5\n"
                                       "2 3\n4 5\n7 7\n");
    ASSERT_TRUE(read_snap_ego_network(good, false, 0, g, error, warning)) << error;
    EXPECT_TRUE(warning.empty()) << warning;
    EXPECT_EQ(g.me().uid, "1");
    ASSERT_EQ(g.friends().size(), 3u);
    EXPECT_EQ(g.friends()[0].uid, "2");
    EXPECT_EQ(g.friends()[2].name, "Person 4");
    EXPECT_EQ(g.link_count(), 1u);
    EXPECT_TRUE(g.are_friends("3", "2"));
    EXPECT_FALSE(g.are_friends("2", "4"));
    ASSERT_TRUE(read_snap_ego_network(good, true, 4, g, error, warning));
    EXPECT_EQ(g.friends().size(), 2u);  // 1 and 5
    EXPECT_FALSE(read_snap_ego_network(good, true, 99, g, error, warning));
    EXPECT_NE(error.find("person 99"), std::string::npos);

    // Hostile lines are skipped and counted; the good ones are kept.
    std::string hostile = "1 2\n-1 3\n1 two\n18446744073709551616 1\n1 2x\n\x01\x02\xff\n";
    hostile += std::string(100000, '7') + " 1\n";  // an endless id on an endless line
    hostile += "3 1\n1 4";                          // the last line without its newline
    const std::string bad = temp_file("snap_hostile.txt", hostile);
    ASSERT_TRUE(read_snap_ego_network(bad, true, 1, g, error, warning)) << error;
    EXPECT_EQ(g.friends().size(), 3u);
    EXPECT_NE(warning.find("skipped 6 lines"), std::string::npos) << warning;
    EXPECT_NE(warning.find("first: line 2"), std::string::npos) << warning;

    // Nothing usable: a clear error, never a crash.
    for (const std::string& text : {std::string(), std::string("# only comments\n"), std::string("5 5\n"),
                                    std::string("\0\0\0\0", 4), std::string("a b\nc d\n")}) {
        EXPECT_FALSE(read_snap_ego_network(temp_file("snap_empty.txt", text), false, 0, g, error, warning));
        EXPECT_NE(error.find("no friendships"), std::string::npos) << error;
    }
    EXPECT_FALSE(read_snap_ego_network(::testing::TempDir() + "no_such_graph.txt", false, 0, g, error, warning));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    EXPECT_FALSE(read_snap_ego_network(::testing::TempDir(), false, 0, g, error, warning));  // a folder
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

