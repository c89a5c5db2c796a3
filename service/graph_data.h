// UTL_GraphData: a graph as a file holds it (nodes with the attributes that describe a person,
// edges by node index) and how it becomes the service's people and friendships.
#pragma once

#include "service/social_network.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The most a graph file may bring; more is refused with the numbers rather than filling the
// machine's memory (a friendship costs the service about 50 bytes, a person about 200; reading
// holds about five times a GEXF file in memory, igraph about ten times a GML file).
struct UTL_GraphLimits {
    std::uint64_t m_max_file_bytes = 512ull << 20;
    std::uint64_t m_max_gml_bytes = 256ull << 20;
    size_t m_max_people = 5000000;
    size_t m_max_edges = 20000000;
};

// The kinds of graph file, each with its reader.
enum class UTL_GraphFormat { kEdgeList, kGraphML, kGexf, kGml, kPajek };

struct UTL_GraphNode {
    std::string m_id;  // as written
    // GML and Pajek: the label the writing tool put beside its own node number, which is the
    // node's own name there (a uid candidate); m_has_label tells an empty one from none.
    std::string m_label;
    bool m_has_label = false;
    // The attributes that describe a person (is_person_attribute), names as written.
    std::vector<std::pair<std::string, std::string>> m_attributes;
};

struct UTL_GraphEdge {
    std::uint32_t m_source;
    std::uint32_t m_target;
    bool m_directed;
};

class UTL_GraphData {
public:
    std::vector<UTL_GraphNode> m_nodes;
    std::vector<UTL_GraphEdge> m_edges;
    // GML and Pajek: each node's label is its uid when every node has a distinct one that is
    // a valid uid; otherwise its id is.
    bool m_labels_may_be_uids = false;
    // Nodes and edges the reader already left out, with why, for the warnings.
    std::vector<std::string> m_notes;

    // Adds the people and the friendships to network, which is empty or holds people of its
    // own. Uids, names and photos come from the nodes (person_of); an edge of a directed graph
    // counts in either direction, or with mutual_only only when the pair points both ways.
    // Self-loops, repeated edges, one-way edges left out and nodes without a usable uid are
    // counted into warnings, each line starting with name. False with a reason in error when
    // the graph is over limits or holds no friendship at all.
    bool add_to(UTL_SocialNetwork& network, bool mutual_only, const UTL_GraphLimits& limits,
                const std::string& name, std::string& error,
                std::vector<std::string>& warnings) const;

    // True for the attribute names a person is read from, in any case: "label", "name"; the
    // photo's "pic", "photo", "image", "picture"; the square photo's "pic_square",
    // "thumbnail". Readers keep only these.
    static bool is_person_attribute(const std::string& name);
    // The person a node with the given uid stands for. label_is_uid: the node's label became
    // its uid. file_has_photos: some node of the file names a photo; when none does, everyone
    // gets the service's generated portrait, else a node without one shows no photo. Photo
    // addresses other than http and https are left out, and counted in left_out when given.
    static UTL_ServicePerson person_of(const UTL_GraphNode& node, const std::string& uid,
                                       bool label_is_uid, bool file_has_photos,
                                       size_t* left_out = nullptr);
};
