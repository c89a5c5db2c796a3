// UTL_PhotoCache: the cache folder's index, atomic stores, least-recently-used eviction; the
// cache file format and the freshness rules of HTTP replies.
#include "photos/photo_cache.h"

#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>

#include "photos/photo_files.h"

namespace {

const char kMagic[] = "NIMBRA-PHOTO 1\n";
const int64_t kDay = 24 * 60 * 60;
const int64_t kMaxLifetime = 10 * 365 * kDay;
// A cache file is never larger than a reply may be plus its head; anything larger is not ours.
const size_t kMaxFileBytes = 64u << 20;
// Temporary files older than this were left by a process that ended while writing.
const int64_t kStaleTempSeconds = 60 * 60;

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\n'))
        --b;
    return s.substr(a, b - a);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool has_control_characters(const std::string& s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A non-negative decimal number, clamped to limit; false when s is not one.
bool parse_count(const std::string& s, int64_t limit, int64_t& value) {
    if (s.empty() || s.size() > 40) return false;
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        const int digit = c - '0';
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return true;
}

// Now in nanoseconds since the epoch: file times tell the order of uses within a second.
int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t mtime_ns(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

// ---- reply headers and freshness ----

void UTL_PhotoReplyHeaders::read_line(const char* line, size_t size) {
    if (line == nullptr) return;
    const std::string text(line, size);
    if (text.compare(0, 5, "HTTP/") == 0) {
        *this = UTL_PhotoReplyHeaders();
        return;
    }
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return;
    const std::string name = lower(trim(text.substr(0, colon)));
    const std::string value = trim(text.substr(colon + 1));
    if (name == "etag") m_etag = value;
    else if (name == "last-modified") m_last_modified = value;
    else if (name == "cache-control")
        m_cache_control += (m_cache_control.empty() ? "" : ",") + value;
    else if (name == "expires") m_expires = value;
}

bool reply_is_storable(const UTL_PhotoReplyHeaders& headers) {
    const std::string cc = lower(headers.m_cache_control);
    size_t start = 0;
    while (start <= cc.size()) {
        const size_t comma = std::min(cc.find(',', start), cc.size());
        if (trim(cc.substr(start, comma - start)) == "no-store") return false;
        start = comma + 1;
    }
    return true;
}

int64_t reply_fresh_until(const UTL_PhotoReplyHeaders& headers, int64_t now) {
    const std::string cc = lower(headers.m_cache_control);
    bool has_max_age = false;
    int64_t max_age = 0;
    size_t start = 0;
    while (start <= cc.size()) {
        const size_t comma = std::min(cc.find(',', start), cc.size());
        const std::string directive = trim(cc.substr(start, comma - start));
        start = comma + 1;
        if (directive == "no-cache" || directive == "no-store") return now;
        if (directive.compare(0, 8, "max-age=") == 0) {
            std::string value = trim(directive.substr(8));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            int64_t seconds = 0;
            // A malformed max-age is taken as 0: ask again next time.
            has_max_age = true;
            max_age = parse_count(value, kMaxLifetime, seconds) ? seconds : 0;
        }
    }
    if (has_max_age) return now + max_age;
    if (!headers.m_expires.empty()) {
        // An Expires that does not parse means "already expired".
        const time_t expires = curl_getdate(headers.m_expires.c_str(), nullptr);
        if (expires < 0) return now;
        return std::min<int64_t>(expires, now + kMaxLifetime);
    }
    return now + kDay;
}

// ---- the file form ----

std::string serialize_cache_entry(const UTL_PhotoCacheEntry& entry) {
    std::string out = kMagic;
    out += "url " + entry.m_url + "\n";
    out += "etag " + entry.m_etag + "\n";
    out += "last-modified " + entry.m_last_modified + "\n";
    out += "fresh-until " + std::to_string(entry.m_fresh_until) + "\n";
    out += "length " + std::to_string(entry.m_body.size()) + "\n\n";
    return out + entry.m_body;
}

bool parse_cache_entry(const std::string& bytes, UTL_PhotoCacheEntry& entry) {
    entry = UTL_PhotoCacheEntry();
    const size_t magic = sizeof kMagic - 1;
    if (bytes.compare(0, magic, kMagic) != 0) return false;
    const size_t end = bytes.find("\n\n", magic - 1);
    if (end == std::string::npos) return false;
    bool has_url = false, has_length = false;
    int64_t length = 0;
    size_t at = magic;
    while (at < end) {
        const size_t nl = bytes.find('\n', at);
        const std::string line = bytes.substr(at, nl - at);
        at = nl + 1;
        const size_t space = line.find(' ');
        if (space == std::string::npos) return false;
        const std::string key = line.substr(0, space);
        const std::string value = line.substr(space + 1);
        if (key == "url") {
            entry.m_url = value;
            has_url = true;
        } else if (key == "etag") {
            entry.m_etag = value;
        } else if (key == "last-modified") {
            entry.m_last_modified = value;
        } else if (key == "fresh-until") {
            const bool negative = !value.empty() && value[0] == '-';
            int64_t v = 0;
            if (!parse_count(negative ? value.substr(1) : value, INT64_MAX / 10, v)) return false;
            entry.m_fresh_until = negative ? -v : v;
        } else if (key == "length") {
            if (!parse_count(value, INT64_MAX / 10, length)) return false;
            has_length = true;
        }
    }
    const size_t body = end + 2;
    if (!has_url || !has_length || bytes.size() - body != static_cast<uint64_t>(length)) {
        entry = UTL_PhotoCacheEntry();
        return false;
    }
    entry.m_body = bytes.substr(body);
    return true;
}

// ---- UTL_PhotoCache ----

UTL_PhotoCache::UTL_PhotoCache(const std::string& dir, uint64_t max_bytes)
    : m_dir(dir), m_max_bytes(max_bytes) {}

std::string UTL_PhotoCache::default_directory() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    // XDG_CACHE_HOME counts only as an absolute path; a relative one is ignored.
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/nimbra/photos";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return std::string(home) + "/.cache/nimbra/photos";
    return "";
}

std::string UTL_PhotoCache::file_name_for(const std::string& url) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : url) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string name(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) name[size_t(i)] = kHex[hash & 0xF];
    return name + ".photo";
}

bool UTL_PhotoCache::load(const std::string& url, UTL_PhotoCacheEntry& entry) {
    if (m_dir.empty()) return false;
    scan();
    const std::string name = file_name_for(url);
    std::string bytes;
    if (!read_regular_file(path_of(name), kMaxFileBytes, bytes)) return false;
    if (!parse_cache_entry(bytes, entry)) {
        drop(url);
        return false;
    }
    // Another address with the same hash: not this one's photo, and not ours to delete.
    if (entry.m_url != url) return false;
    // The modification time says when the photo was last used, for the eviction order.
    utimensat(AT_FDCWD, path_of(name).c_str(), nullptr, 0);
    FileInfo& info = m_files[name];
    if (info.size == 0) {
        info.size = bytes.size();
        m_total += info.size;
    }
    info.used = now_ns();
    return true;
}

bool UTL_PhotoCache::store(const UTL_PhotoCacheEntry& entry) {
    if (m_dir.empty() || has_control_characters(entry.m_url) ||
        has_control_characters(entry.m_etag) || has_control_characters(entry.m_last_modified)) {
        return false;
    }
    scan();
    if (!make_directories(m_dir)) return false;
    const std::string name = file_name_for(entry.m_url);
    const std::string bytes = serialize_cache_entry(entry);
    if (!write_file_atomically(path_of(name), bytes)) return false;
    FileInfo& info = m_files[name];
    m_total -= info.size;
    info.size = bytes.size();
    info.used = now_ns();
    m_total += info.size;
    evict(name);
    return true;
}

void UTL_PhotoCache::drop(const std::string& url) {
    if (m_dir.empty()) return;
    const std::string name = file_name_for(url);
    unlink(path_of(name).c_str());
    auto it = m_files.find(name);
    if (it != m_files.end()) {
        m_total -= it->second.size;
        m_files.erase(it);
    }
}

uint64_t UTL_PhotoCache::total_bytes() {
    scan();
    return m_total;
}

void UTL_PhotoCache::scan() {
    if (m_scanned || m_dir.empty()) return;
    m_scanned = true;
    DIR* dir = opendir(m_dir.c_str());
    if (dir == nullptr) return;
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        struct stat st;
        if (lstat(path_of(name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const bool temporary = name[0] == '.' && name.find(".photo.") != std::string::npos;
        if (temporary) {
            if (now - static_cast<int64_t>(st.st_mtime) > kStaleTempSeconds)
                unlink(path_of(name).c_str());
            continue;
        }
        if (name.size() != 22 || name.compare(16, 6, ".photo") != 0) continue;
        FileInfo& info = m_files[name];
        info.size = static_cast<uint64_t>(st.st_size);
        info.used = mtime_ns(st);
        m_total += info.size;
    }
    closedir(dir);
    // A smaller bound than the last run's applies at once.
    evict("");
}

void UTL_PhotoCache::evict(const std::string& keep) {
    while (m_total > m_max_bytes) {
        auto oldest = m_files.end();
        for (auto it = m_files.begin(); it != m_files.end(); ++it) {
            if (it->first == keep) continue;
            if (oldest == m_files.end() || it->second.used < oldest->second.used) oldest = it;
        }
        if (oldest == m_files.end()) break;
        unlink(path_of(oldest->first).c_str());
        m_total -= oldest->second.size;
        m_files.erase(oldest);
    }
}
