// OGL_DrawThrottle: keeps a renderer that draws on worker threads from queueing a whole frame's
// work at once, by waiting on a fence every so many primitives.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <functional>

// NOTE: llvmpipe, the software renderer, sorts each draw into screen tiles on the calling thread
// and rasterises the tiles on worker threads. The sorting is much faster than the rasterising,
// so it runs ahead and the sorted work of the whole frame waits in memory: for 2.3 million glow
// dots about 650 MB, freed only when the frame is done. Waiting, after each window of
// primitives, until the window before it has been drawn keeps about two windows queued, enough
// to keep the workers busy. Every wait makes the renderer start a new batch of tiles, so the
// frame takes about a quarter longer (a thousand people's globe at 1280x800 on two cores: about
// 940 ms instead of 750 ms). A hardware driver queues its work in the GPU's memory and is not
// throttled, nor is a driver without fences (before OpenGL 3.2 and without GL_ARB_sync).
// Owned by the controller; every call needs the context it was started in: main (GL) thread
// only.
class OGL_DrawThrottle {
public:
    static constexpr long long k_default_window = 16384;

    explicit OGL_DrawThrottle(long long window = k_default_window) : m_window(window) {}
    // Deletes the fences still waiting: the context must be current.
    ~OGL_DrawThrottle();
    OGL_DrawThrottle(const OGL_DrawThrottle&) = delete;
    OGL_DrawThrottle& operator=(const OGL_DrawThrottle&) = delete;

    // Asks the current context whether it has fences and draws in software; until then, and
    // otherwise, count() does nothing.
    void start();
    // True for the renderer names (GL_RENDERER) of Mesa's software rasterisers. HACK: there is
    // no query for "queues the frame in the process's own memory".
    static bool renders_in_software(const char* renderer);
    bool active() const { return m_active; }

    // Counts primitives just sent. Each time a window is full, puts a fence behind it and waits
    // for the one before, so at most the last two windows are queued.
    void count(long long primitives);
    // The frame is over (the host waits for all of it anyway): the fences are dropped.
    void end_frame();
    // Waits until the renderer has drawn everything sent so far, doing the waiting work
    // meanwhile (as glFinish, which it ends with).
    void finish();
    // Work to do while waiting for the renderer, in slices of a few milliseconds: the main
    // thread is otherwise idle then. Empty: waits only.
    void set_while_waiting(std::function<void()> work) { m_while_waiting = std::move(work); }

    long long window() const { return m_window; }
    // Primitives between fences from now on (at least one).
    void set_window(long long window) { m_window = window > 0 ? window : 1; }
    // Fences waited for since construction, for tests.
    long long waits() const { return m_waits; }

private:
    void drop_fences();
    // Waits for a fence up to limit nanoseconds, running m_while_waiting between short waits.
    void wait(GLsync fence, unsigned long long limit);

    long long m_window;
    long long m_pending = 0;  // primitives since the last fence
    bool m_active = false;
    bool m_has_fences = false;  // the context has sync objects (set by start())
    GLsync m_older = nullptr;
    GLsync m_newer = nullptr;
    long long m_waits = 0;
    std::function<void()> m_while_waiting;
};
