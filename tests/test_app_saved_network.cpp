// The network saved as GraphML: what it takes from the globe (the user first, each line once,
// no dead or placeholder photos), that hostile names still give a document every reader opens,
// that the graph reader gets back the same people and friendships, and how the file is written.
#include "app/saved_network.h"
#include "controller/sim_ctrl_nimbra.h"
#include "service/graph_file.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
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
