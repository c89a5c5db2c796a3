// The built-in demo network: what the social service serves when no graph file is named.
#pragma once

#include "service/social_network.h"

// The built-in demo: a user and about two hundred friends in the circles of a real life
// (family, school, university, two workplaces, clubs, neighbours), dense inside a circle, a few
// friendships across; the friends met on travels write their names in their own scripts. Most
// people have the service's portraits, about one in twelve has no photo. Always the same network,
// with the user as its ego.
UTL_SocialNetwork make_demo_network();
