// UTL_FotoDownloader: the photo worker's transfers, many at once through libcurl's multi
// interface, with a bound on transfers in all and per host; and the download buffer that one
// transfer writes into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "photos/foto_settings.h"
#include "photos/photo_cache.h"

class UTL_Thread;

// The buffer one download writes into: a malloc'ed block (null at first) that always holds a
// zero byte behind the m_size stored bytes. Worker thread only.
struct UTL_FotoDownloadBuffer {
    char* m_memory = nullptr;
    size_t m_size = 0;
    size_t m_max_bytes = SIZE_MAX;         // more than this stops the transfer
    const UTL_Thread* m_worker = nullptr;  // a stop request of it stops the transfer too
    bool m_cut_short = false;              // the callback refused a chunk
};

// libcurl's write callback: appends size * count bytes behind the stored ones and answers
// size * count. When the block cannot grow, would pass the size limit, or the worker is asked
// to stop, it keeps what is stored, answers 0 and so stops the transfer.
size_t WriteMemoryCallback(void* data, size_t size, size_t count, void* buffer);

// One transfer that has ended.
struct UTL_FotoDownload {
    void* m_tag = nullptr;    // what the caller gave start()
    bool m_complete = false;  // the reply arrived whole (whatever its status)
    long m_status = 0;        // the HTTP status
    std::string m_body;
    UTL_PhotoReplyHeaders m_headers;
};

// Owned by the photo texture manager. Worker thread only, except wakeup().
class UTL_FotoDownloader {
public:
    UTL_FotoDownloader();
    // Abandons every transfer still running.
    ~UTL_FotoDownloader();
    UTL_FotoDownloader(const UTL_FotoDownloader&) = delete;
    UTL_FotoDownloader& operator=(const UTL_FotoDownloader&) = delete;

    // The key transfers are counted per host by: lower-case host name and port ("" for an
    // address that does not parse).
    static std::string host_of(const std::string& url);

    // Whether a transfer to host may start now under the limits.
    bool can_start(const std::string& host, const UTL_FotoDownloadLimits& limits) const;
    // Starts a GET of url; with an etag or a last-modified date it asks only whether the copy
    // that has them is still current (304). worker's stop request ends it. False when libcurl
    // could not set the transfer up.
    bool start(void* tag, const std::string& url, const std::string& host,
               const UTL_FotoDownloadLimits& limits, const UTL_Thread* worker,
               const std::string& etag, const std::string& last_modified);
    // Moves the transfers on, waiting up to timeout_ms for something to happen (a wakeup()
    // ends the wait), and appends those that ended to done.
    void run(int timeout_ms, std::vector<UTL_FotoDownload>& done);
    // Ends every transfer at once; their tags are appended to abandoned.
    void abandon_all(std::vector<void*>& abandoned);
    size_t active() const { return m_transfers.size(); }

    // Ends a wait in run() early. Any thread.
    void wakeup();

private:
    struct Transfer;
    void finish(Transfer* transfer);

    void* m_multi = nullptr;                 // CURLM*
    std::map<void*, Transfer*> m_transfers;  // by easy handle
    std::map<std::string, int> m_per_host;
};
