// UTL_FotoTextureBoss: the request side (main thread) with the placeholder, and the worker loop
// that reads local photos, answers from the disk cache, drives the transfers and decodes.
#include "photos/foto_texture_boss.h"

#include <chrono>

#include <curl/curl.h>

#include <ctime>

#include "photos/photo_cache.h"
#include "photos/photo_files.h"
#include "photos/texture_foto.h"
#include "util/image.h"
#include "util/photo_decoder.h"

namespace {

// How long the worker waits for its transfers before it looks at the queue again; a new
// request or a stop request wakes it sooner.
const int kWaitMs = 100;

bool is_web_address(const std::string& url) {
    return url.compare(0, 4, "http") == 0 || url.compare(0, 4, "HTTP") == 0;
}

int64_t now_s() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

// ---- construction and destruction ----

UTL_FotoTextureBoss::UTL_FotoTextureBoss(const UTL_FotoSettings& settings) : m_settings(settings) {
    m_critical_section = new UTL_CriticalSection();
    init_curl();
    m_downloader = std::make_unique<UTL_FotoDownloader>();
    if (m_settings.m_use_disk_cache) {
        const std::string dir = m_settings.m_cache_dir.empty() ? UTL_PhotoCache::default_directory()
                                                               : m_settings.m_cache_dir;
        if (!dir.empty()) {
            m_cache = std::make_unique<UTL_PhotoCache>(dir, m_settings.m_cache_max_bytes);
        }
    }
}

UTL_FotoTextureBoss::~UTL_FotoTextureBoss() { clear(); }

void UTL_FotoTextureBoss::clear() {
    // The worker may be inside a transfer or a decode that writes a serf's texture: it is asked
    // to stop and joined before anything it could touch is freed.
    stop();
    m_downloader.reset();
    m_cache.reset();
    for (auto& entry : m_serfs) delete entry.second;
    m_serfs.clear();
    delete m_placeholder;
    m_placeholder = nullptr;
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

OGL_TextureFoto* UTL_FotoTextureBoss::get_texture(const char* url, uint32_t max_side) {
    if (url == nullptr || m_critical_section == nullptr) return nullptr;
    if (!m_settings.m_placeholder_path.empty() && m_settings.m_placeholder_path == url) {
        return placeholder_texture();
    }
    if (max_side >= m_settings.m_max_side) max_side = 0;
    const std::string key = max_side ? std::string(url) + " " + std::to_string(max_side) : url;
    // Only this thread changes the map, so looking up without the lock is safe.
    auto found = m_serfs.find(key);
    if (found != m_serfs.end()) {
        UTL_FotoTextureSerf* serf = found->second;
        serf->m_last_asked = steady_seconds();
        OGL_TextureFoto* texture = nullptr;
        bool wake = false;
        lock();
        if (!serf->m_wanted) {
            // Released and asked for again: the worker loads it anew.
            serf->m_wanted = true;
            serf->m_restart = true;
            wake = m_running;
        }
        if (serf->m_loaded) {
            texture = serf->m_texture;
        } else if (!m_running) {
            // A thread that could not be created leaves m_running false: the next request
            // tries again instead of waiting for a worker that does not exist.
            m_running = start();
        }
        unlock();
        if (wake) m_downloader->wakeup();
        // A photo that ended without pixels shows the question mark, not an empty frame that
        // looks like one still loading.
        if (texture != nullptr && !texture->has_pixels()) {
            OGL_TextureFoto* placeholder = placeholder_texture();
            if (placeholder != nullptr && placeholder->has_pixels()) return placeholder;
        }
        return texture;
    }

    UTL_FotoTextureSerf* serf = new UTL_FotoTextureSerf();
    serf->m_url = url;
    serf->m_max_side = max_side;
    serf->m_last_asked = steady_seconds();
    serf->m_texture = new OGL_TextureFoto();
    serf->m_texture->set_wrap_mode(GL_CLAMP_TO_EDGE);
    bool wake = false;
    lock();
    if (!m_running) {
        // NOTE: a worker that set m_running false under the lock never takes it again, so
        // start() may join it here without waiting on us.
        m_running = start();
    } else {
        wake = true;
    }
    m_serfs.emplace(key, serf);
    unlock();
    // A running worker may be waiting on its transfers: the new address need not wait too.
    if (wake) m_downloader->wakeup();
    return nullptr;
}

double UTL_FotoTextureBoss::steady_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

size_t UTL_FotoTextureBoss::release_unused(double now, double idle) {
    if (m_critical_section == nullptr) return 0;
    std::vector<UTL_FotoTextureSerf*> released;
    lock();
    for (auto& entry : m_serfs) {
        UTL_FotoTextureSerf* serf = entry.second;
        // Only photos with pixels in the driver: one that ended without any has nothing to
        // give back, and loading it again would only fail again.
        if (serf->m_loaded && serf->m_wanted && !(now - serf->m_last_asked <= idle) &&
            serf->m_texture->has_pixels()) {
            serf->m_loaded = false;
            serf->m_wanted = false;
            released.push_back(serf);
        }
    }
    unlock();
    // Unloaded and unwanted, the serf is the worker's no more until asked for: its texture is
    // this thread's to delete.
    for (UTL_FotoTextureSerf* serf : released) {
        serf->m_texture->unload();
        serf->m_texture->clear();  // also pixels never uploaded
    }
    return released.size();
}

OGL_TextureFoto* UTL_FotoTextureBoss::placeholder_texture() {
    if (!m_placeholder_read && m_critical_section != nullptr) {
        m_placeholder_read = true;
        m_placeholder = new OGL_TextureFoto();
        m_placeholder->set_wrap_mode(GL_CLAMP_TO_EDGE);
        // The program's own data file, read by its extension (a TGA).
        m_placeholder->read_from_file(m_settings.m_placeholder_path.c_str());
    }
    return m_placeholder;
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
    if (m_placeholder != nullptr) m_placeholder->unload();
}

bool UTL_FotoTextureBoss::is_running() {
    lock();
    bool running = m_running;
    unlock();
    return running;
}

void UTL_FotoTextureBoss::on_stop_requested() {
    if (m_downloader) m_downloader->wakeup();
}

// ---- the worker (worker thread) ----

void UTL_FotoTextureBoss::update() {
    std::vector<UTL_FotoTextureSerf*> waiting;
    std::vector<UTL_FotoDownload> done;
    auto serve = [&](int timeout_ms) {
        done.clear();
        m_downloader->run(timeout_ms, done);
        for (UTL_FotoDownload& download : done) end_transfer(download);
    };
    for (;;) {
        if (stop_requested()) {
            // Abandoned photos stay unloaded: the next worker a request starts fetches them.
            std::vector<void*> abandoned;
            m_downloader->abandon_all(abandoned);
            for (void* tag : abandoned) static_cast<UTL_FotoTextureSerf*>(tag)->m_in_flight = false;
            lock();
            m_running = false;
            unlock();
            return;
        }
        const UTL_FotoDownloadLimits limits = get_download_limits();
        waiting.clear();
        lock();
        for (auto& entry : m_serfs) {
            UTL_FotoTextureSerf* serf = entry.second;
            if (!serf->m_loaded && !serf->m_in_flight && serf->m_wanted) {
                if (serf->m_restart) {
                    // Released and wanted again: the disk cache is asked first once more.
                    serf->m_restart = false;
                    serf->m_cache_checked = false;
                    serf->m_has_stale_copy = false;
                }
                waiting.push_back(serf);
            }
        }
        if (waiting.empty() && m_downloader->active() == 0) {
            // Decided under the lock and never looked at again: a later request sees false
            // and starts a new worker, so there is never more than one.
            m_running = false;
            unlock();
            return;
        }
        unlock();

        // Smallest address first: transfers start in that order as the limits allow, and a
        // photo from the cache or a local file does not wait for any transfer.
        for (UTL_FotoTextureSerf* serf : waiting) {
            if (stop_requested()) break;
            if (begin_job(serf, limits)) serve(0);
        }
        if (m_downloader->active() > 0) serve(kWaitMs);
    }
}

bool UTL_FotoTextureBoss::begin_job(UTL_FotoTextureSerf* serf,
                                    const UTL_FotoDownloadLimits& limits) {
    const std::string& url = serf->m_url;
    if (url.empty()) {
        finish(serf, nullptr);
        return false;
    }
    if (!is_web_address(url)) {
        // A remote service must not choose which of the user's files are read.
        if (!m_settings.m_allow_local_paths) {
            finish(serf, nullptr);
            return false;
        }
        std::string bytes;
        GFX_Image* image =
            read_regular_file(url, limits.m_max_bytes, bytes) ? decode(bytes, url, *serf) : nullptr;
        finish(serf, image);
        return true;
    }

    bool decoded = false;
    if (!serf->m_cache_checked) {
        serf->m_cache_checked = true;
        serf->m_host = UTL_FotoDownloader::host_of(url);
        UTL_PhotoCacheEntry entry;
        if (m_cache && is_cached_address(url) && m_cache->load(url, entry)) {
            if (entry.m_fresh_until > now_s()) {
                decoded = true;
                if (GFX_Image* image = decode(entry.m_body, "", *serf)) {
                    finish(serf, image);
                    return true;
                }
                if (stop_requested()) {
                    serf->m_cache_checked = false;
                    return true;
                }
                // Bytes that do not decode: the file is dropped and the photo fetched again.
                m_cache->drop(url);
            } else {
                serf->m_has_stale_copy = true;
                serf->m_cached_etag = entry.m_etag;
                serf->m_cached_last_modified = entry.m_last_modified;
            }
        }
    }
    if (!m_downloader->can_start(serf->m_host, limits)) return decoded;
    const bool conditional = serf->m_has_stale_copy;
    if (!m_downloader->start(serf, url, serf->m_host, limits, this,
                             conditional ? serf->m_cached_etag : std::string(),
                             conditional ? serf->m_cached_last_modified : std::string())) {
        finish(serf, nullptr);
        return decoded;
    }
    serf->m_in_flight = true;
    return decoded;
}

void UTL_FotoTextureBoss::end_transfer(UTL_FotoDownload& download) {
    UTL_FotoTextureSerf* serf = static_cast<UTL_FotoTextureSerf*>(download.m_tag);
    serf->m_in_flight = false;
    const std::string& url = serf->m_url;
    const bool cacheable = m_cache && is_cached_address(url);
    GFX_Image* image = nullptr;
    const bool success = download.m_complete && download.m_status >= 200 && download.m_status < 300;
    const bool not_modified = download.m_complete && download.m_status == 304;
    if (success) {
        image = decode(download.m_body, "", *serf);
        // Only what decodes is kept: an error page must not come back from the cache.
        if (image != nullptr && cacheable && reply_is_storable(download.m_headers)) {
            UTL_PhotoCacheEntry entry;
            entry.m_url = url;
            entry.m_etag = download.m_headers.m_etag;
            entry.m_last_modified = download.m_headers.m_last_modified;
            entry.m_fresh_until = reply_fresh_until(download.m_headers, now_s());
            entry.m_body = std::move(download.m_body);
            m_cache->store(entry);
        }
    } else if (serf->m_has_stale_copy && cacheable) {
        // Still current (304), or the server could not be asked (no connection, a time-out,
        // an error status): the kept copy is shown either way, rather than nothing.
        UTL_PhotoCacheEntry entry;
        if (m_cache->load(url, entry)) {
            image = decode(entry.m_body, "", *serf);
            if (image != nullptr && not_modified) {
                if (!download.m_headers.m_etag.empty()) entry.m_etag = download.m_headers.m_etag;
                entry.m_fresh_until = reply_fresh_until(download.m_headers, now_s());
                m_cache->store(entry);
            } else if (image == nullptr && !stop_requested()) {
                m_cache->drop(url);
            }
        }
    }
    finish(serf, image);
}

GFX_Image* UTL_FotoTextureBoss::decode(const std::string& bytes, const std::string& fallback_name,
                                       const UTL_FotoTextureSerf& serf) {
    GFX_PhotoDecodeOptions options;
    options.m_max_side = serf.m_max_side ? serf.m_max_side : m_settings.m_max_side;
    options.m_cancel = stop_flag();
    options.m_fallback_name = fallback_name;
    return decode_photo(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                        options);
}

void UTL_FotoTextureBoss::finish(UTL_FotoTextureSerf* serf, GFX_Image* image) {
    // A decode the stop request cut short says nothing about the photo: it stays unloaded.
    if (stop_requested()) {
        delete image;
        return;
    }
    serf->m_texture->init_from_image(image);
    lock();
    serf->m_loaded = true;
    unlock();
}

bool UTL_FotoTextureBoss::is_cached_address(const std::string& url) const {
    const std::string& prefix = m_settings.m_uncached_prefix;
    return prefix.empty() || url.compare(0, prefix.size(), prefix) != 0;
}
