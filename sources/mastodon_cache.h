// UTL_MastodonCache: what the Mastodon source has read, kept on disk (a UTL_SourceCache) so that
// the next start shows the network at once and an interrupted fetch resumes: per person (their
// account address) their account and friends, and per friend what their lists came to (whom
// they follow, who follows them, or that they hide them or could not be read), each with the
// time it was read. The files are JSON, read back with every field checked.
#pragma once

#include "sources/mastodon_answers.h"
#include "sources/source_cache.h"

#include <cstdint>
#include <string>
#include <vector>

// The person's side of the network: who they are and who their friends are.
struct UTL_MastodonNetwork {
    std::int64_t m_read = 0;  // Unix seconds
    UTL_MastodonPerson m_ego;
    std::string m_server;  // the address of the server that holds the person's account
    std::vector<UTL_MastodonPerson> m_friends;  // ids as that server gives them
};

// One friend's share of the friendships among the friends.
struct UTL_MastodonPart {
    enum class Kind {
        kNone,        // nothing read yet but where they are (m_server, m_id)
        kLists,       // what was read of their lists (one of them, or both)
        kHidden,      // they hide their follows and followers
        kUnreadable,  // their server refused them or does not speak the API
    };
    Kind m_kind = Kind::kNone;
    std::int64_t m_read = 0;  // Unix seconds
    bool m_has_following = false;
    bool m_has_followers = false;
    std::vector<std::string> m_following;  // uids
    std::vector<std::string> m_followers;
    std::string m_reason;  // kUnreadable: why, in a person's terms
    // Where their lists were read: their server and their id there ("" when not known).
    std::string m_server;
    std::string m_id;
};

class UTL_MastodonCache {
public:
    // Files larger than these are not read (a network of 100,000 friends fits).
    static constexpr size_t kMaxNetworkBytes = 64u << 20;
    static constexpr size_t kMaxPartBytes = 32u << 20;

    // dir: the cache folder; "" for $XDG_CACHE_HOME/nimbra/mastodon, else
    // $HOME/.cache/nimbra/mastodon (and no cache at all without either).
    explicit UTL_MastodonCache(const std::string& dir) : m_files("mastodon", dir) {}
    const std::string& folder() const { return m_files.folder(); }
    bool usable() const { return m_files.usable(); }

    bool load_network(const std::string& ego_uid, UTL_MastodonNetwork& out) const;
    bool store_network(const UTL_MastodonNetwork& network) const;
    bool load_part(const std::string& ego_uid, const std::string& friend_uid,
                   UTL_MastodonPart& out) const;
    bool store_part(const std::string& ego_uid, const std::string& friend_uid,
                    const UTL_MastodonPart& part) const;

    // The file formats, both ways. The readers take any bytes (the fuzzers feed them).
    static std::string network_text(const UTL_MastodonNetwork& network);
    static bool parse_network(const std::string& bytes, UTL_MastodonNetwork& out);
    static std::string part_text(const std::string& friend_uid, const UTL_MastodonPart& part);
    static bool parse_part(const std::string& bytes, const std::string& friend_uid,
                           UTL_MastodonPart& out);

private:
    UTL_SourceCache m_files;
};
