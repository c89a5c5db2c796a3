// Loading a graph of 1,000,000 friendships among 100,000 people from each file format, against
// the SNAP edge list of the same graph measured in the same run. Prints milliseconds of the
// processor's time and of the clock (the best of a few rounds, the formats taken in turn; on a
// busy machine the first is the steadier) and their ratios to the SNAP list.
//   bench_graph_files [FOLDER]   (the files are written there, default the system's temp folder)
#include "service/graph_file.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kPeople = 100000;
constexpr size_t kEdges = 1000000;
constexpr int kRounds = 3;

// splitmix64, as the demo network uses.
struct Rng {
    std::uint64_t s;
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

// Friendships mostly within circles of 200 people, a tenth across: a social graph's shape.
std::vector<std::pair<std::uint32_t, std::uint32_t>> make_edges() {
    Rng rng{15};
    std::unordered_set<std::uint64_t> seen;
    seen.reserve(kEdges * 2);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;
    edges.reserve(kEdges);
    while (edges.size() < kEdges) {
        const std::uint32_t a = static_cast<std::uint32_t>(rng.next() % kPeople);
        std::uint32_t b = rng.next() % 10 == 0
                              ? static_cast<std::uint32_t>(rng.next() % kPeople)
                              : (a / 200) * 200 + static_cast<std::uint32_t>(rng.next() % 200);
        if (b >= kPeople || a == b) continue;
        const std::uint64_t key = (std::uint64_t{std::min(a, b)} << 32) | std::max(a, b);
        if (seen.insert(key).second) edges.emplace_back(a, b);
    }
    return edges;
}

std::string name_of(std::uint32_t n) { return "Person " + std::to_string(n); }
std::string pic_of(std::uint32_t n) { return "http://example.org/p/" + std::to_string(n) + ".jpg"; }

// Each file as the usual tools write it; "bare" GraphML carries no attributes at all.
void write_files(const std::string& dir,
                 const std::vector<std::pair<std::uint32_t, std::uint32_t>>& edges) {
    FILE* f = std::fopen((dir + "/g.txt").c_str(), "w");
    std::fprintf(f, "# FromNodeId\tToNodeId\n");
    for (const auto& [a, b] : edges) std::fprintf(f, "%u %u\n", a, b);
    std::fclose(f);

    for (const bool bare : {true, false}) {
        f = std::fopen((dir + (bare ? "/bare.graphml" : "/g.graphml")).c_str(), "w");
        std::fprintf(f,
                     "<?xml version='1.0' encoding='utf-8'?>\n"
                     "<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\">\n");
        if (!bare) {
            std::fprintf(f,
                         "  <key id=\"d0\" for=\"node\" attr.name=\"label\" "
                         "attr.type=\"string\"/>\n"
                         "  <key id=\"d1\" for=\"node\" attr.name=\"pic\" "
                         "attr.type=\"string\"/>\n");
        }
        std::fprintf(f, "  <graph edgedefault=\"undirected\">\n");
        for (std::uint32_t n = 0; n < kPeople; ++n) {
            if (bare) {
                std::fprintf(f, "    <node id=\"%u\"/>\n", n);
            } else {
                std::fprintf(f,
                             "    <node id=\"%u\">\n      <data key=\"d0\">%s</data>\n"
                             "      <data key=\"d1\">%s</data>\n    </node>\n",
                             n, name_of(n).c_str(), pic_of(n).c_str());
            }
        }
        for (const auto& [a, b] : edges) {
            std::fprintf(f, "    <edge source=\"%u\" target=\"%u\"/>\n", a, b);
        }
        std::fprintf(f, "  </graph>\n</graphml>\n");
        std::fclose(f);
    }

    f = std::fopen((dir + "/g.gexf").c_str(), "w");
    std::fprintf(f,
                 "<?xml version='1.0' encoding='utf-8'?>\n"
                 "<gexf xmlns=\"http://www.gexf.net/1.2draft\" version=\"1.2\">\n"
                 "  <graph defaultedgetype=\"undirected\">\n"
                 "    <attributes class=\"node\"><attribute id=\"0\" title=\"pic\" "
                 "type=\"string\"/></attributes>\n    <nodes>\n");
    for (std::uint32_t n = 0; n < kPeople; ++n) {
        std::fprintf(f,
                     "      <node id=\"%u\" label=\"%s\"><attvalues><attvalue for=\"0\" "
                     "value=\"%s\"/></attvalues></node>\n",
                     n, name_of(n).c_str(), pic_of(n).c_str());
    }
    std::fprintf(f, "    </nodes>\n    <edges>\n");
    size_t id = 0;
    for (const auto& [a, b] : edges) {
        std::fprintf(f, "      <edge id=\"%zu\" source=\"%u\" target=\"%u\"/>\n", id++, a, b);
    }
    std::fprintf(f, "    </edges>\n  </graph>\n</gexf>\n");
    std::fclose(f);

    f = std::fopen((dir + "/g.gml").c_str(), "w");
    std::fprintf(f, "graph [\n");
    for (std::uint32_t n = 0; n < kPeople; ++n) {
        std::fprintf(
            f, "  node [\n    id %u\n    label \"%u\"\n    name \"%s\"\n    pic \"%s\"\n  ]\n", n,
            n, name_of(n).c_str(), pic_of(n).c_str());
    }
    for (const auto& [a, b] : edges) {
        std::fprintf(f, "  edge [\n    source %u\n    target %u\n  ]\n", a, b);
    }
    std::fprintf(f, "]\n");
    std::fclose(f);

    f = std::fopen((dir + "/g.net").c_str(), "w");
    std::fprintf(f, "*vertices %u\n", kPeople);
    for (std::uint32_t n = 0; n < kPeople; ++n) {
        std::fprintf(f, "%u %u 0.0 0.0 ellipse label \"%s\" pic %s\n", n + 1, n, name_of(n).c_str(),
                     pic_of(n).c_str());
    }
    std::fprintf(f, "*edges\n");
    for (const auto& [a, b] : edges) std::fprintf(f, "%u %u 1.0\n", a + 1, b + 1);
    std::fclose(f);
}

// Milliseconds of the clock and of the processor to load a file into the network the service
// would serve; false when it fails.
bool load_ms(const std::string& path, double& wall_ms, double& cpu_ms, size_t& friendships) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu_start = std::clock();
    UTL_SocialNetwork network;
    std::string error;
    std::vector<std::string> warnings;
    if (!UTL_GraphFile::load({path, "", "", false, {}}, network, error, warnings)) {
        std::fprintf(stderr, "bench_graph_files: %s\n", error.c_str());
        return false;
    }
    friendships = network.friendship_count();
    network = UTL_SocialNetwork();  // freeing it is part of the cost
    cpu_ms = 1000.0 * static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    wall_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = (argc > 1 ? std::string(argv[1]) : std::string("/tmp")) +
                            "/nimbra_bench_graphs_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    write_files(dir, make_edges());

    const std::vector<std::pair<const char*, std::string>> files = {
        {"SNAP edge list", "g.txt"},         {"GraphML, bare ids", "bare.graphml"},
        {"GraphML, label+pic", "g.graphml"}, {"GEXF, label+pic", "g.gexf"},
        {"GML, label+name+pic", "g.gml"},    {"Pajek, label+pic", "g.net"}};
    std::vector<double> wall(files.size(), 1e300), cpu(files.size(), 1e300);
    std::vector<size_t> counts(files.size(), 0);
    for (int round = 0; round < kRounds; ++round) {
        for (size_t i = 0; i < files.size(); ++i) {
            double w = 0, c = 0;
            if (!load_ms(dir + "/" + files[i].second, w, c, counts[i])) return 1;
            wall[i] = std::min(wall[i], w);
            cpu[i] = std::min(cpu[i], c);
        }
    }
    std::printf("graph files: %u people, %zu friendships, best of %d loads each\n", kPeople, kEdges,
                kRounds);
    std::printf("  %-22s %9s %9s %9s %10s %8s\n", "", "cpu ms", "/SNAP", "clock ms", "/SNAP",
                "file MB");
    for (size_t i = 0; i < files.size(); ++i) {
        const uintmax_t bytes = std::filesystem::file_size(dir + "/" + files[i].second);
        std::printf("  %-22s %9.0f %8.2fx %9.0f %9.2fx %8.0f%s\n", files[i].first, cpu[i],
                    cpu[i] / cpu[0], wall[i], wall[i] / wall[0], bytes / 1e6,
                    counts[i] == kEdges ? "" : "  (friendships missing)");
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
