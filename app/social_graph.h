// UTL_SocialGraph: a person's network held locally (the built-in demo or a SNAP edge list),
// handed to the controller the way the social service's answers are: the people first, then
// the friendships among the friends batch by batch.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class UTL_SimCtrlNimbra;

struct UTL_Person {
    std::string uid;
    std::string name;
    std::string pic;         // empty: the question-mark image
    std::string pic_square;
};

class UTL_SocialGraph {
public:
    // The user and the friends in arrival order; uids must be unique.
    void set_people(const UTL_Person& me, const std::vector<UTL_Person>& friends);
    // A friendship between two friends (order does not matter; unknown uids and the user are
    // ignored: the user's own lines come from add_connections_for_myself).
    void add_link(const std::string& uid1, const std::string& uid2);
    bool are_friends(const std::string& uid1, const std::string& uid2) const;

    // The user, then each friend followed by a new layout, then the user's lines.
    void feed_people(UTL_SimCtrlNimbra& controller) const;
    // The answer to one batch: a resting, unhighlighted line for every pair that are friends.
    // Returns the number of lines added.
    size_t answer_are_friends(UTL_SimCtrlNimbra& controller, const std::vector<std::string>& uids1,
                              const std::vector<std::string>& uids2) const;

    const UTL_Person& me() const { return m_me; }
    const std::vector<UTL_Person>& friends() const { return m_friends; }
    size_t link_count() const { return m_links.size(); }

private:
    static std::uint64_t key(std::uint32_t a, std::uint32_t b);
    int index_of(const std::string& uid) const;  // -1 when not a friend

    UTL_Person m_me;
    std::vector<UTL_Person> m_friends;
    std::unordered_map<std::string, std::uint32_t> m_index;
    std::unordered_set<std::uint64_t> m_links;
};
