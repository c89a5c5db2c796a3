// The reader of SNAP edge lists: the ego network of one person of a large anonymised graph.
#pragma once

#include "app/social_graph.h"

#include <string>

// Reads a SNAP edge list ("a b" per line, # comments; further columns are ignored) and returns
// the ego network of person ego, or of the person with the most friends when has_ego is false.
// False with a message in error when nothing usable is in the file; warning tells of skipped
// lines or a network cut to size.
bool read_snap_ego_network(const std::string& path, bool has_ego, unsigned long long ego, UTL_SocialGraph& graph,
                           std::string& error, std::string& warning);

// The most friends a graph file may give the globe; more are cut, with a warning.
constexpr size_t kMaxEgoFriends = 5000;
