// Float RGBA picture used by the data generator: anti-aliased painting from signed distances,
// "over" compositing, colour bleeding into clear pixels, bilinear sampling, and TGA output.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

inline Rgba rgba(float r, float g, float b, float a = 1.0f) { return Rgba{r, g, b, a}; }
inline Rgba mix(const Rgba& x, const Rgba& y, float k) {
    return Rgba{x.r + (y.r - x.r) * k, x.g + (y.g - x.g) * k, x.b + (y.b - x.b) * k,
                x.a + (y.a - x.a) * k};
}

inline float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline float smoothstep(float e0, float e1, float x) {
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
// Coverage of a pixel by a shape whose signed distance (negative inside) is d, in pixels: a
// one-pixel ramp centred on the edge, which is what box filtering a straight edge gives.
inline float coverage(float d, float softness = 1.0f) { return clamp01(0.5f - d / softness); }

// Signed distances in picture units (x right, y down).
float sd_circle(float x, float y, float cx, float cy, float r);
float sd_round_rect(float x, float y, float cx, float cy, float hw, float hh, float radius);
float sd_segment(float x, float y, float ax, float ay, float bx, float by, float half_width);
float sd_triangle(float x, float y, float ax, float ay, float bx, float by, float cx, float cy);
// A stroke along a circular arc from angle a0 to a1 (radians, counter-clockwise on screen, so
// with y down the angle is measured from +x towards -y), with round caps.
float sd_arc(float x, float y, float cx, float cy, float r, float a0, float a1, float half_width);

class Canvas {
public:
    Canvas(int w, int h, Rgba fill = Rgba{1, 1, 1, 0});

    int width() const { return m_w; }
    int height() const { return m_h; }
    // Row 0 is the top row of the picture.
    Rgba& at(int x, int y) { return m_px[static_cast<size_t>(y) * m_w + x]; }
    const Rgba& at(int x, int y) const { return m_px[static_cast<size_t>(y) * m_w + x]; }

    // Composites colour(x, y) with extra opacity cover(x, y) over the picture, "over" operator on
    // straight alpha; x and y are pixel centres (col + 0.5, row + 0.5).
    void paint(const std::function<float(float, float)>& cover,
               const std::function<Rgba(float, float)>& colour);
    void paint(const std::function<float(float, float)>& cover, Rgba colour);
    // Composites another picture (same size or placed at ox, oy) over this one.
    void draw(const Canvas& src, int ox = 0, int oy = 0);
    // Multiplies every alpha by f(x, y).
    void mask(const std::function<float(float, float)>& f);

    // Gives every fully clear pixel the colour of the nearest painted ones, so filtering and
    // mipmapping never pull dark fringes in from the clear parts of a texture.
    void bleed();

    // Bilinear sample at texture coordinates (s, t), t = 0 at the BOTTOM row, clamped to edge.
    Rgba sample(float s, float t) const;

    // Uncompressed true-colour TGA: 32 bits with 8 alpha bits, or 24 bits without alpha; rows
    // bottom-up, BGR(A). Returns false when the file cannot be written.
    bool write_tga(const std::string& path, bool with_alpha = true) const;

private:
    int m_w, m_h;
    std::vector<Rgba> m_px;
};

// Composites one pixel over another (straight alpha).
Rgba over(const Rgba& dst, const Rgba& src);
