// OGL_DepthTiles: reading the window's depth into tiles, and the test of a dot against them.
#include "gfx/ogl_depth_tiles.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

// Pixels of room round a dot: the renderer rounds its centre and size to its own grid, and a
// layer at half the window's resolution takes its depth from any pixel of a 2 x 2 block.
constexpr float kSlackPixels = 2.0f;
// Room in depth: the buffer holds 24 bits, and the renderer works out a dot's depth in its own
// order of operations.
constexpr float kDepthSlack = 1.0f / 65536.0f;

}  // namespace

bool OGL_DepthTiles::read() {
    m_valid = false;
    GLint viewport[4];
    GLfloat model_view[16], projection[16];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetFloatv(GL_MODELVIEW_MATRIX, model_view);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    GLint depth_bits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth_bits);
    if (viewport[2] <= 0 || viewport[3] <= 0 || depth_bits <= 0) return false;
    begin(viewport[2], viewport[3], model_view, projection, viewport);
    GLint framebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &framebuffer);
    if (framebuffer != 0) return false;
    m_depth.resize(static_cast<size_t>(m_width) * static_cast<size_t>(m_height));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(viewport[0], viewport[1], m_width, m_height, GL_DEPTH_COMPONENT, GL_FLOAT,
                 m_depth.data());
    if (glGetError() != GL_NO_ERROR) return false;
    make_tiles();
    m_valid = true;
    return true;
}

void OGL_DepthTiles::set(int width, int height, const std::vector<float>& depth,
                         const float model_view[16], const float projection[16],
                         const int viewport[4]) {
    m_valid = false;
    if (width <= 0 || height <= 0 ||
        depth.size() < static_cast<size_t>(width) * static_cast<size_t>(height))
        return;
    begin(width, height, model_view, projection, viewport);
    m_depth.assign(depth.begin(), depth.begin() + static_cast<long>(width) * height);
    make_tiles();
    m_valid = true;
}

void OGL_DepthTiles::begin(int width, int height, const float model_view[16],
                           const float projection[16], const int viewport[4]) {
    m_width = width;
    m_height = height;
    m_columns = (width + k_tile - 1) / k_tile;
    m_rows = (height + k_tile - 1) / k_tile;
    m_farthest.assign(static_cast<size_t>(m_columns) * static_cast<size_t>(m_rows), 0.0f);
    for (int i = 0; i < 4; ++i) m_viewport[i] = static_cast<float>(viewport[i]);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k) s += projection[k * 4 + r] * model_view[c * 4 + k];
            m_clip[c * 4 + r] = s;
        }
    // As OGL_PointSprites::pixels_per_unit() works it out for the sprites.
    m_pixels_per_unit = projection[5] * static_cast<float>(viewport[3]) * 0.5f;
}

void OGL_DepthTiles::make_tiles() {
    for (int y = 0; y < m_height; ++y) {
        const float* line = &m_depth[static_cast<size_t>(y) * static_cast<size_t>(m_width)];
        float* tiles = &m_farthest[static_cast<size_t>(y / k_tile) * m_columns];
        for (int x = 0; x < m_width; ++x) {
            const float z = line[x];
            float& far = tiles[x / k_tile];
            // NOTE: a NaN depth (never from a driver) counts as the far plane: hides nothing.
            far = z <= far ? far : (z == z ? z : 1.0f);
        }
    }
}

bool OGL_DepthTiles::same_depth(const OGL_DepthTiles& other) const {
    if (!m_valid || !other.m_valid) return m_valid == other.m_valid;
    if (m_width != other.m_width || m_height != other.m_height) return false;
    for (size_t i = 0; i < m_depth.size(); ++i)
        if (!(std::fabs(m_depth[i] - other.m_depth[i]) <= k_same_depth)) return false;
    return true;
}

void OGL_DepthTiles::to_clip(const Math_Vector3& p, float w, float clip[4]) const {
    const float* m = m_clip;
    for (int i = 0; i < 4; ++i)
        clip[i] = m[i] * p.m_x + m[4 + i] * p.m_y + m[8 + i] * p.m_z + m[12 + i] * w;
}

bool OGL_DepthTiles::hides(const Math_Vector3& p, float world_size) const {
    if (!m_valid) return false;
    float clip[4];
    to_clip(p, 1.0f, clip);
    return hides_clip(clip, world_size);
}

bool OGL_DepthTiles::hides_clip(const float clip[4], float world_size) const {
    if (!m_valid) return false;
    const float cx = clip[0], cy = clip[1], cz = clip[2], cw = clip[3];
    // Behind the eye or at it, or a broken position: left to the renderer's clipping.
    if (!(cw > 1e-6f)) return false;
    const float z = 0.5f * (cz / cw) + 0.5f;
    if (!(z <= 1.0f)) return false;
    const float x = m_viewport[0] + (0.5f * (cx / cw) + 0.5f) * m_viewport[2];
    const float y = m_viewport[1] + (0.5f * (cy / cw) + 0.5f) * m_viewport[3];
    // The sprite's side: attenuated by the distance along the view (w), as the renderer does.
    const float half = 0.5f * world_size * m_pixels_per_unit / cw + kSlackPixels;
    if (!(half < 1e6f)) return false;
    // What lies beyond the window's edges does not show: only the pixels inside count.
    const float left = std::max(x - half - m_viewport[0], 0.0f);
    const float bottom = std::max(y - half - m_viewport[1], 0.0f);
    const float right = std::min(x + half - m_viewport[0], static_cast<float>(m_width - 1));
    const float top = std::min(y + half - m_viewport[1], static_cast<float>(m_height - 1));
    if (!(left <= right && bottom <= top)) return true;
    const int c0 = static_cast<int>(left) / k_tile, c1 = static_cast<int>(right) / k_tile;
    const int r0 = static_cast<int>(bottom) / k_tile, r1 = static_cast<int>(top) / k_tile;
    const float nearest_shown = z - kDepthSlack;
    for (int r = r0; r <= r1; ++r) {
        const float* tiles = &m_farthest[static_cast<size_t>(r) * m_columns];
        for (int c = c0; c <= c1; ++c)
            if (!(tiles[c] < nearest_shown)) return false;
    }
    return true;
}
