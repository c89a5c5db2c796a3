// The ego network of one person of the SNAP Facebook file: the person's friends and the
// friendships among them, read the way the service reads an edge list of numbers.
#pragma once

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct SnapEgo {
    std::vector<int> friends;                // ascending
    std::vector<std::pair<int, int>> pairs;  // friendships among the friends, in file order
};

// The SNAP file beside the repository, as the tests find it.
inline std::string snap_file() {
    return std::string(NIMBRA_SHARED_DATA_DIR) + "/facebook_combined.txt";
}

// False when the file cannot be read or the person has no friends in it.
inline bool read_snap_ego(const std::string& path, int ego, SnapEgo& out) {
    std::ifstream in(path);
    if (!in) return false;
    std::vector<std::pair<int, int>> edges;
    std::set<int> friends;
    int a = 0, b = 0;
    while (in >> a >> b) {
        edges.emplace_back(a, b);
        if (a == ego) friends.insert(b);
        if (b == ego) friends.insert(a);
    }
    out.friends.assign(friends.begin(), friends.end());
    out.pairs.clear();
    for (const auto& e : edges)
        if (friends.count(e.first) && friends.count(e.second)) out.pairs.push_back(e);
    return !out.friends.empty();
}
