// libFuzzer target for the GEXF reader: any bytes parsed as GEXF, and what it read made into
// people and friendships under small limits.
#include "service/graph_gexf.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UTL_GraphLimits limits;
    limits.m_max_people = 2000;
    limits.m_max_edges = 20000;
    UTL_GraphData graph;
    std::string error;
    if (UTL_GexfReader::read(std::string(reinterpret_cast<const char*>(data), size), "fuzz.gexf",
                             limits, graph, error)) {
        UTL_SocialNetwork network;
        std::vector<std::string> warnings;
        if (graph.add_to(network, size % 2 == 1, limits, "fuzz.gexf", error, warnings)) {
            network.choose_ego();
        }
    }
    return 0;
}
