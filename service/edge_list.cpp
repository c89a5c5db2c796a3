// UTL_EdgeListReader: SNAP and CSV edge lists, line by line, into nodes and edges.
#include "service/edge_list.h"

#include "service/data_lines.h"
#include "service/social_network.h"

#include <algorithm>
#include <unordered_map>

namespace {

bool has_digit(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool is_number(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The first two words of a SNAP line, separated by spaces or tabs; empty when there are fewer.
void two_words(const std::string& line, std::string& a, std::string& b) {
    const size_t p = line.find_first_not_of(" \t");
    const size_t q = line.find_first_of(" \t", p);
    const size_t r = q == std::string::npos ? q : line.find_first_not_of(" \t", q);
    if (r == std::string::npos) return;
    a = line.substr(p, q - p);
    b = line.substr(r, line.find_first_of(" \t", r) - r);
}

}  // namespace

bool UTL_EdgeListReader::read(std::istream& in, const std::string& name,
                              const UTL_GraphLimits& limits, UTL_GraphData& data,
                              std::string& error) {
    UTL_DataLines lines(in, name);
    std::unordered_map<std::string, std::uint32_t> index;
    auto node = [&](const std::string& uid) {
        auto found = index.find(uid);
        if (found != index.end()) return found->second;
        const std::uint32_t i = static_cast<std::uint32_t>(data.m_nodes.size());
        index.emplace(uid, i);
        data.m_nodes.emplace_back();
        data.m_nodes.back().m_id = uid;
        return i;
    };
    size_t data_lines = 0;
    std::string line;
    while (lines.next(line)) {
        ++data_lines;
        std::string a, b;
        const bool csv = line.find(',') != std::string::npos;
        if (csv) {
            const std::vector<std::string> fields = UTL_DataLines::split_csv(line);
            if (fields.size() >= 2) {
                a = UTL_DataLines::trim(fields[0]);
                b = UTL_DataLines::trim(fields[1]);
            }
        } else {
            two_words(line, a, b);
        }
        // A first line of column names ("source,target") is a header, not two people.
        if (csv && data_lines == 1 && !has_digit(a) && !has_digit(b)) continue;
        // SNAP files number their people; CSV files may name them.
        if (!UTL_SocialNetwork::valid_uid(a) || !UTL_SocialNetwork::valid_uid(b)) {
            lines.skip("not an edge: expected two person ids, 'a b' or 'a,b'");
            continue;
        }
        if (!csv && !(is_number(a) && is_number(b))) {
            lines.skip("not an edge: 'a b' lines hold numbers ('a,b' lines any ids)");
            continue;
        }
        if (data.m_edges.size() >= limits.m_max_edges) {
            error = name + ": line " + std::to_string(lines.line_number()) + ": more than the " +
                    with_commas(limits.m_max_edges) + " edges a graph file may hold";
            return false;
        }
        const std::uint32_t from = node(a), to = node(b);
        if (data.m_nodes.size() > limits.m_max_people) {
            error = name + ": line " + std::to_string(lines.line_number()) + ": more than the " +
                    with_commas(limits.m_max_people) + " people a graph file may hold";
            return false;
        }
        data.m_edges.push_back(UTL_GraphEdge{from, to, true});
    }
    const std::vector<std::string> notes = lines.notes("line", "lines");
    data.m_notes.insert(data.m_notes.end(), notes.begin(), notes.end());
    if (data.m_edges.empty()) {
        error = name + ": no friendships found (expected lines of two person ids, 'a b')";
        return false;
    }
    return true;
}
