// UTL_SocialNetwork: the people and friendships the social service answers about: one user
// (the ego), the ego's friends and the friendships among everyone, read from edge-list files or
// built by the demo generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct UTL_ServicePerson {
    std::string m_uid;
    std::string m_name;
    // Photo addresses. Empty with m_generated_photo set: the service's own generated portraits;
    // empty without it: no photo (the application shows its question mark).
    std::string m_pic;
    std::string m_pic_square;
    bool m_generated_photo = false;
};

// Filled once, then only read (from the service's request threads, without a lock).
class UTL_SocialNetwork {
public:
    // The most friends one ego may have; more are cut (with a warning), since the application
    // lays everyone out again after each friend.
    static constexpr size_t kMaxFriends = 5000;

    // Adds a person, or updates name and photos of a known uid; answers its index.
    size_t add_person(const UTL_ServicePerson& person);
    // A friendship between two known people; self-friendships and repeats are ignored.
    void add_friendship(const std::string& uid1, const std::string& uid2);
    // The same by the people's indexes (as add_person answers them); false when ignored.
    bool add_friendship_at(size_t a, size_t b);
    // Room for this many people and friendships in all, before a large file is added.
    void reserve(size_t people, size_t friendships);
    // The user and the friends in order: adds them all and makes the user the ego.
    void set_people(const UTL_ServicePerson& me, const std::vector<UTL_ServicePerson>& friends);

    // Reads an edge list (UTL_EdgeListReader): SNAP "a b" or CSV "a,b" lines. People get
    // generated names and portraits. False with a reason in error when the file holds no
    // friendship at all; warning tells, one line each, what was skipped.
    bool read_edge_list(const std::string& path, std::string& error, std::string& warning);
    // Reads a people file, CSV "uid,name,pic,pic_square" (the photo columns may be missing or
    // empty: no photo). Rows of unknown people are skipped; warning tells the first few with
    // their line numbers and reasons, then how many more. False when the file cannot be read.
    bool read_people(const std::string& path, std::string& error, std::string& warning);

    // Makes uid the ego; false when nobody has that uid or the person has no friends.
    bool set_ego(const std::string& uid);
    // The person with the most friends (the first of them on a tie); false when there is none.
    bool choose_ego();

    // --- Reading --------------------------------------------------------------------------
    bool has_ego() const { return m_ego >= 0; }
    const UTL_ServicePerson* ego() const;
    // The ego's friends in the order they became known (at most kMaxFriends).
    const std::vector<std::string>& friends() const { return m_ego_friends; }
    const UTL_ServicePerson* find(const std::string& uid) const;
    // The index of the person with that uid, -1 when there is none.
    int index_of(const std::string& uid) const;
    bool are_friends(const std::string& uid1, const std::string& uid2) const;
    size_t person_count() const { return m_people.size(); }
    size_t friendship_count() const { return m_links.size(); }
    size_t friend_count_of(const std::string& uid) const;
    // Pairs among the ego's friends that are friends.
    size_t friendships_among_friends() const;

    // A plausible name for a person known only by a number, always the same for one uid.
    static std::string generated_name(const std::string& uid);
    // A uid: 1 to 64 letters, digits, '_', '-', '.', '@' or ':'.
    static bool valid_uid(const std::string& uid);

private:
    static std::uint64_t key(std::uint32_t a, std::uint32_t b);

    std::vector<UTL_ServicePerson> m_people;
    std::vector<std::vector<std::uint32_t>> m_neighbours;
    std::unordered_map<std::string, std::uint32_t> m_index;
    std::unordered_set<std::uint64_t> m_links;
    int m_ego = -1;
    std::vector<std::string> m_ego_friends;
};
