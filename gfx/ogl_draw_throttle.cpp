// OGL_DrawThrottle: a fence every window of primitives, and a wait for the one before it.
#define GL_GLEXT_PROTOTYPES
#include "gfx/ogl_draw_throttle.h"

#include <GL/glext.h>

#include <cstring>
#include <initializer_list>

#include "gfx/ogl_wrapper.h"

// --- Construction and destruction ----------------------------------------------------------

OGL_DrawThrottle::~OGL_DrawThrottle() { drop_fences(); }

void OGL_DrawThrottle::start() {
    const bool fences = OGL_Wrapper::has_version(3, 2) || OGL_Wrapper::has_extension("GL_ARB_sync");
    m_active =
        fences && renders_in_software(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
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
        glClientWaitSync(m_older, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000ull);
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

// --- Helpers -------------------------------------------------------------------------------

void OGL_DrawThrottle::drop_fences() {
    if (m_older) glDeleteSync(m_older);
    if (m_newer) glDeleteSync(m_newer);
    m_older = m_newer = nullptr;
}
