// The network saved as GraphML: what it takes from the globe (the user first, each line once,
// no dead or placeholder photos), that hostile names still give a document every reader opens,
// that the graph reader gets back the same people and friendships, and how the file is written.
#include "app/saved_network.h"
#include "controller/sim_ctrl_nimbra.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "service/graph_file.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string home() { return std::getenv("HOME"); }

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string edge_text(const UTL_SavedNetwork& n, size_t k) {
    return n.m_people[n.m_edges[k].first].m_uid + "-" + n.m_people[n.m_edges[k].second].m_uid;
}

}  // namespace

TEST(SavedNetwork, TakesTheUserFirstEveryShownLineOnceAndOnlyPhotosThatLast) {
    UTL_SimCtrlNimbra c;
    const std::string fresh = "http://127.0.0.1:4711/photos/";
    c.add_friend("a", "Ann", (fresh + "a").c_str(), (fresh + "a_s").c_str());
    c.add_friend("b", "Bob", "", "");
    c.add_friend("c", "Cid", "https://x.example/c.jpg", "https://x.example/c_s.jpg");
    // The user arrives after a friend, as a service may send them.
    c.add_myself("me", "Maya", "https://x.example/me.jpg", "https://x.example/me.jpg");
    c.add_connections_for_myself();
    c.add_connection("a", "b", 0.4f, false);
    c.add_connection("b", "a", 0.4f, false);   // the same line again, the other way
    c.add_connection("a", "a", 0.4f, false);   // to itself
    c.add_connection("a", "zz", 0.4f, false);  // to nobody on the globe: draws nothing
    c.add_connection("c", "b", 0.4f, false);

    const UTL_SavedNetwork n = UTL_SavedNetwork::of(c, fresh);
    ASSERT_EQ(n.m_people.size(), 4u);
    EXPECT_EQ(n.m_people[0].m_uid, "me");
    EXPECT_EQ(n.m_people[0].m_name, "Maya");
    EXPECT_EQ(n.m_people[0].m_pic, "https://x.example/me.jpg");
    EXPECT_EQ(n.m_people[1].m_uid, "a");
    EXPECT_EQ(n.m_people[1].m_pic, "") << "a portrait made afresh at each start is dead later";
    EXPECT_EQ(n.m_people[2].m_pic, "") << "the question mark is no photo";
    EXPECT_EQ(n.m_people[3].m_pic_square, "https://x.example/c_s.jpg");
    ASSERT_EQ(n.m_edges.size(), 5u);
    EXPECT_EQ(edge_text(n, 0), "me-a");
    EXPECT_EQ(edge_text(n, 3), "a-b");
    EXPECT_EQ(edge_text(n, 4), "b-c");

    // Without a prefix of fresh photos every photo is kept.
    EXPECT_EQ(UTL_SavedNetwork::of(c, "").m_people[1].m_pic, fresh + "a");
}

TEST(SavedNetwork, EachPersonKeepsTheirCircleAndThePlaceTheyGlideTo) {
    // Two groups of five friends, each group all friends, one line across.
    UTL_SimCtrlNimbra c;
    c.add_myself("0", "Me", "", "");
    for (int i = 1; i <= 10; ++i) c.add_friend(std::to_string(i).c_str(), "F", "", "");
    c.create_friends_locators();
    c.add_connections_for_myself();
    for (int a = 1; a <= 10; ++a)
        for (int b = a + 1; b <= 10; ++b)
            if ((a - 1) / 5 == (b - 1) / 5 || (a == 5 && b == 6))
                c.add_connection(std::to_string(a).c_str(), std::to_string(b).c_str(), 0.4f, false);
    const UTL_SavedNetwork before = UTL_SavedNetwork::of(c, "");
    ASSERT_EQ(before.m_extra_keys.size(), 3u);
    EXPECT_EQ(before.m_extra_keys[0].m_name, "circle");
    EXPECT_EQ(before.m_people[0].m_extra[0], "-1") << "the user is in no circle";
    EXPECT_EQ(before.m_people[1].m_extra[0], "") << "a circle not found yet is left out";

    // Saved while everyone glides to the arrangement by circles, and again once they are there.
    c.set_layout(UTL_SimCtrlNimbra::LAYOUT_CIRCLES);
    ASSERT_TRUE(wait_until([&] {
        c.update_circles(0.02f);
        return c.people_gliding();
    })) << "nobody set off for the arrangement by circles";
    const UTL_SavedNetwork gliding = UTL_SavedNetwork::of(c, "");
    ASSERT_TRUE(wait_until([&] {
        c.update_circles(0.02f);
        return c.circles_settled();
    }));
    const UTL_SavedNetwork after = UTL_SavedNetwork::of(c, "");

    ASSERT_EQ(after.m_people.size(), 11u);
    std::set<std::string> places;
    for (size_t i = 0; i < after.m_people.size(); ++i) {
        const UTL_SavedPerson& p = after.m_people[i];
        EXPECT_EQ(p.m_extra, gliding.m_people[i].m_extra) << "the place a glide ends at";
        const double lon = std::stod(p.m_extra[1]), lat = std::stod(p.m_extra[2]);
        EXPECT_TRUE(lon >= -180 && lon < 180 && lat >= -90 && lat <= 90) << lon << " " << lat;
        const GFX_LocationHolder* h = c.m_loc_holders[i];
        EXPECT_NEAR(std::cos(lon * M_PI / 180), std::cos(h->m_longitude * M_PI / 180), 1e-4);
        EXPECT_NEAR(std::sin(lon * M_PI / 180), std::sin(h->m_longitude * M_PI / 180), 1e-4);
        EXPECT_NEAR(lat, h->m_latitude, 1e-4);
        places.insert(p.m_extra[1] + " " + p.m_extra[2]);
        if (i == 0) continue;
        const GFX_Friend* f = nullptr;
        for (const GFX_Friend* g : c.m_friends)
            if (g->m_uid == p.m_uid) f = g;
        ASSERT_TRUE(f);
        EXPECT_EQ(p.m_extra[0], std::to_string(f->m_circle));
        const int group = (std::stoi(p.m_uid) - 1) / 5;
        EXPECT_EQ(p.m_extra[0], after.m_people[group == 0 ? 1 : 6].m_extra[0]) << p.m_uid;
    }
    EXPECT_NE(after.m_people[1].m_extra[0], after.m_people[6].m_extra[0]);
    EXPECT_EQ(places.size(), 11u) << "everyone has a place of their own";

    // In the document, typed as a graph tool expects.
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(after.graphml().c_str()));
    pugi::xml_node root = doc.child("graphml");
    EXPECT_STREQ(root.find_child_by_attribute("key", "id", "circle").attribute("attr.type").value(),
                 "int");
    EXPECT_STREQ(
        root.find_child_by_attribute("key", "id", "latitude").attribute("attr.type").value(),
        "double");
    pugi::xml_node me = root.child("graph").child("node");
    EXPECT_STREQ(me.find_child_by_attribute("data", "key", "circle").text().get(), "-1");
}

TEST(SavedNetwork, HostileNamesGiveAValidDocumentThatReadsBackAsTheSameNetwork) {
    UTL_SavedNetwork n;
    const std::string nasty = "Ann <&> \"quoted\" 'x' \x01\x1f\x7f bell\xff\xfe tab\there";
    n.m_people = {
        {"me", "Maya Ølund", "https://x.example/me.jpg", "https://x.example/me.jpg", {}},
        {"did:plc:abc", nasty, "https://x.example/a.webp?x=1&y=2", "", {}},
        {"b.example", "Борис 日本 😀", "", "", {}},
        {"c", "Cid", "https://x.example/c.jpg", "https://x.example/c_s.jpg", {}},
    };
    n.m_edges = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {2, 3}};
    n.m_extra_keys = {{"circle", "int"}};
    n.m_people[1].m_extra = {"3"};

    const std::string text = n.graphml();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str())) << text;
    EXPECT_STREQ(doc.child("graphml").child("graph").attribute("edgedefault").value(),
                 "undirected");
    pugi::xml_node second = doc.child("graphml").child("graph").child("node").next_sibling();
    EXPECT_STREQ(second.attribute("id").value(), "did:plc:abc");
    EXPECT_STREQ(second.find_child_by_attribute("data", "key", "label").text().get(),
                 "Ann <&> \"quoted\" 'x'  bell\uFFFD\uFFFD tab here");
    EXPECT_STREQ(second.find_child_by_attribute("data", "key", "circle").text().get(), "3");
    for (unsigned char ch : text) EXPECT_FALSE(ch < 0x20 && ch != '\n') << int(ch);

    const std::string path = home() + "/saved.graphml";
    std::string error;
    {
        std::ofstream old(path);
        old << "an older file, replaced whole";
    }
    ASSERT_TRUE(n.write_graphml(path, error)) << error;
    EXPECT_EQ(read_all(path), text);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    // The user comes back as the user (the best connected, first on a tie), every line as a
    // friendship: the user's four and the two among the friends.
    UTL_SocialNetwork back;
    std::vector<std::string> warnings;
    UTL_GraphSource source;
    source.m_graph_file = path;
    ASSERT_TRUE(UTL_GraphFile::load(source, back, error, warnings)) << error;
    ASSERT_TRUE(back.ego());
    EXPECT_EQ(back.ego()->m_uid, "me");
    EXPECT_EQ(back.friends().size(), 3u);
    EXPECT_EQ(back.friendship_count(), 5u);
    EXPECT_TRUE(back.are_friends("did:plc:abc", "b.example"));
    EXPECT_FALSE(back.are_friends("did:plc:abc", "c"));
    EXPECT_EQ(back.find("b.example")->m_name, "Борис 日本 😀");
    EXPECT_EQ(back.find("did:plc:abc")->m_pic, "https://x.example/a.webp?x=1&y=2");
    EXPECT_EQ(back.find("c")->m_pic_square, "https://x.example/c_s.jpg");
    EXPECT_EQ(back.find("me")->m_pic_square, "https://x.example/me.jpg");

    // A folder that is not there: nothing written, and why.
    EXPECT_FALSE(n.write_graphml(home() + "/no/such/folder/x.graphml", error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST(SavedNetwork, NetworkXReadsTheSameNodesAttributesAndEdges) {
    if (std::system("python3 -c 'import networkx' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-networkx is not installed";
    UTL_SavedNetwork n;
    n.m_people = {{"me", "Maya", "https://x.example/me.jpg", "", {}},
                  {"did:plc:abc", "Ann & <Co>", "", "", {}},
                  {"b", "Борис", "", "", {}}};
    n.m_edges = {{0, 1}, {0, 2}, {1, 2}};
    const std::string path = home() + "/nx.graphml";
    std::string error;
    ASSERT_TRUE(n.write_graphml(path, error)) << error;
    const std::string out = home() + "/nx.txt";
    const std::string script =
        "import networkx as nx, sys\n"
        "g = nx.read_graphml(sys.argv[1])\n"
        "print(g.number_of_nodes(), g.number_of_edges(), g.nodes['did:plc:abc']['label'],\n"
        "      g.nodes['me']['pic'], g.has_edge('b', 'did:plc:abc'))\n";
    {
        std::ofstream py(home() + "/nx.py");
        py << script;
    }
    ASSERT_EQ(std::system(("python3 " + home() + "/nx.py " + path + " >" + out).c_str()), 0);
    EXPECT_EQ(read_all(out), "3 3 Ann & <Co> https://x.example/me.jpg True\n");
}
