// UTL_FotoTextureBoss: the request side (main thread), the worker loop, and the download of one
// photo through libcurl into a private temporary file that the JPEG reader then decodes.
#include "photos/foto_texture_boss.h"

#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "photos/texture_foto.h"

namespace {

// libcurl's progress callback; a non-zero answer abandons the transfer. libcurl calls it about
// once a second even while nothing arrives, so a stop request is seen within that time.
int stop_on_request(void* worker, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const UTL_Thread*>(worker)->stop_requested() ? 1 : 0;
}

// Where the private temporary photo file may go, best first: the user's runtime directory
// (mode 0700) when there is one, then the temporary directory.
std::vector<std::string> temp_directories() {
    std::vector<std::string> dirs;
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* dir = std::getenv(name);
        struct stat st;
        if (dir != nullptr && dir[0] != '\0' && stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) {
            dirs.push_back(dir);
        }
    }
    dirs.push_back("/tmp");
    return dirs;
}

// Writes n bytes to a new private file whose name ends in ".jpg" (so the image reader decodes
// it as JPEG) and returns its path, or "" when no directory takes it.
std::string write_temp_jpeg(const char* bytes, size_t n) {
    for (const std::string& dir : temp_directories()) {
        std::string path = dir + "/nimbra-photo-XXXXXX.jpg";
        std::vector<char> name(path.begin(), path.end());
        name.push_back('\0');
        // NOTE: mkstemps creates the file exclusively with mode 0600 under a random name, so
        // nobody can plant a link in its place or read the photo while it is there.
        int fd = mkstemps(name.data(), 4);
        if (fd < 0) continue;
        bool ok = true;
        const char* at = bytes;
        size_t left = n;
        while (left > 0) {
            ssize_t put = write(fd, at, left);
            if (put < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            at += put;
            left -= static_cast<size_t>(put);
        }
        if (close(fd) != 0) ok = false;
        if (ok) return name.data();
        unlink(name.data());
    }
    return "";
}

}  // namespace

// ---- construction and destruction ----

UTL_FotoTextureBoss::UTL_FotoTextureBoss() {
    m_critical_section = new UTL_CriticalSection();
    init_curl();
}

UTL_FotoTextureBoss::~UTL_FotoTextureBoss() { clear(); }

void UTL_FotoTextureBoss::clear() {
    // The worker may be inside a download that reads a serf and writes its texture: it is
    // asked to stop and joined before anything it could touch is freed.
    stop();
    for (auto& entry : m_serfs) delete entry.second;
    m_serfs.clear();
    delete m_critical_section;
    m_critical_section = nullptr;
    stop_curl();
}

void UTL_FotoTextureBoss::init_curl() {
    if (m_curl_initialised) return;
    m_curl_initialised = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
}

void UTL_FotoTextureBoss::stop_curl() {
    if (!m_curl_initialised) return;
    curl_global_cleanup();
    m_curl_initialised = false;
}

UTL_FotoTextureBoss::UTL_FotoTextureSerf::~UTL_FotoTextureSerf() { clear(); }

void UTL_FotoTextureBoss::UTL_FotoTextureSerf::clear() {
    delete m_texture;
    m_texture = nullptr;
}

// ---- requests (main thread) ----

OGL_TextureFoto* UTL_FotoTextureBoss::get_texture(const char* url) {
    if (url == nullptr || m_critical_section == nullptr) return nullptr;
    // Only this thread changes the map, so looking up without the lock is safe.
    auto found = m_serfs.find(url);
    if (found != m_serfs.end()) {
        UTL_FotoTextureSerf* serf = found->second;
        OGL_TextureFoto* texture = nullptr;
        lock();
        if (serf->m_loaded) {
            texture = serf->m_texture;
        } else if (!m_running) {
            // A thread that could not be created leaves m_running false: the next request
            // tries again instead of waiting for a worker that does not exist.
            m_running = start();
        }
        unlock();
        return texture;
    }

    UTL_FotoTextureSerf* serf = new UTL_FotoTextureSerf();
    serf->m_url = url;
    serf->m_boss = this;
    serf->m_texture = new OGL_TextureFoto();
    serf->m_texture->set_wrap_mode(GL_CLAMP_TO_EDGE);
    lock();
    if (!m_running) {
        // NOTE: a worker that set m_running false under the lock never takes it again, so
        // start() may join it here without waiting on us.
        m_running = start();
    }
    m_serfs.emplace(serf->m_url, serf);
    unlock();
    return nullptr;
}

void UTL_FotoTextureBoss::lock() {
    if (m_critical_section != nullptr) m_critical_section->lock();
}

void UTL_FotoTextureBoss::unlock() {
    if (m_critical_section != nullptr) m_critical_section->unlock();
}

void UTL_FotoTextureBoss::set_download_limits(const UTL_FotoDownloadLimits& limits) {
    lock();
    m_limits = limits;
    unlock();
}

UTL_FotoDownloadLimits UTL_FotoTextureBoss::get_download_limits() {
    lock();
    UTL_FotoDownloadLimits limits = m_limits;
    unlock();
    return limits;
}

void UTL_FotoTextureBoss::unload_textures() {
    lock();
    for (auto& entry : m_serfs) {
        if (entry.second->m_loaded) entry.second->m_texture->unload();
    }
    unlock();
}

bool UTL_FotoTextureBoss::is_running() {
    lock();
    bool running = m_running;
    unlock();
    return running;
}

// ---- the worker (worker thread) ----

void UTL_FotoTextureBoss::update() {
    for (;;) {
        lock();
        UTL_FotoTextureSerf* job = nullptr;
        if (!stop_requested()) {
            for (auto& entry : m_serfs) {
                if (!entry.second->m_loaded) {
                    job = entry.second;
                    break;
                }
            }
        }
        if (job == nullptr) {
            // Decided under the lock and never looked at again: a later request sees false
            // and starts a new worker, so there is never more than one.
            m_running = false;
            unlock();
            return;
        }
        unlock();

        const bool complete = job->load();

        lock();
        if (!complete) {
            // Stopped in the middle: the photo stays unloaded and is fetched again by the
            // next worker a request starts.
            m_running = false;
            unlock();
            return;
        }
        job->m_loaded = true;
        unlock();
    }
}

bool UTL_FotoTextureBoss::UTL_FotoTextureSerf::load() {
    if (m_url.empty()) return true;
    if (m_url.compare(0, 4, "http") == 0 || m_url.compare(0, 4, "HTTP") == 0) {
        return load_from_url(m_url.c_str());
    }
    m_texture->read_from_file(m_url.c_str());
    return true;
}

bool UTL_FotoTextureBoss::UTL_FotoTextureSerf::load_from_url(const char* url) {
    const UTL_FotoDownloadLimits limits = m_boss->get_download_limits();
    UTL_FotoDownloadBuffer buffer;
    buffer.m_max_bytes = limits.m_max_bytes;
    buffer.m_worker = m_boss;

    CURLcode result = CURLE_FAILED_INIT;
    if (CURL* curl = curl_easy_init()) {
        curl_easy_setopt(curl, CURLOPT_URL, url);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteMemoryCallback);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
        curl_easy_setopt(curl, CURLOPT_USERAGENT, "libcurl-agent/1.0");
        // A worker that hangs on one photo would stall every photo behind it: the transfer
        // is bounded in connection time, speed, total time and size, and watches for a stop
        // request. No signals: time-outs must not raise SIGALRM in a threaded program.
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.m_connect_timeout_ms);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits.m_low_speed_limit);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.m_low_speed_time_s);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.m_total_timeout_ms);
        if (limits.m_max_bytes < SIZE_MAX) {
            // Refuses at once a reply that announces a larger size; the write callback
            // catches one that does not announce it.
            curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                             static_cast<curl_off_t>(limits.m_max_bytes));
        }
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, stop_on_request);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, static_cast<void*>(m_boss));
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        // Certificate checks stay at libcurl's defaults (on).
        result = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
    }

    const bool stopped = m_boss->stop_requested();
    std::string path;
    // A transfer that failed (no connection, time-out, too large, cut off) is not decoded:
    // a truncated JPEG would decode into a half-grey photo. The texture keeps no image.
    if (result == CURLE_OK && !stopped) path = write_temp_jpeg(buffer.m_memory, buffer.m_size);
    std::free(buffer.m_memory);
    if (stopped) return false;
    if (!path.empty()) {
        m_texture->read_from_file(path.c_str());
        unlink(path.c_str());
    }
    return true;
}

// ---- helpers ----

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
