// UTL_Circles: the circles among the user's friends: communities of the friend graph found by
// the Leiden method on modularity (igraph), every friend in exactly one, each named after its
// best-connected member.
#pragma once

#include "service/friend_graph.h"

#include <string>
#include <vector>

struct UTL_Circle {
    std::vector<int> m_members;  // people of the graph, ascending
    // The member with the most friends in the circle (ties: the most friends in all, then the
    // smallest uid); -1 for the circle of the people who have no friend in common with anyone.
    int m_namesake = -1;
    bool alone() const { return m_namesake < 0; }
    int size() const { return static_cast<int>(m_members.size()); }
};

// A value: found once from a graph, then only read. find() may run on any thread: igraph keeps
// its error handler and random generator in globals, so calls take turns under one lock and set
// both for their call. NOTE: the service's graph-file readers set igraph's handlers under a lock
// of their own; the program reads its graph file before any circles are looked for.
class UTL_Circles {
public:
    // The circles of the graph, largest first (ties: by the namesake's uid, the circle of the
    // people alone last). The same graph gives the same circles, whatever order its people and
    // friendships were added in: the method starts from a fixed seed and sees the people by uid.
    // People who have no friendship at all share one circle; a graph without people gives none.
    static UTL_Circles find(const UTL_FriendGraph& graph);

    const std::vector<UTL_Circle>& circles() const { return m_circles; }
    // The index in circles() of a person's circle; -1 for a number out of range.
    int circle_of(int person) const;
    int people() const { return static_cast<int>(m_circle_of.size()); }
    // The version of the graph they were found in (UTL_FriendGraph::version).
    std::uint64_t graph_version() const { return m_graph_version; }

private:
    std::vector<UTL_Circle> m_circles;
    std::vector<int> m_circle_of;
    std::uint64_t m_graph_version = 0;
};
