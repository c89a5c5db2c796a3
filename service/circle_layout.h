// UTL_CircleLayout: the people of the friend graph arranged by circles on given places of the
// globe (evenly spread ones, such as the golden-angle spiral): each circle on one compact region,
// people with many friends in common close together, one person per place.
#pragma once

#include "service/circles.h"
#include "service/friend_graph.h"

#include <array>
#include <vector>

// Pure computation on values; any thread.
class UTL_CircleLayout {
public:
    using Point = std::array<double, 3>;  // a unit vector

    // The place of every person of the graph (an index into places). places[0 .. reserved) are
    // left free (the user's); there must be at least reserved + graph.size() places, and the
    // answer is empty when there are not. The same input gives the same answer.
    //
    // The circles share out the free places by halving: the places are cut in two by a plane
    // across their widest extent, the circles (in an order that puts circles with many
    // friendships between them side by side) in two runs of matching size, and so on until each
    // circle has its run of places. A circle's region is shared out the same way among the
    // circles within it, down to groups of a dozen, whose best-connected people take the middle.
    // Then people trade places with others of their circle near the middle of their friends
    // while that shortens the lines. Only people move, never places, so the places stay as
    // evenly spread as they were given.
    static std::vector<int> arrange(const UTL_FriendGraph& graph, const UTL_Circles& circles,
                                    const std::vector<Point>& places, int reserved);

    // The mean straight distance between friends placed at those places (0 without
    // friendships): what the arrangement shortens.
    static double mean_line_length(const UTL_FriendGraph& graph, const std::vector<int>& place_of,
                                   const std::vector<Point>& places);
};
