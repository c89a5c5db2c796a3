// Fuzzes what the photo cache reads from outside: cache files on disk (which a crash or another
// program may have damaged) and the header lines of HTTP replies with the freshness rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "photos/photo_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    UTL_PhotoCacheEntry entry;
    if (parse_cache_entry(bytes, entry)) {
        // What was read writes back into a file that reads as the same entry.
        UTL_PhotoCacheEntry again;
        if (!parse_cache_entry(serialize_cache_entry(entry), again) || again.m_url != entry.m_url ||
            again.m_etag != entry.m_etag || again.m_last_modified != entry.m_last_modified ||
            again.m_fresh_until != entry.m_fresh_until || again.m_body != entry.m_body) {
            std::abort();
        }
    }
    UTL_PhotoReplyHeaders headers;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        end = end == std::string::npos ? bytes.size() : end + 1;
        headers.read_line(bytes.data() + start, end - start);
        start = end;
    }
    const int64_t now = 1700000000;
    if (reply_fresh_until(headers, now) < 0 && headers.m_expires.empty()) std::abort();
    reply_is_storable(headers);
    return 0;
}
