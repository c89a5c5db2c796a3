// UTL_FotoTextureBoss: turns photo addresses (web addresses or local paths) into shared photo
// textures. One worker thread drives several downloads at once, keeps them in a disk cache,
// reads local files safely and decodes every photo; a photo that fails shows the placeholder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "photos/foto_downloader.h"
#include "photos/foto_settings.h"
#include "photos/thread.h"

class OGL_TextureFoto;
class UTL_PhotoCache;
class GFX_Image;

// Owned by the controller, which calls start() once after construction. get_texture() runs on
// the main thread; update() is the worker. One lock guards the map's insertions and walk, every
// serf's m_loaded and m_running. A serf's texture is written by the worker only while the serf
// is unloaded and used by the main thread only after it saw m_loaded true under the lock, so
// the two never share it; all OpenGL work (the upload) is the main thread's, at first apply().
class UTL_FotoTextureBoss : public UTL_Thread {
public:
    // One requested photo. Plain data: the manager owns it and deletes it in clear().
    class UTL_FotoTextureSerf {
    public:
        UTL_FotoTextureSerf() = default;
        ~UTL_FotoTextureSerf();
        UTL_FotoTextureSerf(const UTL_FotoTextureSerf&) = delete;
        UTL_FotoTextureSerf& operator=(const UTL_FotoTextureSerf&) = delete;

        // Deletes the texture.
        void clear();

        bool m_loaded = false;
        // False once released (release_unused()): the worker leaves it until it is asked for
        // again, and then starts it afresh (m_restart).
        bool m_wanted = true;
        bool m_restart = false;
        double m_last_asked = 0.0;  // main thread: when get_texture() last asked, in seconds
        std::string m_url;
        uint32_t m_max_side = 0;               // decoded no larger; 0: the settings' largest
        OGL_TextureFoto* m_texture = nullptr;  // owned

        // The worker's own bookkeeping; no other thread reads it.
        bool m_in_flight = false;       // a transfer is running
        bool m_cache_checked = false;   // the disk cache was asked
        bool m_has_stale_copy = false;  // the cache holds an old copy to revalidate
        std::string m_host;             // the transfer count key, once known
        std::string m_cached_etag;
        std::string m_cached_last_modified;
    };

    // Initialises libcurl; the worker is started by the owner's start().
    explicit UTL_FotoTextureBoss(const UTL_FotoSettings& settings = UTL_FotoSettings());
    // Stops the worker (downloads in progress are abandoned) and joins it, then clear().
    ~UTL_FotoTextureBoss() override;

    // The texture of url once the worker has loaded it, else null; a photo that ended without
    // pixels gives the placeholder texture instead (or its own empty one when the placeholder
    // cannot be read). The placeholder's own address gives the placeholder at once. The first
    // request queues the address, and any request starts a worker when none runs. Main thread
    // only, with the OpenGL context current (a new texture asks the driver for its extensions).
    // max_side: a smaller copy of the photo, decoded with its longest side at most that (a
    // texture of its own, from the same download or cache file); 0 or the settings' largest
    // side or more: the photo as large as the settings allow.
    OGL_TextureFoto* get_texture(const char* url, uint32_t max_side = 0);
    // The question-mark texture, read on first use. Main thread only.
    OGL_TextureFoto* placeholder_texture();

    // Releases the textures of the photos no get_texture() has asked for in the idle seconds
    // before now (seconds as get_texture() stamps them: steady_seconds()). Asked for again, a
    // released photo loads anew: from the disk cache when it holds it, else downloaded. Answers
    // how many were released. Main thread only, with the OpenGL context current.
    size_t release_unused(double now, double idle);
    static double steady_seconds();

    void lock();
    void unlock();
    void init_curl();
    void stop_curl();

    // The worker: loads every unloaded photo, transfers in ascending order of the address as
    // the limits allow, until none is left or it is asked to stop.
    void update() override;

    // Stops and joins the worker, then deletes every serf with its texture, the placeholder,
    // the map and the lock and cleans libcurl up. Afterwards get_texture() answers null. Main
    // thread only.
    void clear();

    // Deletes the OpenGL textures of the loaded photos and the placeholder; uploaded photos
    // keep no pixels of their own, so they have no picture afterwards. Textures do not do it
    // when deleted, since a context may be gone by then: the owner calls this before clear()
    // while its context is current. Main thread only.
    void unload_textures();

    // Limits for the downloads that start from now on. Any thread.
    void set_download_limits(const UTL_FotoDownloadLimits& limits);
    UTL_FotoDownloadLimits get_download_limits();
    const UTL_FotoSettings& settings() const { return m_settings; }

    // True while a worker runs or has been started and has not yet found the queue empty.
    bool is_running();

    // Owned serfs, by address (a smaller copy: the address, a space and its largest side).
    std::map<std::string, UTL_FotoTextureSerf*> m_serfs;
    UTL_CriticalSection* m_critical_section = nullptr;  // owned
    bool m_running = true;

protected:
    // Wakes the worker from its wait on the transfers.
    void on_stop_requested() override;

private:
    // Worker thread: what to do with one waiting serf. True when it decoded something, which
    // takes long enough that the running transfers should be served before the next.
    bool begin_job(UTL_FotoTextureSerf* serf, const UTL_FotoDownloadLimits& limits);
    void end_transfer(UTL_FotoDownload& download);
    // Decodes bytes into a new image; null when nothing decodes or the worker must stop.
    GFX_Image* decode(const std::string& bytes, const std::string& fallback_name,
                      const UTL_FotoTextureSerf& serf);
    // Gives the serf its image (null: none) and marks it loaded, unless the worker must stop.
    void finish(UTL_FotoTextureSerf* serf, GFX_Image* image);
    bool is_cached_address(const std::string& url) const;

    const UTL_FotoSettings m_settings;
    UTL_FotoDownloadLimits m_limits;  // guarded by the lock
    bool m_curl_initialised = false;
    std::unique_ptr<UTL_FotoDownloader> m_downloader;  // worker thread, but for wakeup()
    std::unique_ptr<UTL_PhotoCache> m_cache;           // worker thread; null without a cache
    OGL_TextureFoto* m_placeholder = nullptr;          // owned; main thread
    bool m_placeholder_read = false;
};
