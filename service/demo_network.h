// The built-in demo network, shown until a social service or a graph file gives a real one.
#pragma once

#include "app/social_graph.h"

// The built-in demo: a user and about two hundred friends in the circles of a real life
// (family, school, university, two workplaces, clubs, neighbours), dense inside a circle, a few
// friendships across. Always the same network.
UTL_SocialGraph make_demo_network();
