// UTL_PhotoCache: downloaded photos kept on disk under a hash of their address, with what is
// needed to revalidate them, bounded in size (least recently used first out). Also the pure
// readers of cache files and of the freshness a reply's headers give.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// One cached photo: its address, the validators of the reply it came in, until when it may be
// shown without asking the server (seconds since the epoch), and the reply's bytes.
struct UTL_PhotoCacheEntry {
    std::string m_url;
    std::string m_etag;
    std::string m_last_modified;
    int64_t m_fresh_until = 0;
    std::string m_body;
};

// The headers of a reply that decide how it is cached.
struct UTL_PhotoReplyHeaders {
    std::string m_etag;
    std::string m_last_modified;
    std::string m_cache_control;
    std::string m_expires;

    // Takes one header line ("Name: value", with or without its line end); a status line
    // ("HTTP/...") starts a new reply and forgets what an earlier one said.
    void read_line(const char* line, size_t size);
};

// The file form of an entry: a short text head ("NIMBRA-PHOTO 1", one "key value" line each,
// the body's length, an empty line), then the body.
std::string serialize_cache_entry(const UTL_PhotoCacheEntry& entry);
// Reads that form back; false for anything else, including a body shorter or longer than its
// head says (a file cut short by a crash of the machine).
bool parse_cache_entry(const std::string& bytes, UTL_PhotoCacheEntry& entry);
// Whether a reply may be kept ("no-store" says not).
bool reply_is_storable(const UTL_PhotoReplyHeaders& headers);
// Until when a reply received at now may be shown without asking again: max-age, else
// Expires, else a day; "no-cache" (and max-age=0) means it must be asked about every time.
int64_t reply_fresh_until(const UTL_PhotoReplyHeaders& headers, int64_t now);

// Photo worker thread only (one instance per manager). Every failure is silent: a cache that
// cannot be written is simply not used.
class UTL_PhotoCache {
public:
    // dir is created when first written; max_bytes bounds the photo files it holds.
    UTL_PhotoCache(const std::string& dir, uint64_t max_bytes);

    // $XDG_CACHE_HOME/nimbra/photos, else $HOME/.cache/nimbra/photos; "" without either.
    static std::string default_directory();
    // The file name of an address: a 64-bit FNV-1a hash in hex with ".photo".
    static std::string file_name_for(const std::string& url);

    // The entry of url, marked as just used. False when there is none; a file that does not
    // read back as the entry of this address is deleted.
    bool load(const std::string& url, UTL_PhotoCacheEntry& entry);
    // Writes the entry atomically, then removes the least recently used files until the
    // cache is within its bound again. Addresses with control characters are not kept.
    bool store(const UTL_PhotoCacheEntry& entry);
    // Deletes the entry of url (a photo whose bytes did not decode).
    void drop(const std::string& url);

    const std::string& directory() const { return m_dir; }
    // Bytes of photo files known to be in the folder.
    uint64_t total_bytes();

private:
    struct FileInfo {
        uint64_t size = 0;
        int64_t used = 0;  // modification time in nanoseconds: the last store or load
    };
    std::string path_of(const std::string& name) const { return m_dir + "/" + name; }
    // Reads the folder once: the photo files with their sizes and times, and removes temporary
    // files that a crash left behind.
    void scan();
    void evict(const std::string& keep);

    std::string m_dir;
    uint64_t m_max_bytes;
    bool m_scanned = false;
    std::map<std::string, FileInfo> m_files;
    uint64_t m_total = 0;
};
