// UTL_EdgeListReader: edge lists, SNAP ("a b" per line) and CSV ("a,b"), read into the nodes and
// edges of a UTL_GraphData.
#pragma once

#include "service/graph_data.h"

#include <istream>
#include <string>

class UTL_EdgeListReader {
public:
    // Reads an edge list: SNAP ("a b", numbers, further columns ignored) or CSV ("a,b", any
    // uids, an optional header line), "#" and "%" comments. Each line is an edge from its first
    // person to its second; nodes come in the order they are first named. Unreadable lines go
    // into data.m_notes, the first few with their numbers. False with a reason in error when no
    // line is an edge or the file passes a limit; name starts the messages.
    static bool read(std::istream& in, const std::string& name, const UTL_GraphLimits& limits,
                     UTL_GraphData& data, std::string& error);
};
