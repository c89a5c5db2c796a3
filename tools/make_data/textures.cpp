// The pictures of data/config. Each one is drawn for the way the program shows it: its size on
// screen, its tint (most are tinted by a theme colour, so they are drawn white or light grey and
// carry their shape in alpha), and which part of it is sampled.
#include "textures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "font.h"

namespace {

constexpr float kPi = 3.14159265f;
const Rgba kWhite = rgba(1, 1, 1, 1);
// Dark glass under the tinted controls: multiplied by a light tint it stays a dark veil.
const Rgba kGlass = rgba(0.05f, 0.08f, 0.12f, 0.55f);

float deg(float d) { return d * kPi / 180.0f; }

// Coverage of the lines where f(x, y) is a multiple of period, half_width pixels wide; the
// screen-space gradient of f (by central differences) turns the value distance into pixels.
// wrap > 0 makes differences of f periodic (for angles).
template <typename F>
float iso_lines(F f, float x, float y, float period, float half_width, float wrap = 0) {
    auto diff = [&](float a, float b) {
        float d = a - b;
        if (wrap > 0) d = std::remainder(d, wrap);
        return d / period;
    };
    float v = f(x, y) / period;
    float gx = diff(f(x + 0.5f, y), f(x - 0.5f, y));
    float gy = diff(f(x, y + 0.5f), f(x, y - 0.5f));
    float g = std::max(std::hypot(gx, gy), 1e-6f);
    float d = std::fabs(v - std::round(v)) / g;
    return coverage(d - half_width);
}

// A soft halo: a Gaussian of the distance d (pixels) outside a shape.
float halo(float d, float spread) {
    if (d < 0) return 1;
    return std::exp(-(d * d) / (spread * spread));
}

// Box blur of the alpha channel (colour kept), used for text shadows.
void blur_alpha(Canvas& c, int radius) {
    for (int pass = 0; pass < 2; ++pass) {
        Canvas src = c;
        for (int y = 0; y < c.height(); ++y) {
            for (int x = 0; x < c.width(); ++x) {
                float sum = 0;
                int n = 0;
                for (int k = -radius; k <= radius; ++k) {
                    int sx = pass == 0 ? x + k : x, sy = pass == 0 ? y : y + k;
                    if (sx < 0 || sy < 0 || sx >= c.width() || sy >= c.height()) {
                        ++n;
                        continue;
                    }
                    sum += src.at(sx, sy).a;
                    ++n;
                }
                c.at(x, y).a = sum / n;
            }
        }
    }
}

// The outline of the orb of the product logo: a point of the visible hemisphere for a picture
// point, with the globe turned so its pole leans towards the viewer.
struct Orb {
    float cx, cy, r;
    float tilt = deg(-24), spin = deg(18);
    bool point(float x, float y, float& lat, float& lon, float& nz) const {
        float dx = (x - cx) / r, dy = (cy - y) / r;
        float q = dx * dx + dy * dy;
        if (q >= 1) return false;
        nz = std::sqrt(1 - q);
        // Turn about x (tilt), then about y (spin).
        float y1 = dy * std::cos(tilt) - nz * std::sin(tilt);
        float z1 = dy * std::sin(tilt) + nz * std::cos(tilt);
        float x2 = dx * std::cos(spin) + z1 * std::sin(spin);
        float z2 = -dx * std::sin(spin) + z1 * std::cos(spin);
        lat = std::asin(std::clamp(y1, -1.0f, 1.0f)) * 180 / kPi;
        lon = std::atan2(x2, z2) * 180 / kPi;
        return true;
    }
    // Picture position of a point given by latitude and longitude (degrees); false if it faces
    // away.
    bool project(float lat, float lon, float& x, float& y) const {
        float la = deg(lat), lo = deg(lon);
        float x2 = std::cos(la) * std::sin(lo), y1 = std::sin(la), z2 = std::cos(la) * std::cos(lo);
        // Undo the spin, then the tilt.
        float dx = x2 * std::cos(spin) - z2 * std::sin(spin);
        float z1 = x2 * std::sin(spin) + z2 * std::cos(spin);
        float dy = y1 * std::cos(tilt) + z1 * std::sin(tilt);
        float nz = -y1 * std::sin(tilt) + z1 * std::cos(tilt);
        x = cx + dx * r;
        y = cy - dy * r;
        return nz > 0.05f;
    }
};

// A glowing line of dots from a to b, like the friendship lines of the globe.
void dotted_glow_line(Canvas& c, float ax, float ay, float bx, float by, float step, float dot_r,
                      Rgba colour) {
    float len = std::hypot(bx - ax, by - ay);
    int n = std::max(1, static_cast<int>(len / step));
    c.paint(
        [&](float x, float y) { return coverage(sd_segment(x, y, ax, ay, bx, by, 0.45f)) * 0.35f; },
        colour);
    for (int k = 1; k < n; ++k) {
        float t = static_cast<float>(k) / n;
        float px = ax + (bx - ax) * t, py = ay + (by - ay) * t;
        c.paint(
            [&](float x, float y) {
                float d = sd_circle(x, y, px, py, dot_r);
                return std::max(coverage(d), 0.5f * halo(d, dot_r * 1.6f));
            },
            colour);
    }
}

}  // namespace

// --- the product logo ----------------------------------------------------------------------
// 128 x 128, shown at 130 x 130 in the top-left corner over the top bar and the scene: a small
// friend globe (a lit orb with a graticule and glowing dotted friendship lines) and the "nimbra"
// wordmark. The user's own thumbnail (64 pixels, 25 below the top edge, at the left edge) is
// drawn over the logo's upper left, so the orb sits to its right and the wordmark below it.
Canvas make_nimbra_logo() {
    const int n = 128;
    Canvas c(n, n, rgba(0.6f, 0.85f, 1.0f, 0));
    Orb orb{97, 54, 27};

    // Outer glow.
    c.paint(
        [&](float x, float y) {
            float d = sd_circle(x, y, orb.cx, orb.cy, orb.r);
            return d > 0 ? 0.55f * halo(d, 6.0f) : 0.0f;
        },
        rgba(0.35f, 0.7f, 1.0f));

    // The lit body: light from the upper left, a deep navy limb.
    c.paint([&](float x, float y) { return coverage(sd_circle(x, y, orb.cx, orb.cy, orb.r)); },
            [&](float x, float y) {
                float dx = (x - orb.cx) / orb.r, dy = (orb.cy - y) / orb.r;
                float nz = std::sqrt(std::max(0.0f, 1 - dx * dx - dy * dy));
                float lx = -0.45f, ly = 0.55f, lz = 0.70f;
                float diffuse = std::max(0.0f, dx * lx + dy * ly + nz * lz);
                Rgba deep = rgba(0.02f, 0.06f, 0.20f), lit = rgba(0.16f, 0.46f, 0.86f);
                Rgba col = mix(deep, lit, diffuse);
                // Rim light on the far side, as if the scene's glow lit it from behind.
                float rim = std::pow(1 - nz, 3.0f) * 0.8f;
                return mix(col, rgba(0.35f, 0.8f, 1.0f), rim * 0.6f);
            });

    // Graticule: parallels and meridians every 30 degrees, fading towards the limb.
    c.paint(
        [&](float x, float y) {
            float lat, lon, nz;
            if (!orb.point(x, y, lat, lon, nz)) return 0.0f;
            auto flat = [&](float px, float py) {
                float a = 0, o = 0, z = 0;
                orb.point(px, py, a, o, z);
                return a;
            };
            auto flon = [&](float px, float py) {
                float a = 0, o = 0, z = 0;
                orb.point(px, py, a, o, z);
                return o;
            };
            float l1 = iso_lines(flat, x, y, 30, 0.35f);
            float l2 = std::fabs(lat) < 80 ? iso_lines(flon, x, y, 30, 0.35f, 360) : 0.0f;
            float edge = coverage(sd_circle(x, y, orb.cx, orb.cy, orb.r - 1));
            return std::max(l1, l2) * (0.25f + 0.45f * nz) * edge;
        },
        rgba(0.55f, 0.85f, 1.0f));

    // Friends on the front of the orb and the dotted lines between them.
    struct Node {
        float lat, lon;
    };
    const Node nodes[] = {{38, -40}, {52, 18}, {20, 42},   {-8, -12},
                          {-30, 30}, {6, -62}, {-42, -30}, {28, -8}};
    const int edges[][2] = {{0, 1}, {1, 2}, {0, 7}, {7, 3}, {3, 2}, {3, 4},
                            {5, 3}, {5, 0}, {3, 6}, {7, 1}, {4, 6}};
    float px[8], py[8];
    for (int i = 0; i < 8; ++i) orb.project(nodes[i].lat, nodes[i].lon, px[i], py[i]);
    for (const auto& e : edges)
        dotted_glow_line(c, px[e[0]], py[e[0]], px[e[1]], py[e[1]], 2.6f, 0.5f,
                         rgba(0.6f, 0.92f, 1.0f, 0.95f));
    for (int i = 0; i < 8; ++i) {
        float r = i == 3 ? 2.6f : 1.8f;  // the user, at the centre of the network, is larger
        c.paint(
            [&](float x, float y) {
                float d = sd_circle(x, y, px[i], py[i], r);
                return std::max(coverage(d), 0.7f * halo(d, r * 1.8f));
            },
            i == 3 ? rgba(1, 1, 1) : rgba(0.85f, 0.97f, 1.0f));
    }

    // Specular highlight.
    c.paint(
        [&](float x, float y) {
            float d = std::hypot((x - (orb.cx - 11)) / 1.3f, y - (orb.cy - 13));
            return 0.28f * (1 - smoothstep(0, 10, d)) *
                   coverage(sd_circle(x, y, orb.cx, orb.cy, orb.r));
        },
        kWhite);

    // Wordmark with a soft dark shadow, readable over the bar and over the globe alike.
    Font font(dejavu("DejaVuSans-Bold.ttf"));
    font.set_pixel_size(30);
    const std::string word = "nimbra";
    const float spacing = 0.5f;
    float w = font.measure(word, spacing);
    float x0 = std::min(4.0f, n - w), base = 120;
    Canvas shadow(n, n, rgba(0, 0.02f, 0.06f, 0));
    font.draw(shadow, word, x0, base + 1, rgba(0, 0.02f, 0.06f, 1), spacing);
    blur_alpha(shadow, 2);
    shadow.mask([](float, float) { return 0.85f; });
    c.draw(shadow);
    font.draw(c, word, x0, base, kWhite, spacing);
    c.bleed();
    return c;
}

// --- the maker logo -------------------------------------------------------------------------
// 128 x 128 shown at 130 x 130 with only its top 26 pixels on screen, white at alpha 0.1 (0.25
// under the pointer): a small emblem and the "korvel" wordmark fill that strip; the rest of the
// picture lies below the window and stays clear.
Canvas make_korvel_logo() {
    const int n = 128;
    Canvas c(n, n, rgba(1, 1, 1, 0));
    // Emblem: a ring with a notch and a centre dot, a k-less mark that reads at any alpha.
    const float ex = 14, ey = 13.5f;
    c.paint(
        [&](float x, float y) {
            float ring = std::fabs(sd_circle(x, y, ex, ey, 8.2f)) - 1.6f;
            float dot = sd_circle(x, y, ex, ey, 2.6f);
            float notch = sd_segment(x, y, ex + 3.5f, ey - 3.5f, ex + 11, ey - 11, 1.9f);
            return std::max(coverage(std::min(ring, dot)) * (notch < 0 ? 0.0f : coverage(-notch)),
                            coverage(dot));
        },
        kWhite);
    Font font(dejavu("DejaVuSans-Bold.ttf"));
    font.set_pixel_size(21);
    font.draw(c, "korvel", 28, 20.5f, kWhite, 1.2f);
    c.bleed();
    return c;
}

// --- the dial's globe -----------------------------------------------------------------------
// 128 x 128, opaque, repeated on the six faces of a cube-sphere of radius 40 pixels and lit.
// Everything is symmetric under the square's turns and mirrors, so the faces meet seamlessly
// whatever their orientation: a blue face, a graticule of quarter lines whose border lines are
// half lines (two faces make a whole one), and a little network of five friends.
Canvas make_sphere_button() {
    const int n = 128;
    Canvas c(n, n, rgba(0.1f, 0.25f, 0.5f, 1));
    const float h = n / 2.0f;
    c.paint([](float, float) { return 1.0f; },
            [&](float x, float y) {
                float r = std::hypot(x - h, y - h) / h;  // 0 in the middle, 1.41 at the corners
                return mix(rgba(0.22f, 0.46f, 0.82f), rgba(0.10f, 0.25f, 0.55f),
                           smoothstep(0, 1.45f, r));
            });
    // Graticule.
    c.paint(
        [&](float x, float y) {
            float lx = iso_lines([](float px, float) { return px; }, x, y, n / 4.0f, 0.9f);
            float ly = iso_lines([](float, float py) { return py; }, x, y, n / 4.0f, 0.9f);
            return std::max(lx, ly) * 0.55f;
        },
        rgba(0.6f, 0.85f, 1.0f));
    // Network: the centre joined to the four quarter points.
    const float q = n / 4.0f;
    const float pts[5][2] = {{h, h}, {q, q}, {n - q, q}, {q, n - q}, {n - q, n - q}};
    for (int i = 1; i < 5; ++i)
        c.paint(
            [&](float x, float y) {
                float d = sd_segment(x, y, pts[0][0], pts[0][1], pts[i][0], pts[i][1], 1.1f);
                return std::max(coverage(d), 0.45f * halo(d, 3.0f));
            },
            rgba(0.75f, 0.95f, 1.0f));
    for (int i = 0; i < 5; ++i) {
        float r = i == 0 ? 6.0f : 4.5f;
        c.paint(
            [&](float x, float y) {
                float d = sd_circle(x, y, pts[i][0], pts[i][1], r);
                return std::max(coverage(d), 0.6f * halo(d, 5.0f));
            },
            kWhite);
    }
    return c;
}

// --- the glow of a friendship dot -------------------------------------------------------------
// 64 x 64, white; alpha is a bright core in a soft halo that reaches zero before the edge, so
// overlapping dots blend into a smooth glowing line.
Canvas make_billboard_glow() {
    const int n = 64;
    Canvas c(n, n, rgba(1, 1, 1, 0));
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            float r = std::hypot(x + 0.5f - n / 2.0f, y + 0.5f - n / 2.0f) / (n / 2.0f);
            float core = 1 - smoothstep(0.05f, 0.30f, r);
            float glow = 0.55f * std::exp(-(r * r) / (0.42f * 0.42f));
            float fade = 1 - smoothstep(0.62f, 0.97f, r);
            c.at(x, y) = rgba(1, 1, 1, clamp01(core + glow) * fade);
        }
    }
    return c;
}

// --- the locator ball -------------------------------------------------------------------------
// 64 x 64, opaque, on each of the six faces of the ball and tinted by the ball's place on the
// globe: near white with a soft pearl shading, symmetric so the faces meet without seams.
Canvas make_color_ball() {
    const int n = 64;
    Canvas c(n, n, kWhite);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            float u = (x + 0.5f) / n * 2 - 1, v = (y + 0.5f) / n * 2 - 1;
            float r2 = u * u + v * v;  // 0 in the middle, 1 at the edge midpoints, 2 at corners
            float shade = 1.0f - 0.16f * smoothstep(0.1f, 2.0f, r2);
            // A faint ring halfway out gives the ball a little sparkle up close.
            float ring = 0.05f * std::exp(-std::pow((std::sqrt(r2) - 0.55f) / 0.12f, 2.0f));
            float k = std::min(1.0f, shade + ring);
            c.at(x, y) = rgba(k, k, std::min(1.0f, k + 0.01f), 1);
        }
    }
    return c;
}

// --- the locator's card ---------------------------------------------------------------------
// 256 x 256, tinted by the billboard colour; the photo covers the middle 90 % (67.5 % high when
// selected) and the name sits in the bottom strip in the dark text colour, so the card is light.
// NOTE: cards are drawn with blending on or off depending on what was drawn before them (a
// placeholder photo leaves blending on), so the card is opaque, its corners are only slightly
// rounded, and the clear corners carry the rim's colour: both ways it looks the same.
Canvas make_locator() {
    const int n = 256;
    Canvas c(n, n, rgba(0.9f, 0.92f, 0.95f, 0));
    const float h = n / 2.0f;
    auto card = [&](float x, float y) { return sd_round_rect(x, y, h, h, h - 1, h - 1, 9); };
    c.paint([&](float x, float y) { return coverage(card(x, y)); },
            [&](float, float y) {
                float t = y / n;
                return mix(rgba(1, 1, 1, 1), rgba(0.86f, 0.89f, 0.93f, 1),
                           smoothstep(0.1f, 1.0f, t));
            });
    // A crisp rim: a light bevel inside a cool outline.
    c.paint([&](float x, float y) { return coverage(std::fabs(card(x, y) + 1.6f) - 1.6f); },
            rgba(0.55f, 0.64f, 0.76f, 1));
    c.paint([&](float x, float y) { return 0.8f * coverage(std::fabs(card(x, y) + 5) - 1.2f); },
            rgba(1, 1, 1, 1));
    c.bleed();
    return c;
}

// --- the thumbnail frame ----------------------------------------------------------------------
// 128 x 128, shown at 48 to 96 pixels and tinted by the button colour; the photo covers all but
// a 4-pixel border, so the frame is a light rounded card with a recessed photo well that only
// shows while the photo is on its way.
Canvas make_widget() {
    const int n = 128;
    Canvas c(n, n, rgba(0.9f, 0.92f, 0.95f, 0));
    const float h = n / 2.0f;
    auto card = [&](float x, float y) { return sd_round_rect(x, y, h, h, h - 1, h - 1, 14); };
    c.paint([&](float x, float y) { return coverage(card(x, y)); },
            [&](float, float y) {
                return mix(rgba(1, 1, 1, 0.93f), rgba(0.80f, 0.84f, 0.90f, 0.93f), y / n);
            });
    c.paint([&](float x, float y) { return coverage(std::fabs(card(x, y) + 1.5f) - 1.5f); },
            rgba(1, 1, 1, 1));
    // The photo well (4 pixels in at the resting size of 48).
    const float inset = n * 4.0f / 48.0f;
    c.paint([&](float x,
                float y) { return coverage(sd_round_rect(x, y, h, h, h - inset, h - inset, 5)); },
            [&](float, float y) {
                return mix(rgba(0.70f, 0.75f, 0.82f, 0.9f), rgba(0.80f, 0.84f, 0.90f, 0.9f), y / n);
            });
    c.bleed();
    return c;
}

// --- the top bar ------------------------------------------------------------------------------
// 32 x 32, stretched once across the window's width and 32 pixels high, tinted by the bar colour:
// it varies only from top to bottom. A glassy bar: bright upper half, darker lower half, a light
// rim on top and a bright edge line at the bottom.
Canvas make_top_bar() {
    const int n = 32;
    Canvas c(n, n);
    for (int y = 0; y < n; ++y) {
        float fy = y + 0.5f;
        float upper = 1.0f - 0.12f * fy / 16;
        float lower = 0.74f - 0.12f * (fy - 16) / 16;
        float k = upper + (lower - upper) * smoothstep(14.5f, 17.5f, fy);
        float a = 0.92f;
        if (y == 0) {
            k = 1.0f;
            a = 0.95f;
        }
        if (y == n - 2) {
            k = 0.45f;
            a = 0.95f;
        }
        if (y == n - 1) {
            k = 1.0f;
            a = 1.0f;
        }
        for (int x = 0; x < n; ++x) c.at(x, y) = rgba(k, k, k, a);
    }
    return c;
}

// --- the navigation dial's ring -----------------------------------------------------------------
// 128 x 128 for a 112-pixel dial (56 pixels of radius); the inside of radius 40 is clear for the
// globe. The ring turns with the camera's heading: a dark glass band with a bright rim, a scale of
// ticks every 10 degrees (long ones every 30) and a north marker.
Canvas make_dial() {
    const int n = 128;
    Canvas c(n, n, rgba(1, 1, 1, 0));
    const float h = n / 2.0f, k = h / 56.0f;  // pixels per dial unit
    auto rad = [&](float x, float y) { return std::hypot(x - h, y - h) / k; };
    auto px = [&](float units) { return units * k; };
    // Band.
    c.paint(
        [&](float x, float y) {
            float r = rad(x, y);
            return coverage(px(std::max(41.0f - r, r - 55.5f)));
        },
        [&](float x, float y) {
            float r = rad(x, y);
            Rgba g = kGlass;
            g.a = 0.45f + 0.2f * smoothstep(41, 55, r);
            return g;
        });
    // Rims.
    c.paint([&](float x, float y) { return coverage(px(std::fabs(rad(x, y) - 54.8f) - 0.75f)); },
            rgba(1, 1, 1, 0.95f));
    c.paint([&](float x, float y) { return coverage(px(std::fabs(rad(x, y) - 41.7f) - 0.5f)); },
            rgba(1, 1, 1, 0.55f));
    // Ticks.
    for (int i = 0; i < 36; ++i) {
        if (i % 9 == 0) continue;  // the cardinal points get markers instead
        bool major = i % 3 == 0;
        float a = deg(i * 10.0f);
        float r0 = major ? 47.5f : 50.5f, r1 = 53.2f;
        float sx = std::sin(a), sy = -std::cos(a);
        c.paint(
            [&](float x, float y) {
                return coverage(sd_segment(x, y, h + px(r0) * sx, h + px(r0) * sy, h + px(r1) * sx,
                                           h + px(r1) * sy, px(major ? 0.8f : 0.5f)));
            },
            rgba(1, 1, 1, major ? 0.95f : 0.55f));
    }
    // Cardinal markers: a large arrowhead at the top, small ones elsewhere.
    for (int i = 0; i < 4; ++i) {
        float a = deg(i * 90.0f);
        float sx = std::sin(a), sy = -std::cos(a), tx = std::cos(a), ty = std::sin(a);
        float tip = i == 0 ? 54.0f : 53.5f, base = i == 0 ? 44.0f : 47.5f, w = i == 0 ? 5.5f : 3.2f;
        c.paint(
            [&](float x, float y) {
                return coverage(
                    sd_triangle(x, y, h + px(tip) * sx, h + px(tip) * sy,
                                h + px(base) * sx + px(w) * tx, h + px(base) * sy + px(w) * ty,
                                h + px(base) * sx - px(w) * tx, h + px(base) * sy - px(w) * ty));
            },
            rgba(1, 1, 1, i == 0 ? 1.0f : 0.85f));
    }
    c.bleed();
    return c;
}

// --- the rotate buttons -----------------------------------------------------------------------
// 64 x 64 each, shown at 28 x 28 and tinted by the dial colours: a dark glass disc with a bright
// rim and a white symbol. Turning one way is a counter-clockwise arrow, the other way its mirror
// image; jumping from person to person is an arrow leaping from one friend to another.
Canvas make_rotate_button(int kind) {
    const int n = 64;
    Canvas c(n, n, rgba(1, 1, 1, 0));
    const float h = n / 2.0f;
    c.paint([&](float x, float y) { return coverage(sd_circle(x, y, h, h, 30.5f)); },
            [&](float x, float y) {
                Rgba g = kGlass;
                g.a = 0.5f + 0.2f * std::hypot(x - h, y - h) / 30.5f;
                return g;
            });
    c.paint(
        [&](float x, float y) { return coverage(std::fabs(sd_circle(x, y, h, h, 28.8f)) - 1.5f); },
        rgba(1, 1, 1, 0.95f));

    const float stroke = 2.6f;
    // An arrowhead at point (ex, ey) of a stroke (picture coordinates, y down), pointing along
    // the unit direction (tx, ty).
    auto arrowhead = [&](float x, float y, float ex, float ey, float tx, float ty, float size) {
        float nx = -ty, ny = tx;
        return sd_triangle(x, y, ex + tx * size * 1.1f, ey + ty * size * 1.1f,
                           ex + nx * size - tx * size * 0.2f, ey + ny * size - ty * size * 0.2f,
                           ex - nx * size - tx * size * 0.2f, ey - ny * size - ty * size * 0.2f);
    };
    if (kind == 0 || kind == 1) {
        // Counter-clockwise: an open circle from the upper left round to the top, where the
        // arrowhead points left into the gap. Clockwise is its mirror image.
        const float r = 14.5f, a0 = deg(150), a1 = deg(450);
        const float ex = h + r * std::cos(a1), ey = h - r * std::sin(a1);
        auto icon = [&](float x, float y) {
            if (kind == 1) x = n - x;
            float arc = sd_arc(x, y, h, h, r, a0, a1 - deg(12), stroke);
            float tri = arrowhead(x, y, ex, ey, -1, 0, 7.0f);
            return coverage(std::min(arc, tri));
        };
        c.paint(icon, kWhite);
    } else if (kind == 3) {
        // Circles of friends: three rings side by side, each with a friend in the middle.
        const float rr = 7.5f, cy = h + 3.5f;
        const float cx[3] = {h - 10.5f, h + 10.5f, h};
        const float cys[3] = {cy, cy, cy - 14.0f};
        auto icon = [&](float x, float y) {
            float d = 1e9f;
            for (int i = 0; i < 3; ++i) {
                d = std::min(d, std::fabs(sd_circle(x, y, cx[i], cys[i], rr)) - stroke * 0.4f);
                d = std::min(d, sd_circle(x, y, cx[i], cys[i], 2.6f));
            }
            return coverage(d);
        };
        c.paint(icon, kWhite);
    } else {
        // Two friends and an arrow leaping from the left one to the right one.
        const float fy = h + 9, fx0 = h - 14, fx1 = h + 14, rr = 6.0f;
        const float ax = h, ay = h + 7, ar = 14, a0 = deg(38), a1 = deg(160);
        const float ex = ax + ar * std::cos(a0), ey = ay - ar * std::sin(a0);
        // Clockwise travel at a0, in picture coordinates.
        const float tx = std::sin(a0), ty = std::cos(a0);
        auto icon = [&](float x, float y) {
            float friends = std::min(sd_circle(x, y, fx0, fy, rr), sd_circle(x, y, fx1, fy, rr));
            float arc = sd_arc(x, y, ax, ay, ar, a0 + deg(14), a1, stroke * 0.85f);
            float tri = arrowhead(x, y, ex, ey, tx, ty, 7.5f);
            return coverage(std::min(friends, std::min(arc, tri)));
        };
        c.paint(icon, kWhite);
    }
    c.bleed();
    return c;
}

// --- the dock's ruler -------------------------------------------------------------------------
// 16 x 32 per cell: a cell is 16 pixels wide and as tall as its thumbnail plus one (49 to 97
// pixels), repeated down the screen edge and tinted by the button colour. A faint glass strip
// with a continuous track and one tick at the cell's middle, level with its thumbnail's centre.
Canvas make_ruler() {
    const int w = 16, hgt = 32;
    Canvas c(w, hgt, rgba(1, 1, 1, 0));
    c.paint([&](float x, float y) { return coverage(sd_round_rect(x, y, 8, 16, 6, 15, 3)); },
            rgba(0.08f, 0.12f, 0.18f, 0.35f));
    c.paint([&](float x,
                float y) { return coverage(std::fabs(x - 8) - 0.8f) * (y > 0.0f ? 1.0f : 0.0f); },
            rgba(1, 1, 1, 0.45f));
    c.paint([&](float x, float y) { return coverage(sd_segment(x, y, 3.5f, 16, 12.5f, 16, 1.0f)); },
            rgba(1, 1, 1, 0.95f));
    c.bleed();
    return c;
}

// --- the glyph sheet ----------------------------------------------------------------------------
// 512 x 512: 16 x 16 cells of 32 pixels, character c in column c % 16 and row c / 16 counted from
// the top of the picture. Each glyph lies in the LEFT HALF of its cell (the text drawer samples
// only that half, and the lower 95 % of the cell's height); coverage in alpha, white colour.
// DejaVu Sans Mono Bold: monospaced, so every glyph is at home in a fixed advance.
Canvas make_fixed_font() {
    Canvas c(kFontSheet, kFontSheet, rgba(1, 1, 1, 0));
    Font font(dejavu("DejaVuSansMono-Bold.ttf"));
    // 23 pixels to the em gives an advance of 13.8 pixels: the glyphs keep a clear column on
    // either side inside the 16-pixel half cell, so filtering at its edges loses nothing.
    font.set_pixel_size(23.0f);
    const int half = kFontCell / 2;
    const int baseline = kFontCell - 7;  // room for descenders in the lowest rows
    const int top_limit = 2;             // the top rows of a cell are never sampled
    float clipped = 0;
    for (int code = 33; code <= 126; ++code) {
        GlyphBitmap g = font.render(static_cast<unsigned>(code));
        int col = code % 16, row = code / 16;
        int cx = col * kFontCell, cy = row * kFontCell;
        // Centre the advance in the half cell.
        float pen = (half - g.advance) / 2;
        int ox = cx + static_cast<int>(std::lround(pen)) + g.left;
        // Wide glyphs (W, m, &) may overhang their advance by a pixel: nudge them inside.
        ox = std::max(cx + 1, std::min(ox, cx + half - 1 - g.width));
        int oy = cy + baseline - g.top;
        for (int y = 0; y < g.height; ++y) {
            for (int x = 0; x < g.width; ++x) {
                int tx = ox + x, ty = oy + y;
                float a = g.coverage[static_cast<size_t>(y) * g.width + x];
                // Clip to the sampled part of the cell, keeping its outermost columns clear.
                if (tx < cx + 1 || tx >= cx + half - 1 || ty < cy + top_limit ||
                    ty >= cy + kFontCell) {
                    clipped += a;
                    continue;
                }
                Rgba& p = c.at(tx, ty);
                p.a = std::max(p.a, a);
            }
        }
    }
    if (clipped > 0.5f)
        std::fprintf(stderr, "make_data: glyph sheet clips %.1f pixels of ink\n", clipped);
    return c;
}

// --- the placeholder person
// ------------------------------------------------------------------------ 128 x 128, tinted by the
// theme's text colour (dark grey by default) wherever a person has no photo: a translucent
// head-and-shoulders silhouette with an opaque question mark in the head, so after tinting the mark
// is the darkest part. The shoulders fade out at the bottom, where the locator writes the name over
// the picture.
Canvas make_question() {
    const int n = 128;
    Canvas c(n, n, rgba(0.9f, 0.9f, 0.9f, 0));
    const float hx = 64, hy = 47, hr = 27;
    c.paint(
        [&](float x, float y) {
            float head = sd_circle(x, y, hx, hy, hr);
            float body = sd_round_rect(x, y, 64, 134, 50, 50, 44);
            float neck_gap = sd_circle(x, y, hx, hy, hr + 5);  // a clear ring between head and body
            float shoulders = std::max(body, -neck_gap);
            return coverage(std::min(head, shoulders));
        },
        [&](float, float y) {
            return rgba(0.86f, 0.88f, 0.9f, 0.55f * (1 - 0.75f * smoothstep(96, 128, y)));
        });
    Font font(dejavu("DejaVuSans-Bold.ttf"));
    font.set_pixel_size(44);
    GlyphBitmap g = font.render('?');
    float x0 = hx - g.width / 2.0f - g.left, base = hy + g.top - g.height / 2.0f;
    font.draw(c, "?", std::round(x0), std::round(base), kWhite);
    c.bleed();
    return c;
}

const std::vector<TextureRecipe>& texture_recipes() {
    static const std::vector<TextureRecipe> recipes = {
        {"nimbra.tga", make_nimbra_logo},
        {"korvel.tga", make_korvel_logo},
        {"sphere_button.tga", make_sphere_button},
        {"billboard.tga", make_billboard_glow},
        {"color_ball.tga", make_color_ball},
        {"locator.tga", make_locator},
        {"widget.tga", make_widget},
        {"top_bar.tga", make_top_bar},
        {"dial.tga", make_dial},
        {"rot_but_1.tga", [] { return make_rotate_button(0); }},
        {"rot_but_2.tga", [] { return make_rotate_button(1); }},
        {"rot_but_3.tga", [] { return make_rotate_button(2); }},
        {"circles_but.tga", [] { return make_rotate_button(3); }},
        {"ruler.tga", make_ruler},
        {"fixed_font.tga", make_fixed_font},
        {"question.tga", make_question},
    };
    return recipes;
}
