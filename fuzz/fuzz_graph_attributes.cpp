// libFuzzer target for the mapping from a graph's nodes and edges to people and friendships:
// the bytes describe the nodes (id, label, attributes) and edges, one per line, as
//   n ID|LABEL|KEY=VALUE|KEY=VALUE...     (a LABEL of "-" is none)
//   e FROM TO [d]                          (node numbers, d for a directed edge)
// and any other line sets the flags: "m" mutual only, "l" labels may be uids.
#include "service/graph_data.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    UTL_GraphData graph;
    bool mutual_only = false;
    for (std::string line; std::getline(in, line) && graph.m_nodes.size() < 500;) {
        if (line.compare(0, 2, "n ") == 0) {
            UTL_GraphNode node;
            std::istringstream fields(line.substr(2));
            std::string field;
            for (int k = 0; std::getline(fields, field, '|'); ++k) {
                if (k == 0) {
                    node.m_id = field;
                } else if (k == 1) {
                    node.m_has_label = field != "-";
                    if (node.m_has_label) node.m_label = field;
                } else {
                    const size_t eq = field.find('=');
                    node.m_attributes.emplace_back(
                        field.substr(0, eq), eq == std::string::npos ? "" : field.substr(eq + 1));
                }
            }
            graph.m_nodes.push_back(node);
        } else if (line.compare(0, 2, "e ") == 0 && graph.m_edges.size() < 5000) {
            std::istringstream fields(line.substr(2));
            unsigned long from = 0, to = 0;
            std::string way;
            fields >> from >> to >> way;
            graph.m_edges.push_back(UTL_GraphEdge{static_cast<std::uint32_t>(from),
                                                  static_cast<std::uint32_t>(to), way == "d"});
        } else if (line == "m") {
            mutual_only = true;
        } else if (line == "l") {
            graph.m_labels_may_be_uids = true;
        }
    }
    UTL_GraphLimits limits;
    limits.m_max_people = 400;
    limits.m_max_edges = 4000;
    UTL_SocialNetwork network;
    std::string error;
    std::vector<std::string> warnings;
    if (graph.add_to(network, mutual_only, limits, "fuzz", error, warnings) &&
        network.choose_ego()) {
        network.friendships_among_friends();
    }
    return 0;
}
