// OGL_DrawThrottle: a fence every window of primitives, and a wait for the one before it that
// lends the idle main thread to other work.
#define GL_GLEXT_PROTOTYPES
#include "gfx/ogl_draw_throttle.h"

#include <GL/glext.h>

#include <chrono>
#include <cstring>
#include <initializer_list>

#include "gfx/ogl_wrapper.h"

// --- Construction and destruction ----------------------------------------------------------

OGL_DrawThrottle::~OGL_DrawThrottle() { drop_fences(); }

void OGL_DrawThrottle::start() {
    m_has_fences = OGL_Wrapper::has_version(3, 2) || OGL_Wrapper::has_extension("GL_ARB_sync");
    m_active = m_has_fences &&
               renders_in_software(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    m_pending = 0;
}

bool OGL_DrawThrottle::renders_in_software(const char* renderer) {
    if (renderer == nullptr) return false;
    for (const char* name : {"llvmpipe", "softpipe"})
        if (std::strstr(renderer, name) != nullptr) return true;
    return false;
}

// --- Per-frame update ----------------------------------------------------------------------

void OGL_DrawThrottle::count(long long primitives) {
    if (!m_active || primitives <= 0) return;
    m_pending += primitives;
    if (m_pending < m_window) return;
    m_pending = 0;
    if (m_older) {
        // A second is an eternity for one window; a driver that takes longer is not waited for.
        wait(m_older, 1000000000ull);
        glDeleteSync(m_older);
        ++m_waits;
    }
    m_older = m_newer;
    m_newer = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}

void OGL_DrawThrottle::end_frame() {
    drop_fences();
    m_pending = 0;
}

void OGL_DrawThrottle::finish() {
    if (m_while_waiting && m_has_fences) {
        if (GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0)) {
            // Ten seconds: far longer than any frame; the glFinish below waits for the rest.
            wait(fence, 10000000000ull);
            glDeleteSync(fence);
        }
    }
    glFinish();
}

// --- Helpers -------------------------------------------------------------------------------

void OGL_DrawThrottle::wait(GLsync fence, unsigned long long limit) {
    if (!m_while_waiting) {
        glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, limit);
        return;
    }
    constexpr unsigned long long kSlice = 2000000ull;  // 2 ms between two turns of the work
    const auto end = std::chrono::steady_clock::now() + std::chrono::nanoseconds(limit);
    GLbitfield flags = GL_SYNC_FLUSH_COMMANDS_BIT;
    for (;;) {
        const GLenum done = glClientWaitSync(fence, flags, 0);
        flags = 0;
        if (done != GL_TIMEOUT_EXPIRED) return;
        m_while_waiting();
        if (glClientWaitSync(fence, 0, kSlice) != GL_TIMEOUT_EXPIRED) return;
        if (std::chrono::steady_clock::now() > end) return;
    }
}

void OGL_DrawThrottle::drop_fences() {
    if (m_older) glDeleteSync(m_older);
    if (m_newer) glDeleteSync(m_newer);
    m_older = m_newer = nullptr;
}
