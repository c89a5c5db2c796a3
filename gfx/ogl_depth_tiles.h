// OGL_DepthTiles: the farthest depth the window holds in each tile of 2 x 2 pixels, read once
// the people are drawn, with the matrices they were drawn under. A dot whose every pixel lies in
// tiles where something nearer is drawn cannot show, and need not be sent to the renderer.
#pragma once

#include <vector>

#include "gfx/math.h"

// Dots are point sprites tested against the depth buffer (less or equal) with depth writes off:
// a dot is hidden when the depth test fails for every pixel it covers. hides() says so only when
// that is certain, with room for the renderer's rounding of positions and depths. Main (GL)
// thread for read(); the rest is plain data.
class OGL_DepthTiles {
public:
    static constexpr int k_tile = 2;
    // Depths closer than this count as the same (a person easing into place moves by a
    // rounding step of the depth buffer for many frames after it looks still).
    static constexpr float k_same_depth = 1.0f / 65536.0f;

    // Reads the window's (framebuffer 0) depth under the current viewport, and the model-view
    // and projection matrices in force. Waits for the drawing so far. False, and hiding
    // nothing, when there is no depth to read.
    bool read();
    // The same from given values (tests): depth in [0, 1] row by row from the bottom, as
    // glReadPixels gives it; matrices column-major as OpenGL keeps them.
    void set(int width, int height, const std::vector<float>& depth, const float model_view[16],
             const float projection[16], const int viewport[4]);
    void clear() { m_valid = false; }
    bool valid() const { return m_valid; }

    // True when a dot at p (world), drawn world_size wide with distance attenuation as the
    // glow's sprites are, is hidden in every pixel it covers.
    bool hides(const Math_Vector3& p, float world_size) const;
    // The same for a point given by its clip coordinates: a caller walking the evenly spaced
    // dots of a line adds one step in clip space per dot instead of transforming each.
    bool hides_clip(const float clip[4], float world_size) const;
    // The clip coordinates of p, a point (w = 1) or a direction (w = 0), under the transform
    // the depth was read with.
    void to_clip(const Math_Vector3& p, float w, float clip[4]) const;

    // True when both hold the same window with every pixel's depth within k_same_depth: what
    // a picture drawn against one hides, the other hides as well. Two that could not be read
    // count as the same.
    bool same_depth(const OGL_DepthTiles& other) const;

private:
    void begin(int width, int height, const float model_view[16], const float projection[16],
               const int viewport[4]);
    // Folds the depth read into the tiles.
    void make_tiles();

    bool m_valid = false;
    int m_width = 0, m_height = 0;  // pixels
    int m_columns = 0, m_rows = 0;  // tiles
    float m_viewport[4] = {0, 0, 0, 0};
    float m_clip[16] = {};           // projection x model-view, column-major
    float m_pixels_per_unit = 0.0f;  // what one unit at depth 1 spans on screen
    std::vector<float> m_depth;      // per pixel, row by row from the bottom
    std::vector<float> m_farthest;   // per tile, row by row from the bottom
};
