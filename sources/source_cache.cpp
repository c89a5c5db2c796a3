// UTL_SourceCache: hashed names (OpenSSL's SHA-256) and the photo pipeline's whole-file reading
// and writing.
#include "sources/source_cache.h"

#include "photos/photo_files.h"

#include <openssl/evp.h>

#include <cstdlib>

UTL_SourceCache::UTL_SourceCache(const std::string& service, const std::string& dir) {
    if (!dir.empty()) {
        m_dir = dir;
        return;
    }
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/') {
        m_dir = std::string(xdg) + "/nimbra/" + service;
    } else if (home && home[0] == '/') {
        m_dir = std::string(home) + "/.cache/nimbra/" + service;
    }
}

std::string UTL_SourceCache::hashed(const std::string& key) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!EVP_Digest(key.data(), key.size(), digest, &length, EVP_sha256(), nullptr) || length < 16)
        return "";
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < 16; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

std::string UTL_SourceCache::path(const std::string& group, const std::string& key) const {
    return m_dir + (group.empty() ? "" : "/" + hashed(group)) + "/" + hashed(key) + ".json";
}

bool UTL_SourceCache::load(const std::string& group, const std::string& key, size_t max_bytes,
                           std::string& bytes) const {
    return usable() && read_regular_file(path(group, key), max_bytes, bytes);
}

bool UTL_SourceCache::store(const std::string& group, const std::string& key,
                            const std::string& bytes) const {
    if (!usable()) return false;
    const std::string folder = m_dir + (group.empty() ? "" : "/" + hashed(group));
    return make_directories(folder) && write_file_atomically(path(group, key), bytes);
}
