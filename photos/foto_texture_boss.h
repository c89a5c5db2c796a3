// UTL_FotoTextureBoss: turns photo addresses (web addresses or local paths) into shared photo
// textures, downloading and decoding them one at a time on a worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "photos/thread.h"

class OGL_TextureFoto;

// Limits of one download. A download that breaks one of them fails like any other failed
// download: its photo ends loaded without pixels.
struct UTL_FotoDownloadLimits {
    long m_connect_timeout_ms = 10000;  // to establish the connection
    long m_low_speed_limit = 1;         // bytes per second below which ...
    long m_low_speed_time_s = 30;       // ... for this many seconds the transfer is abandoned
    long m_total_timeout_ms = 120000;   // the whole transfer; 0 = none
    size_t m_max_bytes = 16u << 20;     // larger replies are abandoned
};

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

        // Worker thread, outside the lock: loads the address into the texture. False when the
        // manager asked the worker to stop before the photo was complete.
        bool load();
        // Downloads url and decodes the reply as a JPEG file into the texture; a failed
        // transfer leaves the texture without an image. Worker thread.
        bool load_from_url(const char* url);
        // Deletes the texture.
        void clear();

        bool m_loaded = false;
        std::string m_url;
        OGL_TextureFoto* m_texture = nullptr;   // owned
        UTL_FotoTextureBoss* m_boss = nullptr;  // borrowed: limits and the stop request
    };

    // Initialises libcurl; the worker is started by the owner's start().
    UTL_FotoTextureBoss();
    // Stops the worker (a download in progress is abandoned) and joins it, then clear().
    ~UTL_FotoTextureBoss() override;

    // The texture of url once the worker has loaded it, else null; the first request queues
    // the address, and any request starts a worker when none runs. Main thread only, with the
    // OpenGL context current (a new texture asks the driver for its extensions).
    OGL_TextureFoto* get_texture(const char* url);

    void lock();
    void unlock();
    void init_curl();
    void stop_curl();

    // The worker: loads every unloaded photo, smallest address first, until none is left or
    // it is asked to stop.
    void update() override;

    // Stops and joins the worker, then deletes every serf with its texture, the map and the
    // lock and cleans libcurl up. Afterwards get_texture() answers null. Main thread only.
    void clear();

    // Deletes the OpenGL textures of the loaded photos (their images stay, so a later apply()
    // uploads again). Textures do not do it when deleted, since a context may be gone by then:
    // the owner calls this before clear() while its context is current. Main thread only.
    void unload_textures();

    // Limits for the downloads that start from now on. Any thread.
    void set_download_limits(const UTL_FotoDownloadLimits& limits);
    UTL_FotoDownloadLimits get_download_limits();

    // True while a worker runs or has been started and has not yet found the queue empty.
    bool is_running();

    std::map<std::string, UTL_FotoTextureSerf*> m_serfs;  // owned serfs, by address
    UTL_CriticalSection* m_critical_section = nullptr;    // owned
    bool m_running = true;

private:
    UTL_FotoDownloadLimits m_limits;  // guarded by the lock
    bool m_curl_initialised = false;
};
