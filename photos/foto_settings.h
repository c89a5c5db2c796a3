// UTL_FotoSettings and UTL_FotoDownloadLimits: how the photo texture manager may fetch, keep and
// read photos. Plain data without platform calls, so the controller can carry them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Limits of the downloads. A download that breaks one of them fails like any other failed
// download: its photo ends loaded without pixels and shows the placeholder.
struct UTL_FotoDownloadLimits {
    long m_connect_timeout_ms = 10000;  // to establish the connection
    long m_low_speed_limit = 1;         // bytes per second below which ...
    long m_low_speed_time_s = 30;       // ... for this many seconds the transfer is abandoned
    long m_total_timeout_ms = 120000;   // the whole transfer; 0 = none
    size_t m_max_bytes = 16u << 20;     // larger replies are abandoned
    int m_max_transfers = 8;            // transfers at once, in all ...
    int m_max_per_host = 2;             // ... and to one host (name and port)
};

struct UTL_FotoSettings {
    // Addresses that are not HTTP(S) are paths of local files. They are read only when the
    // people come from a local source (the embedded service with the demo, a graph or a people
    // file): a remote service must not choose which of the user's files are opened.
    bool m_allow_local_paths = false;
    // Downloaded photos are kept on disk and shown from there on the next start.
    bool m_use_disk_cache = true;
    // The cache's folder; empty: $XDG_CACHE_HOME/nimbra/photos, else ~/.cache/nimbra/photos.
    std::string m_cache_dir;
    // The cache's size bound; the least recently used photos go first.
    uint64_t m_cache_max_bytes = 200u * 1000u * 1000u;
    // Addresses starting with this are never kept on disk (empty: none): the embedded
    // service's own portraits, generated afresh at a new port on every start.
    std::string m_uncached_prefix;
    // What a photo that ended without pixels shows; also the address the controller gives a
    // person without a photo, answered with the same texture at once.
    std::string m_placeholder_path = "./data/config/question.tga";
    // The longest side of a decoded photo; larger ones are decoded reduced.
    uint32_t m_max_side = 1024;
};
