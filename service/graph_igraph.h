// UTL_IgraphReader: GraphML, GML and Pajek files read by igraph's C library into the nodes and
// edges of a UTL_GraphData, with igraph's errors and warnings turned into our messages.
#pragma once

#include "service/graph_data.h"

#include <string>

class UTL_IgraphReader {
public:
    // Reads text (any bytes) as a GraphML (its first graph), GML or Pajek file. Uids: the
    // GraphML node ids; in GML and Pajek the labels when they can be (see UTL_GraphData),
    // else the GML ids and the Pajek vertex numbers. Person attributes are kept, those
    // NetworkX writes into Pajek vertex lines as "key value" pairs too. igraph's warnings go
    // into data.m_notes. False with a reason in error, starting with name and giving the line
    // where igraph tells it, when igraph cannot read the text or it passes a limit.
    // Any thread: calls into igraph, whose handlers are global, take turns.
    static bool read(const std::string& text, UTL_GraphFormat format, const std::string& name,
                     const UTL_GraphLimits& limits, UTL_GraphData& data, std::string& error);
};
