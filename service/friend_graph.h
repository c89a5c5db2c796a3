// UTL_FriendGraph: the friendships among the user's friends (the user left out), numbered in
// the order the people arrive, and the shortest chain of friends between two of them.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Grows only: people and friendships are added, never removed, until clear(). Main thread only
// (the controller keeps one), or any thread that owns its own copy.
class UTL_FriendGraph {
public:
    // The number of the person with that uid, adding the person when new.
    int add_person(const std::string& uid);
    // The number of the person with that uid; -1 when there is none.
    int find(const std::string& uid) const;
    // A friendship between two people by number. False, and nothing added, for a person out of
    // range, a person paired with themself, or a pair already known (either way round).
    bool add_friendship(int a, int b);
    void clear();

    int size() const { return static_cast<int>(m_uids.size()); }
    long long friendships() const { return m_friendships; }
    const std::string& uid(int person) const { return m_uids[static_cast<size_t>(person)]; }
    // A person's friends in the order their friendships arrived.
    const std::vector<int>& friends_of(int person) const {
        return m_friends[static_cast<size_t>(person)];
    }
    bool are_friends(int a, int b) const;
    // Changes with every person or friendship added: what was computed from the graph is stale
    // when this differs from the value it was computed at.
    std::uint64_t version() const { return m_version; }

    // A shortest chain of friends from one person to another: the people along it, from first
    // to last, both included; from == to gives just that person. Empty when no chain joins
    // them (or a number is out of range). Of several shortest chains the same one every time
    // for the same graph: at each step the friend with the smallest uid.
    std::vector<int> shortest_chain(int from, int to) const;

private:
    static std::uint64_t pair_key(int a, int b);

    std::vector<std::string> m_uids;
    std::unordered_map<std::string, int> m_numbers;
    std::vector<std::vector<int>> m_friends;
    std::unordered_set<std::uint64_t> m_pairs;
    long long m_friendships = 0;
    std::uint64_t m_version = 0;
};
