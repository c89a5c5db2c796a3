// Tests of the graph files the service reads: GraphML, GEXF, GML and Pajek written by NetworkX
// at set-up (ego 0 of the SNAP ego-Facebook list, undirected and directed), and small files by
// hand for uids, names, photos, repeated edges, bad input and limits.
#include "service/data_lines.h"
#include "service/graph_file.h"
#include "tests/support/offscreen_gl.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A folder of its own for one test program, removed at its end.
const std::string& folder() {
    static const std::string dir = [] {
        std::string d = testing::TempDir() + "nimbra_graphs_" + std::to_string(getpid());
        std::filesystem::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(
                testing::TempDir() + "nimbra_graphs_" + std::to_string(getpid()), ec);
        });
        return d;
    }();
    return dir;
}

std::string write_file(const std::string& name, const std::string& text) {
    const std::string path = folder() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct Loaded {
    bool ok = false;
    std::string error;
    std::vector<std::string> warnings;
    UTL_SocialNetwork network;

    std::string all_warnings() const {
        std::string s;
        for (const std::string& w : warnings) s += w + "\n";
        return s;
    }
    bool warns(const std::string& text) const {
        return all_warnings().find(text) != std::string::npos;
    }
    std::string name_of(const std::string& uid) const {
        const UTL_ServicePerson* p = network.find(uid);
        return p ? p->m_name : "(nobody)";
    }
};

Loaded load(const std::string& path, const std::string& ego = "", bool mutual_only = false,
            const UTL_GraphLimits& limits = UTL_GraphLimits(), const std::string& people = "") {
    Loaded l;
    l.ok = UTL_GraphFile::load({path, people, ego, mutual_only, limits}, l.network, l.error,
                               l.warnings);
    return l;
}

// Friendships among the ego's friends, and those of them that pass a test.
template <class Keep>
size_t pairs_among_friends(const UTL_SocialNetwork& net, Keep keep) {
    const std::vector<std::string>& f = net.friends();
    size_t n = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        for (size_t j = i + 1; j < f.size(); ++j)
            n += net.are_friends(f[i], f[j]) && keep(f[i], f[j]);
    }
    return n;
}

// The NetworkX files, written once per test program.
class GraphFilesFromNetworkX : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = folder() + "/networkx";
        const std::string command = "/usr/bin/python3 '" + source_dir() +
                                    "/tests/support/write_graph_files.py' '" + shared_data_dir() +
                                    "/facebook_combined.txt' '" + s_dir + "'";
        s_written = std::system(command.c_str()) == 0;
    }
    void SetUp() override {
        // The SNAP file sits beside the project, not in it: a clone elsewhere skips these.
        if (access((shared_data_dir() + "/facebook_combined.txt").c_str(), R_OK) != 0)
            GTEST_SKIP() << "no " << shared_data_dir() << "/facebook_combined.txt";
        ASSERT_TRUE(s_written) << "NetworkX could not write the fixtures (python3-networkx, "
                                  "tools/setup.sh)";
        std::string error, warning;
        ASSERT_TRUE(
            m_snap.read_edge_list(shared_data_dir() + "/facebook_combined.txt", error, warning))
            << error;
        ASSERT_TRUE(m_snap.set_ego("0"));
        ASSERT_EQ(m_snap.friends().size(), 347u);
    }

    // Every friend of the SNAP list's ego 0 and every friendship among them, nothing more.
    void expect_same_friendships(const UTL_SocialNetwork& net, const std::string& file) {
        const std::set<std::string> want(m_snap.friends().begin(), m_snap.friends().end());
        const std::set<std::string> got(net.friends().begin(), net.friends().end());
        EXPECT_EQ(got, want) << file;
        size_t differ = 0;
        const std::vector<std::string>& f = m_snap.friends();
        for (size_t i = 0; i < f.size(); ++i) {
            for (size_t j = i + 1; j < f.size(); ++j)
                differ += net.are_friends(f[i], f[j]) != m_snap.are_friends(f[i], f[j]);
        }
        EXPECT_EQ(differ, 0u) << file;
        EXPECT_EQ(net.friendship_count(),
                  347 + pairs_among_friends(m_snap, [](auto&, auto&) { return true; }))
            << file;
    }

    static std::string s_dir;
    static bool s_written;
    UTL_SocialNetwork m_snap;
};
std::string GraphFilesFromNetworkX::s_dir;
bool GraphFilesFromNetworkX::s_written = false;

}  // namespace

TEST_F(GraphFilesFromNetworkX, EveryFormatHoldsTheEgoNetworkWithNamesAndPhotos) {
    // uid, name, photo, square photo as NetworkX was given them.
    std::vector<std::vector<std::string>> people;
    std::istringstream tsv(read_text(s_dir + "/ego0_people.tsv"));
    for (std::string line; std::getline(tsv, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        fields.resize(4);
        people.push_back(fields);
    }
    ASSERT_EQ(people.size(), 348u);

    for (const char* file : {"ego0.graphml", "ego0.gexf", "ego0.gml", "ego0.net"}) {
        const Loaded l = load(s_dir + "/" + file, "0");
        ASSERT_TRUE(l.ok) << file << ": " << l.error;
        EXPECT_EQ(l.all_warnings(), "") << file;
        EXPECT_EQ(l.network.ego()->m_uid, "0") << file;
        expect_same_friendships(l.network, file);
        size_t wrong = 0;
        for (const auto& p : people) {
            const UTL_ServicePerson* got = l.network.find(p[0]);
            ASSERT_NE(got, nullptr) << file << " " << p[0];
            const std::string square = p[3].empty() ? p[2] : p[3];
            if (got->m_name != p[1] || got->m_pic != p[2] || got->m_pic_square != square ||
                got->m_generated_photo) {
                if (++wrong < 4) {
                    ADD_FAILURE() << file << " " << p[0] << ": '" << got->m_name << "' "
                                  << got->m_pic << " " << got->m_pic_square << ", expected '"
                                  << p[1] << "' " << p[2] << " " << square;
                }
            }
        }
        EXPECT_EQ(wrong, 0u) << file;
    }
}

TEST_F(GraphFilesFromNetworkX, DirectedEdgesCountEitherWayOrOnlyMutually) {
    // Among friends, the pairs whose uids add up to a multiple of three point both ways.
    const size_t mutual =
        pairs_among_friends(m_snap, [](const std::string& a, const std::string& b) {
            return (std::stoi(a) + std::stoi(b)) % 3 == 0;
        });
    const size_t all = pairs_among_friends(m_snap, [](auto&, auto&) { return true; });
    ASSERT_GT(mutual, 100u);
    ASSERT_LT(mutual, all);
    for (const char* file : {"ego0_directed.graphml", "ego0_directed.gexf", "ego0_directed.gml",
                             "ego0_directed.net"}) {
        const Loaded either = load(s_dir + "/" + file, "0");
        ASSERT_TRUE(either.ok) << file << ": " << either.error;
        EXPECT_EQ(either.all_warnings(), "") << file;  // a pair both ways is no repeat
        expect_same_friendships(either.network, file);

        const Loaded both = load(s_dir + "/" + file, "0", true);
        ASSERT_TRUE(both.ok) << file << ": " << both.error;
        EXPECT_EQ(both.network.friends().size(), 347u) << file;
        EXPECT_EQ(pairs_among_friends(both.network, [](auto&, auto&) { return true; }), mutual)
            << file;
        EXPECT_TRUE(both.warns(with_commas(all - mutual) + " pairs that point one way only"))
            << file << ": " << both.all_warnings();
    }
}

TEST(GraphFiles, UidsNamesAndPhotosComeFromTheAttributes) {
    // GraphML: ids as uids, any case of the attribute names, "image" as photo, a thumbnail,
    // an address the downloader must not fetch, a node with nothing.
    const std::string graphml = write_file("people.graphml", R"(<?xml version="1.0"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
  <key id="k0" for="node" attr.name="Name" attr.type="string"/>
  <key id="k1" for="node" attr.name="image" attr.type="string"/>
  <key id="k2" for="node" attr.name="thumbnail" attr.type="string"/>
  <key id="k3" for="node" attr.name="age" attr.type="int"/>
  <graph edgedefault="undirected">
    <node id="alice"><data key="k0">Alice &amp; Co</data><data key="k1">http://x/a.jpg</data>
      <data key="k2">http://x/a_q.jpg</data><data key="k3">33</data></node>
    <node id="bob.b"><data key="k0">Bob</data><data key="k1">file:///etc/passwd</data></node>
    <node id="carol"><data key="k1">HTTPS://x/c.jpg</data></node>
    <node id="dave"/>
    <edge source="alice" target="bob.b"/><edge source="alice" target="carol"/>
    <edge source="alice" target="dave"/><edge source="carol" target="bob.b"/>
  </graph>
</graphml>
)");
    Loaded g = load(graphml, "alice");
    ASSERT_TRUE(g.ok) << g.error;
    EXPECT_EQ(g.network.friends(), (std::vector<std::string>{"bob.b", "carol", "dave"}));
    const UTL_ServicePerson* alice = g.network.find("alice");
    EXPECT_EQ(alice->m_name, "Alice & Co");
    EXPECT_EQ(alice->m_pic, "http://x/a.jpg");
    EXPECT_EQ(alice->m_pic_square, "http://x/a_q.jpg");
    EXPECT_EQ(g.network.find("bob.b")->m_pic, "");
    EXPECT_TRUE(g.warns("1 photo address left out")) << g.all_warnings();
    EXPECT_EQ(g.network.find("carol")->m_pic_square, "HTTPS://x/c.jpg");
    // Nameless: a generated name; photoless in a file of photos: no photo, not a portrait.
    EXPECT_EQ(g.name_of("dave"), UTL_SocialNetwork::generated_name("dave"));
    EXPECT_FALSE(g.network.find("dave")->m_generated_photo);
    EXPECT_TRUE(g.network.are_friends("bob.b", "carol"));
    // The people file still has the last word.
    const std::string people = write_file("people.csv", "bob.b,Robert,http://x/b.jpg\n");
    g = load(graphml, "alice", false, UTL_GraphLimits(), people);
    ASSERT_TRUE(g.ok) << g.error;
    EXPECT_EQ(g.name_of("bob.b"), "Robert");
    EXPECT_EQ(g.network.find("bob.b")->m_pic, "http://x/b.jpg");

    // GML: labels that are distinct uids are the uids, and name a person unless a "name" does;
    // one label twice and the ids are the uids, the labels names.
    Loaded distinct = load(write_file("distinct.gml", R"(Creator "by hand"
graph [
  node [ id 10 label "ann" ]
  node [ id 20 label "ben" name "Ben Berg" ]
  node [ id 30 label "cy" ]
  edge [ source 10 target 20 ]
  edge [ source 10 target 30 ]
]
)"));
    ASSERT_TRUE(distinct.ok) << distinct.error;
    EXPECT_EQ(distinct.network.ego()->m_uid, "ann");
    EXPECT_EQ(distinct.name_of("ann"), "ann");
    EXPECT_EQ(distinct.name_of("ben"), "Ben Berg");
    EXPECT_EQ(distinct.network.find("ann")->m_generated_photo, true);  // a file without photos
    Loaded twice = load(
        write_file("twice.gml",
                   "graph [ node [ id 10 label \"Ann\" ] node [ id 20 label \"Ann\" ]"
                   " node [ id 30 label \"Cy &amp; &#67;o &zz;\" ] edge [ source 10 target 20 ]"
                   " edge [ source 20 target 30 ] ]"));
    ASSERT_TRUE(twice.ok) << twice.error;
    EXPECT_EQ(twice.network.ego()->m_uid, "20");
    EXPECT_EQ(twice.name_of("10"), "Ann");
    EXPECT_EQ(twice.name_of("30"), "Cy & Co &zz;");
    // An entity igraph does not know is told.
    EXPECT_TRUE(twice.warns(
        "twice.gml: GML: 1 string keeps an unknown entity as written, the first '&zz;'"))
        << twice.all_warnings();

    // Pajek: labels with spaces cannot be uids, so the vertex numbers are; labels name them.
    Loaded pajek = load(write_file(
        "names.net", "*Vertices 3\n1 \"Ann Lee\"\n2 \"Bo\"\n3 \"Cy\"\n*Edges\n1 2\n1 3\n"));
    ASSERT_TRUE(pajek.ok) << pajek.error;
    EXPECT_EQ(pajek.network.ego()->m_uid, "1");
    EXPECT_EQ(pajek.name_of("1"), "Ann Lee");
    EXPECT_EQ(pajek.name_of("3"), "Cy");

    // GEXF: an attribute declared with its default, values by "for" and by GEXF 1.0's "id",
    // a nested node, a "mutual" edge in a directed graph, an edge to a node that is not there.
    Loaded gexf = load(write_file("small.gexf", R"(<?xml version="1.0" encoding="UTF-8"?>
<gexf xmlns="http://www.gexf.net/1.3" version="1.3">
  <graph defaultedgetype="directed">
    <attributes class="node">
      <attribute id="p" title="photo" type="string"><default>http://x/default.jpg</default></attribute>
      <attribute id="s" title="pic_square" type="string"/>
    </attributes>
    <nodes>
      <node id="n1" label="Una"><attvalues><attvalue for="p" value="http://x/1.jpg"/>
        <attvalue id="s" value="http://x/1q.jpg"/></attvalues>
        <nodes><node id="n4" label="Inner"/></nodes></node>
      <node id="n2" label="Dos"/>
      <node id="n3"/>
    </nodes>
    <edges>
      <edge source="n1" target="n2"/>
      <edge source="n3" target="n1" type="mutual"/>
      <edge source="n1" target="n4"/><edge source="n4" target="n1"/>
      <edge source="n1" target="ghost"/>
    </edges>
  </graph>
</gexf>
)"),
                       "n1", true);
    ASSERT_TRUE(gexf.ok) << gexf.error;
    EXPECT_EQ(gexf.network.friends(), (std::vector<std::string>{"n3", "n4"}));
    EXPECT_EQ(gexf.network.find("n1")->m_pic_square, "http://x/1q.jpg");
    EXPECT_EQ(gexf.network.find("n2")->m_pic, "http://x/default.jpg");
    EXPECT_EQ(gexf.name_of("n4"), "Inner");
    EXPECT_TRUE(gexf.warns("1 edge names a node the file does not hold")) << gexf.all_warnings();
    EXPECT_TRUE(gexf.warns("1 pair that points one way only")) << gexf.all_warnings();
}

TEST(GraphFiles, SelfLoopsAndRepeatsAreCountedAndEveryPairCountsOnce) {
    // A directed multigraph: 1->2 twice and 2->1, a self-loop, 1->3.
    const std::string gml = write_file("multi.gml",
                                       "graph [ directed 1 multigraph 1\n"
                                       " node [ id 1 ] node [ id 2 ] node [ id 3 ]\n"
                                       " edge [ source 1 target 2 ] edge [ source 1 target 2 ]\n"
                                       " edge [ source 2 target 1 ] edge [ source 3 target 3 ]\n"
                                       " edge [ source 1 target 3 ] ]\n");
    Loaded either = load(gml, "1");
    ASSERT_TRUE(either.ok) << either.error;
    EXPECT_EQ(either.network.friendship_count(), 2u);
    EXPECT_TRUE(either.warns("1 self-loop skipped")) << either.all_warnings();
    EXPECT_TRUE(either.warns("1 repeated edge skipped")) << either.all_warnings();
    Loaded both = load(gml, "1", true);
    ASSERT_TRUE(both.ok) << both.error;
    EXPECT_EQ(both.network.friends(), std::vector<std::string>{"2"});

    // An edge list is read as arcs: "a b" then "b a" is one friendship, no repeat.
    const std::string edges = write_file("arcs.txt", "1 2\n2 1\n1 3\n4 4\n");
    Loaded list = load(edges, "1");
    ASSERT_TRUE(list.ok) << list.error;
    EXPECT_EQ(list.network.friendship_count(), 2u);
    EXPECT_EQ(list.all_warnings().find("repeated"), std::string::npos) << list.all_warnings();
    EXPECT_TRUE(list.warns("1 self-loop skipped")) << list.all_warnings();
    list = load(edges, "1", true);
    ASSERT_TRUE(list.ok) << list.error;
    EXPECT_EQ(list.network.friendship_count(), 1u);
    // Nothing both ways: nothing to show, and the reason says so.
    list = load(write_file("one_way.txt", "1 2\n1 3\n"), "", true);
    EXPECT_FALSE(list.ok);
    EXPECT_NE(list.error.find("no friendships found that point both ways"), std::string::npos)
        << list.error;
}

TEST(GraphFiles, FormatsAreKnownByContentThenByName) {
    const std::string xml = "\xEF\xBB\xBF<?xml version='1.0'?>\n<!-- x -->\n";
    EXPECT_EQ(UTL_GraphFile::detect(xml + "<graphml>", "a.txt"), UTL_GraphFormat::kGraphML);
    EXPECT_EQ(UTL_GraphFile::detect(xml + "<gexf version='1.2'>", "a.graphml"),
              UTL_GraphFormat::kGexf);
    EXPECT_EQ(UTL_GraphFile::detect("% made by hand\n*Network x\n*Vertices 3", "a.gml"),
              UTL_GraphFormat::kPajek);
    EXPECT_EQ(UTL_GraphFile::detect("# comment\nCreator \"me\"\ngraph\n[", "a.net"),
              UTL_GraphFormat::kGml);
    EXPECT_EQ(UTL_GraphFile::detect("1 2\n2 3\n", "edges.txt"), UTL_GraphFormat::kEdgeList);
    EXPECT_EQ(UTL_GraphFile::detect("1 2\n", "dir.v2/edges"), UTL_GraphFormat::kEdgeList);
    EXPECT_EQ(UTL_GraphFile::detect("", "x.GraphML"), UTL_GraphFormat::kGraphML);
    EXPECT_EQ(UTL_GraphFile::detect("<html>", "x.gexf"), UTL_GraphFormat::kGexf);
    EXPECT_EQ(UTL_GraphFile::detect("\x1f\x8b\x08", "x.paj"), UTL_GraphFormat::kPajek);

    // A GraphML file under a name of an edge list loads as GraphML, and igraph's warnings are
    // told as ours.
    const Loaded l = load(
        write_file("graph.txt",
                   "<graphml><graph><node id='a'><data key='nokey'>1</data></node><node id='b'/>"
                   "<edge source='a' target='b'/></graph></graphml>"));
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_TRUE(l.network.are_friends("a", "b"));
    EXPECT_TRUE(l.warns("graph.txt: GraphML: Unknown attribute key 'nokey'")) << l.all_warnings();
}

TEST(GraphFiles, BadFilesAreRefusedWithTheFileAndTheLine) {
    const std::string good_graphml =
        "<?xml version='1.0'?>\n<graphml>\n<graph edgedefault='undirected'>\n"
        "<node id='a'/>\n<node id='b'/>\n<edge source='a' target='b'/>\n</graph>\n</graphml>\n";
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> said;
    } cases[] = {
        {"cut.graphml",
         good_graphml.substr(0, good_graphml.find("<node id='b'")),
         {"not readable as GraphML", "Line 4"}},
        {"tags.graphml", "<graphml>\n<graph>\n<node id='a'>\n</graph></graphml>", {"Line 4"}},
        {"cut.gml", "graph [\n node [ id 1 ]\n node [ id 2 \n", {"GML", "line 4"}},
        {"edge.gml", "graph [\n node [ id 1 ]\n edge [ source 1 target 9 ]\n]\n", {"line 3"}},
        {"bad.net", "*Vertices 2\n1 \"a\"\n*Edges\n1 \"x\n", {"Pajek", "line 4"}},
        {"range.net", "*Vertices 2\n*Edges\n1 7\n", {"not readable as Pajek"}},
        {"huge.net",
         "*Vertices 300000000\n*Edges\n1 2\n",
         {"line 1: 300,000,000 vertices, more than the 5,000,000"}},
        {"tags.gexf", "<gexf>\n<graph>\n<nodes>\n<node id='a'>\n</nodes>\n</gexf>", {"line 5"}},
        {"root.gexf", "<svg/>", {"not a GEXF document (its root element is <svg>)"}},
        {"nograph.gexf", "<gexf><meta/></gexf>", {"without a <graph>"}},
        {"empty.graphml", "", {"the file is empty"}},
        {"junk.gml", std::string("\x00\xff\x01graph [ [ [ \x80", 14), {"not readable as GML"}},
        {"lonely.gexf",
         "<gexf><graph><nodes><node id='a'/></nodes></graph></gexf>",
         {"no friendships found"}},
    };
    for (const Case& c : cases) {
        const std::string path = write_file(c.name, c.text);
        const Loaded l = load(path);
        ASSERT_FALSE(l.ok) << c.name;
        EXPECT_EQ(l.error.find(path + ": "), 0u) << l.error;
        for (const std::string& said : c.said) {
            EXPECT_NE(l.error.find(said), std::string::npos) << c.name << ": " << l.error;
        }
    }
    EXPECT_NE(load(folder()).error.find("cannot open the graph file"), std::string::npos);
    EXPECT_NE(load(folder() + "/missing.gexf").error.find("cannot open"), std::string::npos);

    // Limits: the file's size, its nodes and its edges, each told with the numbers.
    const std::string path = write_file("good.graphml", good_graphml);
    UTL_GraphLimits limits;
    limits.m_max_file_bytes = 100;
    EXPECT_NE(load(path, "", false, limits)
                  .error.find(std::to_string(good_graphml.size()) + " bytes, more than the 100"),
              std::string::npos);
    limits = UTL_GraphLimits();
    limits.m_max_gml_bytes = 20;
    EXPECT_NE(load(write_file("big.gml", "graph [ node [ id 1 ] ]"), "", false, limits)
                  .error.find("23 bytes, more than the 20 a GML file may have"),
              std::string::npos);
    limits = UTL_GraphLimits();
    limits.m_max_people = 1;
    EXPECT_NE(load(path, "", false, limits).error.find("2 nodes, more than the 1"),
              std::string::npos);
    limits = UTL_GraphLimits();
    limits.m_max_edges = 2;
    const std::string three = write_file("three.txt", "1 2\n2 3\n3 1\n");
    EXPECT_NE(load(three, "", false, limits).error.find("line 3: more than the 2 edges"),
              std::string::npos);
    EXPECT_TRUE(load(path, "", false, limits).ok);
}
