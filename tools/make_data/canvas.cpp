// Float RGBA picture of the data generator: painting, compositing, bleeding, sampling, TGA output.
#include "canvas.h"

#include <algorithm>
#include <cstdio>

// --- signed distances -----------------------------------------------------------------------

float sd_circle(float x, float y, float cx, float cy, float r) {
    return std::hypot(x - cx, y - cy) - r;
}

float sd_round_rect(float x, float y, float cx, float cy, float hw, float hh, float radius) {
    float qx = std::fabs(x - cx) - (hw - radius);
    float qy = std::fabs(y - cy) - (hh - radius);
    float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    float inside = std::min(std::max(qx, qy), 0.0f);
    return outside + inside - radius;
}

float sd_segment(float x, float y, float ax, float ay, float bx, float by, float half_width) {
    float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    float len2 = dx * dx + dy * dy;
    float h = len2 > 0 ? clamp01((px * dx + py * dy) / len2) : 0.0f;
    return std::hypot(px - dx * h, py - dy * h) - half_width;
}

float sd_triangle(float x, float y, float ax, float ay, float bx, float by, float cx, float cy) {
    // Distance to the three edges, sign from the side tests (works for either winding).
    const float px[3] = {ax, bx, cx}, py[3] = {ay, by, cy};
    float d = 1e30f;
    float s_min = 1e30f, s_max = -1e30f;
    for (int i = 0; i < 3; ++i) {
        int j = (i + 1) % 3;
        d = std::min(d, sd_segment(x, y, px[i], py[i], px[j], py[j], 0.0f));
        float side = (px[j] - px[i]) * (y - py[i]) - (py[j] - py[i]) * (x - px[i]);
        s_min = std::min(s_min, side);
        s_max = std::max(s_max, side);
    }
    bool inside = s_min >= 0 || s_max <= 0;
    return inside ? -d : d;
}

float sd_arc(float x, float y, float cx, float cy, float r, float a0, float a1, float half_width) {
    const float two_pi = 6.2831853f;
    float dx = x - cx, dy = cy - y;  // y up for the angle
    float a = std::atan2(dy, dx);
    float sweep = a1 - a0;
    float rel = std::fmod(a - a0, two_pi);
    if (rel < 0) rel += two_pi;
    if (rel <= sweep) return std::fabs(std::hypot(dx, dy) - r) - half_width;
    // Outside the sweep: the nearer of the two round caps.
    float e0 = sd_circle(x, y, cx + r * std::cos(a0), cy - r * std::sin(a0), half_width);
    float e1 = sd_circle(x, y, cx + r * std::cos(a1), cy - r * std::sin(a1), half_width);
    return std::min(e0, e1);
}

// --- canvas -----------------------------------------------------------------------------------

Canvas::Canvas(int w, int h, Rgba fill) : m_w(w), m_h(h), m_px(static_cast<size_t>(w) * h, fill) {}

Rgba over(const Rgba& dst, const Rgba& src) {
    float a = src.a + dst.a * (1 - src.a);
    if (a <= 0) return Rgba{dst.r, dst.g, dst.b, 0};
    float kd = dst.a * (1 - src.a);
    return Rgba{(src.r * src.a + dst.r * kd) / a, (src.g * src.a + dst.g * kd) / a,
                (src.b * src.a + dst.b * kd) / a, a};
}

void Canvas::paint(const std::function<float(float, float)>& cover,
                   const std::function<Rgba(float, float)>& colour) {
    for (int y = 0; y < m_h; ++y) {
        for (int x = 0; x < m_w; ++x) {
            float fx = x + 0.5f, fy = y + 0.5f;
            float c = cover(fx, fy);
            if (c <= 0) continue;
            Rgba s = colour(fx, fy);
            s.a *= clamp01(c);
            at(x, y) = over(at(x, y), s);
        }
    }
}

void Canvas::paint(const std::function<float(float, float)>& cover, Rgba colour) {
    paint(cover, [&](float, float) { return colour; });
}

void Canvas::draw(const Canvas& src, int ox, int oy) {
    for (int y = 0; y < src.height(); ++y) {
        for (int x = 0; x < src.width(); ++x) {
            int tx = x + ox, ty = y + oy;
            if (tx < 0 || ty < 0 || tx >= m_w || ty >= m_h) continue;
            at(tx, ty) = over(at(tx, ty), src.at(x, y));
        }
    }
}

void Canvas::mask(const std::function<float(float, float)>& f) {
    for (int y = 0; y < m_h; ++y)
        for (int x = 0; x < m_w; ++x) at(x, y).a *= clamp01(f(x + 0.5f, y + 0.5f));
}

void Canvas::bleed() {
    // Grow the painted region one ring of pixels at a time; each clear pixel takes the mean colour
    // of its already coloured neighbours.
    std::vector<char> known(m_px.size());
    size_t left = 0;
    for (size_t i = 0; i < m_px.size(); ++i) {
        known[i] = m_px[i].a > 0;
        if (!known[i]) ++left;
    }
    if (left == m_px.size()) return;
    while (left > 0) {
        std::vector<char> next = known;
        for (int y = 0; y < m_h; ++y) {
            for (int x = 0; x < m_w; ++x) {
                size_t i = static_cast<size_t>(y) * m_w + x;
                if (known[i]) continue;
                float r = 0, g = 0, b = 0;
                int n = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        int nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= m_w || ny >= m_h) continue;
                        size_t j = static_cast<size_t>(ny) * m_w + nx;
                        if (!known[j]) continue;
                        r += m_px[j].r;
                        g += m_px[j].g;
                        b += m_px[j].b;
                        ++n;
                    }
                }
                if (n == 0) continue;
                m_px[i] = Rgba{r / n, g / n, b / n, 0};
                next[i] = 1;
                --left;
            }
        }
        known.swap(next);
    }
}

Rgba Canvas::sample(float s, float t) const {
    float fx = s * m_w - 0.5f;
    float fy = (1 - t) * m_h - 0.5f;
    int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    float kx = fx - x0, ky = fy - y0;
    auto px = [&](int x, int y) -> const Rgba& {
        x = std::clamp(x, 0, m_w - 1);
        y = std::clamp(y, 0, m_h - 1);
        return at(x, y);
    };
    // Interpolate premultiplied colour so clear texels do not tint their neighbours.
    Rgba acc;
    const float w[4] = {(1 - kx) * (1 - ky), kx * (1 - ky), (1 - kx) * ky, kx * ky};
    const Rgba* p[4] = {&px(x0, y0), &px(x0 + 1, y0), &px(x0, y0 + 1), &px(x0 + 1, y0 + 1)};
    for (int i = 0; i < 4; ++i) {
        acc.r += p[i]->r * p[i]->a * w[i];
        acc.g += p[i]->g * p[i]->a * w[i];
        acc.b += p[i]->b * p[i]->a * w[i];
        acc.a += p[i]->a * w[i];
    }
    if (acc.a > 0) {
        acc.r /= acc.a;
        acc.g /= acc.a;
        acc.b /= acc.a;
    }
    return acc;
}

bool Canvas::write_tga(const std::string& path, bool with_alpha) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    unsigned char header[18] = {0};
    header[2] = 2;  // uncompressed true colour
    header[12] = static_cast<unsigned char>(m_w & 0xff);
    header[13] = static_cast<unsigned char>(m_w >> 8);
    header[14] = static_cast<unsigned char>(m_h & 0xff);
    header[15] = static_cast<unsigned char>(m_h >> 8);
    header[16] = with_alpha ? 32 : 24;
    header[17] = with_alpha ? 8 : 0;  // alpha bits; origin bit clear: rows go bottom-up
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
    int bpp = with_alpha ? 4 : 3;
    std::vector<unsigned char> row(static_cast<size_t>(m_w) * bpp);
    auto byte = [](float v) {
        return static_cast<unsigned char>(std::lround(clamp01(v) * 255.0f));
    };
    for (int y = m_h - 1; y >= 0 && ok; --y) {
        for (int x = 0; x < m_w; ++x) {
            const Rgba& p = at(x, y);
            unsigned char* o = &row[static_cast<size_t>(x) * bpp];
            o[0] = byte(p.b);
            o[1] = byte(p.g);
            o[2] = byte(p.r);
            if (with_alpha) o[3] = byte(p.a);
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}
