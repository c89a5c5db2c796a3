// UTL_GexfReader: GEXF files (the desktop graph tools' XML format) read with pugixml into the
// nodes and edges of a UTL_GraphData.
#pragma once

#include "service/graph_data.h"

#include <string>

class UTL_GexfReader {
public:
    // Reads the GEXF document in text (any bytes; parsed in place). Node ids are the uids as
    // written; the node's label and its attribute values whose declared title is a person attribute
    // are kept. Edges follow the graph's defaultedgetype or their own type ("mutual" counts both
    // ways); an edge naming an unknown node is left out with a note. False with a reason in error,
    // starting with name and giving the line where the XML breaks, when the text is no GEXF
    // document or passes a limit.
    static bool read(std::string text, const std::string& name, const UTL_GraphLimits& limits,
                     UTL_GraphData& data, std::string& error);
};
