// UTL_SourceCache: the files in which a network source keeps what it has read, in
// $XDG_CACHE_HOME/nimbra/<service>/ (else ~/.cache/...): documents grouped per person, each
// named by a hash of its key, so nothing the network sends ever becomes a path; written whole
// through a temporary file and a rename, owner-only (files 0600, folders 0700); read back only
// when they are regular files under a size cap.
#pragma once

#include <cstddef>
#include <string>

class UTL_SourceCache {
public:
    // service: the folder's name ("bluesky"); dir: the whole folder instead ("" for the user's
    // cache folder; without XDG_CACHE_HOME and HOME there is no cache).
    UTL_SourceCache(const std::string& service, const std::string& dir);
    const std::string& folder() const { return m_dir; }
    bool usable() const { return !m_dir.empty(); }

    // The document of key in group ("" for none: the service's own folder), at most max_bytes.
    bool load(const std::string& group, const std::string& key, size_t max_bytes,
              std::string& bytes) const;
    bool store(const std::string& group, const std::string& key, const std::string& bytes) const;
    // Where that document lives.
    std::string path(const std::string& group, const std::string& key) const;

    // The name a key gets on disk: 32 hex digits of its SHA-256.
    static std::string hashed(const std::string& key);

private:
    std::string m_dir;
};
