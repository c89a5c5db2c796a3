// The readers of Bluesky AppView answers (the lexicons com.atproto.identity.resolveHandle,
// app.bsky.actor.getProfile(s), app.bsky.graph.getFollows/getFollowers/getRelationships): what
// the source uses of each, checked field by field, so a hostile or broken answer gives less,
// never more, and never a person that cannot be shown.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <string>
#include <vector>

// One account as the source keeps it.
struct UTL_BlueskyPerson {
    std::string m_did;            // the uid on the globe
    std::string m_handle;         // "alice.bsky.social"
    std::string m_name;           // the display name, else the handle
    std::string m_avatar;         // an http(s) address, or ""
    long m_follows_count = -1;    // -1: not known
    long m_followers_count = -1;  // -1: not known
};

// How one account relates to the account a getRelationships call was about.
struct UTL_BlueskyRelation {
    std::string m_did;
    bool m_following = false;    // the actor follows them
    bool m_followed_by = false;  // they follow the actor
};

struct UTL_BlueskyAnswers {
    // Longest values kept; longer ones are cut (names) or refused (addresses, cursors).
    static constexpr size_t kMaxName = 256;
    static constexpr size_t kMaxAddress = 2048;
    static constexpr size_t kMaxCursor = 1024;

    // A DID that can be a uid on the globe: "did:" and a method, at most 64 characters of
    // letters, digits, '.', '_', '-' and ':'.
    static bool usable_did(const std::string& did);
    // "@Alice.bsky.social" -> "alice.bsky.social"; "" when it cannot be a handle (letters,
    // digits, '-' and at least one '.', at most 253 characters).
    static std::string normal_handle(const std::string& text);

    // resolveHandle: the DID, or "" when the answer holds no usable one.
    static std::string did_of(const nlohmann::json& answer);
    // A profileView, profileViewBasic or profileViewDetailed. False when it has no usable DID.
    static bool person_of(const nlohmann::json& view, UTL_BlueskyPerson& out);
    // getProfiles: every usable profile; unusable ones are counted in skipped.
    static std::vector<UTL_BlueskyPerson> profiles_of(const nlohmann::json& answer,
                                                      size_t& skipped);
    // getFollows ("follows") or getFollowers ("followers"): the page's people and the cursor of
    // the next page ("" on the last one).
    static std::vector<UTL_BlueskyPerson> page_of(const nlohmann::json& answer, const char* list,
                                                  std::string& cursor, size_t& skipped);
    // getRelationships: the relations found, and the accounts not found.
    static std::vector<UTL_BlueskyRelation> relations_of(const nlohmann::json& answer,
                                                         std::vector<std::string>& not_found);
};
