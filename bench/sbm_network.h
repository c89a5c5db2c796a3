// The 5,000-friend network of the benchmarks: a stochastic block model (50 groups of 100 friends,
// dense inside a group, sparse between groups) drawn from a fixed seed, the same on every machine.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct SbmParameters {
    int groups = 50;
    int group_size = 100;
    // Chances that two friends are friends of each other: 0.3 inside a group, 0.00206 between
    // groups. With 50 groups of 100 that is about 74,250 + 25,250 = 99,500 friendships, and with
    // the user's own line to each friend about 104,500 lines on the globe.
    double p_in = 0.3;
    double p_out = 0.00206;
    std::uint64_t seed = 20240521;
};

// Person 0 is the user; friends are 1 .. groups * group_size. Groups are dealt out by a shuffle
// of the seed, so neighbours by number (and by arrival order) are rarely in the same group.
struct SbmNetwork {
    int friends = 0;
    std::vector<int> group;                        // group of friend i at [i - 1]
    std::vector<std::pair<int, int>> friendships;  // between two friends, a < b, ascending
};

SbmNetwork make_sbm_network(const SbmParameters& parameters = SbmParameters());

// Writes a SNAP-style edge list ("a b" lines after "#" comments): the user's line to every
// friend, then the friendships between friends; the program reads it with --graph FILE --ego 0.
// False when the file cannot be written.
bool write_sbm_edge_list(const SbmNetwork& network, const SbmParameters& parameters,
                         const std::string& path);
