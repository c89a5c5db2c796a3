// The SNAP edge-list reader: a bounded line reader that skips what it cannot read, then the
// ego network of one person.
#include "app/snap_graph.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxEdges = 10000000;

using Edge = std::pair<std::uint64_t, std::uint64_t>;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// A decimal id at p; false on no digits, overflow, or a digit run glued to other characters.
bool read_id(const char*& p, const char* end, std::uint64_t& out)
{
    const char* start = p;
    std::uint64_t v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        const unsigned d = static_cast<unsigned>(*p - '0');
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
        ++p;
    }
    if (p == start || (p < end && !is_space(*p))) return false;
    out = v;
    return true;
}

enum class LineKind { kBlank, kEdge, kBad };

LineKind parse_line(const char* p, const char* end, Edge& e)
{
    while (p < end && is_space(*p)) ++p;
    if (p == end || *p == '#' || *p == '%') return LineKind::kBlank;
    if (!read_id(p, end, e.first)) return LineKind::kBad;
    while (p < end && is_space(*p)) ++p;
    if (!read_id(p, end, e.second)) return LineKind::kBad;
    return LineKind::kEdge;
}

}  // namespace

bool read_snap_ego_network(const std::string& path, bool has_ego, unsigned long long ego, UTL_SocialGraph& graph,
                           std::string& error, std::string& warning)
{
    warning.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot open the graph file";
        return false;
    }

    // Lines longer than kMaxLine are not edges; they are skipped without being held whole.
    std::vector<Edge> edges;
    size_t bad = 0, first_bad = 0, line_no = 0;
    bool too_many = false, read_error = false;
    std::string line;
    bool overlong = false;
    char buf[65536];
    auto finish_line = [&]() {
        ++line_no;
        Edge e;
        const LineKind k = overlong ? LineKind::kBad : parse_line(line.data(), line.data() + line.size(), e);
        if (k == LineKind::kBad) {
            if (bad++ == 0) first_bad = line_no;
        } else if (k == LineKind::kEdge && e.first != e.second) {
            if (edges.size() >= kMaxEdges) too_many = true;
            else edges.push_back(e.first < e.second ? e : Edge(e.second, e.first));
        }
        line.clear();
        overlong = false;
    };
    size_t n;
    while (!too_many && (n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        for (size_t i = 0; i < n && !too_many; ++i) {
            if (buf[i] == '\n') finish_line();
            else if (line.size() < kMaxLine) line.push_back(buf[i]);
            else overlong = true;
        }
    }
    if (std::ferror(f)) read_error = true;
    std::fclose(f);
    if (!too_many && (!line.empty() || overlong)) finish_line();

    if (read_error) {
        error = path + ": cannot read the graph file";
        return false;
    }
    if (too_many) {
        error = path + ": more than " + std::to_string(kMaxEdges) + " friendships; too large to show";
        return false;
    }
    if (bad) {
        warning = path + ": skipped " + std::to_string(bad) + " line" + (bad == 1 ? "" : "s") +
                  " that are not 'a b' (first: line " + std::to_string(first_bad) + ")";
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    if (edges.empty()) {
        error = path + ": no friendships found (expected lines of two person ids, 'a b')";
        return false;
    }

    // The person whose network is shown: the one asked for, or the best-connected one (the
    // smallest id among equals, so the choice does not depend on the file's order).
    std::uint64_t centre = ego;
    if (!has_ego) {
        std::unordered_map<std::uint64_t, size_t> degree;
        for (const Edge& e : edges) {
            ++degree[e.first];
            ++degree[e.second];
        }
        size_t best = 0;
        for (const auto& d : degree)
            if (d.second > best || (d.second == best && d.first < centre)) {
                best = d.second;
                centre = d.first;
            }
    }
    std::vector<std::uint64_t> friends;
    for (const Edge& e : edges) {
        if (e.first == centre) friends.push_back(e.second);
        else if (e.second == centre) friends.push_back(e.first);
    }
    if (friends.empty()) {
        error = path + ": person " + std::to_string(centre) + " has no friendships in this file";
        return false;
    }
    std::sort(friends.begin(), friends.end());
    if (friends.size() > kMaxEgoFriends) {
        if (!warning.empty()) warning += "\n";
        warning += path + ": person " + std::to_string(centre) + " has " + std::to_string(friends.size()) +
                   " friends; showing the first " + std::to_string(kMaxEgoFriends);
        friends.resize(kMaxEgoFriends);
    }

    // The file is anonymous: people are known by their ids only.
    std::vector<UTL_Person> people;
    people.reserve(friends.size());
    for (std::uint64_t id : friends)
        people.push_back(UTL_Person{std::to_string(id), "Person " + std::to_string(id), "", ""});
    graph.set_people(UTL_Person{std::to_string(centre), "Person " + std::to_string(centre), "", ""}, people);
    for (const Edge& e : edges)
        if (e.first != centre && e.second != centre &&
            std::binary_search(friends.begin(), friends.end(), e.first) &&
            std::binary_search(friends.begin(), friends.end(), e.second))
            graph.add_link(std::to_string(e.first), std::to_string(e.second));
    return true;
}
