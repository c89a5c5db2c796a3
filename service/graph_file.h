// UTL_GraphFile: a graph file of any supported format (edge list, GraphML, GEXF, GML, Pajek),
// recognised by its content, then its name, and loaded with a people file and an ego into the
// network the service answers about.
#pragma once

#include "service/graph_data.h"
#include "service/social_network.h"

#include <string>
#include <vector>

// What a command line names for the network to serve.
struct UTL_GraphSource {
    std::string m_graph_file;
    std::string m_people_file;   // names and photos that override the graph file's, or ""
    std::string m_ego;           // the user; "" for the person with the most friends
    bool m_mutual_only = false;  // directed edges count only for pairs that point both ways
    UTL_GraphLimits m_limits;
};

class UTL_GraphFile {
public:
    // The format of a file whose first bytes are head: XML with a <graphml> or <gexf> root, a
    // Pajek "*Vertices" (or "*Network", "*Edges", ...) line, a GML "graph [". When the content
    // does not tell, the extension does (.graphml, .gexf, .gml, .net, .paj); else an edge list.
    static UTL_GraphFormat detect(const std::string& head, const std::string& path);
    static const char* format_name(UTL_GraphFormat format);

    // Reads a graph file of any format into data; format tells which it was. False with a
    // reason in error, naming the file, when it cannot be read or passes a limit.
    static bool read(const std::string& path, const UTL_GraphLimits& limits, UTL_GraphData& data,
                     UTL_GraphFormat& format, std::string& error);
    // The network to serve: the graph file's people and friendships, the people file's names
    // and photos over them, and the ego. False with a reason in error; warnings tell, a line
    // each, what was skipped or left out.
    static bool load(const UTL_GraphSource& source, UTL_SocialNetwork& network, std::string& error,
                     std::vector<std::string>& warnings);
};
