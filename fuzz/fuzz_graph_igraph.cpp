// libFuzzer target for the glue to igraph: the first byte chooses GraphML, GML or Pajek, the
// rest is handed to igraph through our reader (Pajek's vertex lines prepared by it first), and
// what igraph read is made into people and friendships under small limits.
#include "service/graph_igraph.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const UTL_GraphFormat kFormats[] = {UTL_GraphFormat::kGraphML, UTL_GraphFormat::kGml,
                                               UTL_GraphFormat::kPajek};
    const UTL_GraphFormat format = kFormats[data[0] % 3];
    UTL_GraphLimits limits;
    limits.m_max_people = 2000;
    limits.m_max_edges = 20000;
    UTL_GraphData graph;
    std::string error;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (UTL_IgraphReader::read(text, format, "fuzz", limits, graph, error)) {
        UTL_SocialNetwork network;
        std::vector<std::string> warnings;
        if (graph.add_to(network, data[0] & 0x80, limits, "fuzz", error, warnings)) {
            network.choose_ego();
        }
    }
    return 0;
}
