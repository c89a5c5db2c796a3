// UTL_BlueskyCache: what the Bluesky source has read, kept on disk (a UTL_SourceCache) so that
// the next start shows the network at once and an interrupted fetch resumes: per ego DID its
// profile and friends, and per friend what their follows or relationships came to, each with
// the time it was read; and the DID of each handle looked up. The files are JSON, read back
// with every field checked.
#pragma once

#include "sources/bluesky_answers.h"
#include "sources/source_cache.h"

#include <cstdint>
#include <string>
#include <vector>

// The ego's side of the network: who they are and who their friends are.
struct UTL_BlueskyNetwork {
    std::int64_t m_read = 0;  // Unix seconds
    UTL_BlueskyPerson m_ego;
    std::vector<UTL_BlueskyPerson> m_friends;  // with their follows counts where known
    // Accounts among the friends that no longer resolved when this was read.
    std::vector<std::string> m_unresolved;
};

// One friend's share of the friendships among the friends.
struct UTL_BlueskyPart {
    enum class Kind { kNone, kFollows, kRelationships };
    Kind m_kind = Kind::kNone;
    std::int64_t m_read = 0;  // Unix seconds
    // kFollows: every account the friend follows.
    std::vector<std::string> m_follows;
    // kRelationships: the accounts the friend was asked about, and how each relates.
    std::vector<UTL_BlueskyRelation> m_relations;
};

class UTL_BlueskyCache {
public:
    // Files larger than these are not read (a network of 100,000 friends fits).
    static constexpr size_t kMaxNetworkBytes = 64u << 20;
    static constexpr size_t kMaxPartBytes = 32u << 20;

    // dir: the cache folder; "" for $XDG_CACHE_HOME/nimbra/bluesky, else
    // $HOME/.cache/nimbra/bluesky (and no cache at all without either).
    explicit UTL_BlueskyCache(const std::string& dir) : m_files("bluesky", dir) {}
    const std::string& folder() const { return m_files.folder(); }
    bool usable() const { return m_files.usable(); }

    bool load_handle(const std::string& handle, std::string& did, std::int64_t& read) const;
    bool store_handle(const std::string& handle, const std::string& did, std::int64_t read) const;
    bool load_network(const std::string& ego_did, UTL_BlueskyNetwork& out) const;
    bool store_network(const UTL_BlueskyNetwork& network) const;
    bool load_part(const std::string& ego_did, const std::string& friend_did,
                   UTL_BlueskyPart& out) const;
    bool store_part(const std::string& ego_did, const std::string& friend_did,
                    const UTL_BlueskyPart& part) const;

    // The file formats, both ways. The readers take any bytes (the fuzzers feed them).
    static std::string network_text(const UTL_BlueskyNetwork& network);
    static bool parse_network(const std::string& bytes, UTL_BlueskyNetwork& out);
    static std::string part_text(const std::string& friend_did, const UTL_BlueskyPart& part);
    static bool parse_part(const std::string& bytes, const std::string& friend_did,
                           UTL_BlueskyPart& out);

private:
    UTL_SourceCache m_files;
};
