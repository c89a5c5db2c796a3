// UTL_FotoDownloader: easy handles under one multi handle, their options (time-outs, size cap,
// conditional requests), the per-host count, and the download buffer's write callback.
#include "photos/foto_downloader.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "photos/thread.h"

struct UTL_FotoDownloader::Transfer {
    CURL* easy = nullptr;
    void* tag = nullptr;
    std::string host;
    curl_slist* request_headers = nullptr;
    UTL_FotoDownloadBuffer buffer;
    UTL_PhotoReplyHeaders reply;
};

namespace {

CURLM* multi_of(void* multi) { return static_cast<CURLM*>(multi); }

size_t on_header(char* line, size_t size, size_t count, void* reply) {
    const size_t n = size * count;
    static_cast<UTL_PhotoReplyHeaders*>(reply)->read_line(line, n);
    return n;
}

}  // namespace

// ---- construction and destruction ----

UTL_FotoDownloader::UTL_FotoDownloader() { m_multi = curl_multi_init(); }

UTL_FotoDownloader::~UTL_FotoDownloader() {
    std::vector<void*> abandoned;
    abandon_all(abandoned);
    if (m_multi != nullptr) curl_multi_cleanup(multi_of(m_multi));
}

// ---- transfers ----

std::string UTL_FotoDownloader::host_of(const std::string& url) {
    std::string key;
    CURLU* parsed = curl_url();
    if (parsed == nullptr) return key;
    char* host = nullptr;
    char* port = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
        key = std::string(host) + ":" + port;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(parsed);
    return key;
}

bool UTL_FotoDownloader::can_start(const std::string& host,
                                   const UTL_FotoDownloadLimits& limits) const {
    if (m_transfers.size() >= static_cast<size_t>(std::max(1, limits.m_max_transfers))) {
        return false;
    }
    auto it = m_per_host.find(host);
    return it == m_per_host.end() || it->second < std::max(1, limits.m_max_per_host);
}

bool UTL_FotoDownloader::start(void* tag, const std::string& url, const std::string& host,
                               const UTL_FotoDownloadLimits& limits, const UTL_Thread* worker,
                               const std::string& etag, const std::string& last_modified) {
    if (m_multi == nullptr) return false;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return false;
    Transfer* t = new Transfer();
    t->easy = curl;
    t->tag = tag;
    t->host = host;
    t->buffer.m_max_bytes = limits.m_max_bytes;
    t->buffer.m_worker = worker;
    if (!etag.empty()) {
        t->request_headers =
            curl_slist_append(t->request_headers, ("If-None-Match: " + etag).c_str());
    }
    if (!last_modified.empty()) {
        t->request_headers =
            curl_slist_append(t->request_headers, ("If-Modified-Since: " + last_modified).c_str());
    }

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteMemoryCallback);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t->buffer);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "libcurl-agent/1.0");
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t->reply);
    if (t->request_headers != nullptr)
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, t->request_headers);
    // Every transfer is bounded in connection time, speed, total time and size, so a host that
    // hangs holds its slots for a bounded time. No signals: time-outs must not raise SIGALRM
    // in a threaded program.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // Avatar services often answer a photo's address with a redirect to where it is stored.
    // A few are followed, and only to the web: never to a local file or another scheme.
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.m_connect_timeout_ms);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits.m_low_speed_limit);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.m_low_speed_time_s);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.m_total_timeout_ms);
    if (limits.m_max_bytes < SIZE_MAX) {
        // Refuses at once a reply that announces a larger size; the write callback catches one
        // that does not announce it.
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(limits.m_max_bytes));
    }
    // Certificate checks stay at libcurl's defaults (on).
    if (curl_multi_add_handle(multi_of(m_multi), curl) != CURLM_OK) {
        curl_easy_cleanup(curl);
        curl_slist_free_all(t->request_headers);
        delete t;
        return false;
    }
    m_transfers[curl] = t;
    ++m_per_host[host];
    return true;
}

void UTL_FotoDownloader::run(int timeout_ms, std::vector<UTL_FotoDownload>& done) {
    if (m_multi == nullptr) return;
    CURLM* multi = multi_of(m_multi);
    int running = 0;
    curl_multi_perform(multi, &running);
    if (timeout_ms > 0) {
        curl_multi_poll(multi, nullptr, 0, timeout_ms, nullptr);
        curl_multi_perform(multi, &running);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        auto it = m_transfers.find(message->easy_handle);
        if (it == m_transfers.end()) continue;
        Transfer* t = it->second;
        UTL_FotoDownload result;
        result.m_tag = t->tag;
        result.m_complete = message->data.result == CURLE_OK && !t->buffer.m_cut_short;
        curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &result.m_status);
        if (result.m_complete && t->buffer.m_memory != nullptr) {
            result.m_body.assign(t->buffer.m_memory, t->buffer.m_size);
        }
        result.m_headers = t->reply;
        m_transfers.erase(it);
        finish(t);
        done.push_back(std::move(result));
    }
}

void UTL_FotoDownloader::abandon_all(std::vector<void*>& abandoned) {
    for (auto& entry : m_transfers) {
        abandoned.push_back(entry.second->tag);
        finish(entry.second);
    }
    m_transfers.clear();
}

void UTL_FotoDownloader::wakeup() {
    if (m_multi != nullptr) curl_multi_wakeup(multi_of(m_multi));
}

void UTL_FotoDownloader::finish(Transfer* t) {
    curl_multi_remove_handle(multi_of(m_multi), t->easy);
    curl_easy_cleanup(t->easy);
    curl_slist_free_all(t->request_headers);
    std::free(t->buffer.m_memory);
    auto host = m_per_host.find(t->host);
    if (host != m_per_host.end() && --host->second <= 0) m_per_host.erase(host);
    delete t;
}

// ---- the write callback ----

size_t WriteMemoryCallback(void* data, size_t size, size_t count, void* buffer) {
    UTL_FotoDownloadBuffer* into = static_cast<UTL_FotoDownloadBuffer*>(buffer);
    if (size != 0 && count > SIZE_MAX / size) {
        into->m_cut_short = true;
        return 0;
    }
    const size_t n = size * count;
    if ((into->m_worker != nullptr && into->m_worker->stop_requested()) ||
        n > into->m_max_bytes - std::min(into->m_size, into->m_max_bytes) ||
        n > SIZE_MAX - 1 - into->m_size) {
        into->m_cut_short = true;
        return 0;
    }
    char* grown = static_cast<char*>(std::realloc(into->m_memory, into->m_size + n + 1));
    if (grown == nullptr) {
        // The stored bytes stay in the old block; answering 0 ends the transfer as failed.
        into->m_cut_short = true;
        return 0;
    }
    into->m_memory = grown;
    std::memcpy(into->m_memory + into->m_size, data, n);
    into->m_size += n;
    into->m_memory[into->m_size] = '\0';
    return n;
}
