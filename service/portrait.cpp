// Generated portraits: a face drawn shape by shape in a unit square (x right, y down, the head
// in the middle), sampled four by four per pixel for smooth edges, then encoded with libjpeg.
#include "service/portrait.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

struct Rgb {
    float r, g, b;
};

std::uint32_t hash_uid(const std::string& uid) {
    std::uint32_t h = 2166136261u;  // FNV-1a, stable across runs
    for (char c : uid) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    // A final mix, so neighbouring numbers get unrelated faces.
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

// splitmix64 from the uid's hash: one independent draw per trait.
struct Draws {
    std::uint64_t s;
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    float unit() { return static_cast<float>(next() >> 40) / 16777216.0f; }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
};

Rgb from_hsv(float h, float s, float v) {
    h = std::fmod(h, 1.0f) * 6.0f;
    int i = static_cast<int>(h);
    float f = h - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i % 6) {
        case 0:
            return {v, t, p};
        case 1:
            return {q, v, p};
        case 2:
            return {p, v, t};
        case 3:
            return {p, q, v};
        case 4:
            return {t, p, v};
        default:
            return {v, p, q};
    }
}

Rgb rgb(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }
Rgb mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb scale(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }

// ((x - cx) / rx)^2 + ((y - cy) / ry)^2: below 1 inside the ellipse.
float ellipse(float x, float y, float cx, float cy, float rx, float ry) {
    const float dx = (x - cx) / rx, dy = (y - cy) / ry;
    return dx * dx + dy * dy;
}

enum Hair { kShort, kLong, kBun, kCurly, kBald, kSwept };

// Everything that tells one person from another.
struct Face {
    Rgb background, background_edge, skin, hair, shirt, eyes, lips, frame;
    Hair hair_style;
    bool glasses, beard;
    float head_width, smile;
};

Face face_of(const std::string& uid) {
    Draws d{hash_uid(uid)};
    static const Rgb kSkins[] = {rgb(255, 224, 196), rgb(247, 206, 170), rgb(234, 186, 146),
                                 rgb(214, 160, 118), rgb(189, 134, 94),  rgb(160, 106, 70),
                                 rgb(124, 80, 52),   rgb(92, 58, 38)};
    static const Rgb kHair[] = {rgb(28, 22, 20),    rgb(58, 38, 28),    rgb(96, 62, 38),
                                rgb(140, 92, 52),   rgb(168, 76, 36),   rgb(214, 172, 96),
                                rgb(236, 208, 140), rgb(178, 178, 178), rgb(70, 70, 78)};
    static const Rgb kEyes[] = {rgb(60, 40, 26), rgb(40, 70, 110), rgb(60, 90, 50),
                                rgb(30, 24, 20)};
    Face f;
    const float hue = d.unit();
    f.background = from_hsv(hue, 0.32f + 0.2f * d.unit(), 0.92f);
    f.background_edge = from_hsv(hue + 0.03f, 0.5f, 0.7f);
    f.skin = kSkins[d.below(8)];
    f.hair = kHair[d.below(9)];
    if (d.below(16) == 0) f.hair = from_hsv(d.unit(), 0.6f, 0.75f);  // dyed
    // Hair close to the skin's lightness would melt into the face.
    auto light = [](Rgb c) { return 0.3f * c.r + 0.59f * c.g + 0.11f * c.b; };
    if (std::fabs(light(f.hair) - light(f.skin)) < 0.15f)
        f.hair = light(f.skin) > 0.5f ? scale(f.hair, 0.5f) : mix(f.hair, rgb(235, 225, 210), 0.6f);
    f.shirt = from_hsv(d.unit(), 0.35f + 0.45f * d.unit(), 0.35f + 0.5f * d.unit());
    f.eyes = kEyes[d.below(4)];
    f.lips = mix(f.skin, rgb(150, 50, 60), 0.55f);
    f.frame = d.below(3) == 0 ? rgb(120, 70, 30) : rgb(25, 25, 30);
    f.hair_style = static_cast<Hair>(d.below(6));
    f.glasses = d.below(4) == 0;
    f.beard = f.hair_style != kLong && f.hair_style != kBun && d.below(5) == 0;
    f.head_width = 0.18f + 0.04f * d.unit();
    f.smile = 0.6f + 0.4f * d.unit();
    return f;
}

// The colour at (x, y) of the unit square, painted back to front.
Rgb paint(const Face& f, float x, float y) {
    const float hx = 0.5f, hy = 0.47f, hw = f.head_width, hh = 0.25f;
    // Background: a soft light behind the head.
    Rgb c =
        mix(f.background, f.background_edge, std::min(1.0f, ellipse(x, y, 0.5f, 0.4f, 0.8f, 0.8f)));

    // Hair behind the head.
    const bool hair_back =
        (f.hair_style == kLong && ellipse(x, y, hx, hy + 0.1f, hw + 0.1f, 0.38f) < 1) ||
        (f.hair_style == kCurly && ellipse(x, y, hx, hy - 0.06f, hw + 0.13f, 0.32f) < 1) ||
        (f.hair_style == kBun && ellipse(x, y, hx, hy - 0.3f, 0.09f, 0.08f) < 1);
    if (hair_back) c = scale(f.hair, 0.85f);

    // Shoulders in a shirt, with the neck above the collar.
    if (ellipse(x, y, 0.5f, 1.1f, 0.44f, 0.36f) < 1) {
        c = mix(f.shirt, scale(f.shirt, 0.8f), (y - 0.75f) * 2.0f);
        if (std::fabs(x - 0.5f) < 0.09f - (y - 0.76f) * 0.6f && y < 0.9f) c = scale(f.skin, 0.9f);
    }
    if (f.hair_style == kLong && ellipse(x, y, hx, hy + 0.1f, hw + 0.1f, 0.38f) < 1 && y > 0.74f)
        c = scale(f.hair, 0.85f);  // falling over the shoulders
    if (std::fabs(x - 0.5f) < 0.065f && y > hy + 0.12f && y < 0.8f) c = scale(f.skin, 0.88f);

    // Ears, then the head, lit from above.
    if (ellipse(x, y, hx - hw, hy + 0.01f, 0.035f, 0.055f) < 1 ||
        ellipse(x, y, hx + hw, hy + 0.01f, 0.035f, 0.055f) < 1)
        c = scale(f.skin, 0.92f);
    const float head = ellipse(x, y, hx, hy, hw, hh);
    const bool in_head = head < 1;
    if (in_head) c = mix(f.skin, scale(f.skin, 0.9f), std::max(0.0f, (y - hy) * 3.0f));

    // Hair on top of the head.
    const float crown = ellipse(x, y, hx, hy - 0.015f, hw + 0.025f, hh + 0.03f);
    bool hair_front = false;
    switch (f.hair_style) {
        case kShort:
        case kLong:
        case kCurly:
            hair_front = crown < 1 && (y < hy - 0.11f + 0.02f * std::cos((x - hx) * 30.0f) ||
                                       (std::fabs(x - hx) > hw * 0.82f && y < hy + 0.02f));
            break;
        case kBun:
            hair_front = crown < 1 && y < hy - 0.12f;
            break;
        case kSwept:
            hair_front = crown < 1 && (y < hy - 0.15f + 0.14f * (x - hx + hw) / (2 * hw) ||
                                       (std::fabs(x - hx) > hw * 0.85f && y < hy));
            break;
        case kBald:
            hair_front =
                crown < 1 && std::fabs(x - hx) > hw * 0.86f && y > hy - 0.06f && y < hy + 0.01f;
            break;
    }
    if (hair_front) c = f.hair;
    if (!in_head) return c;

    // Brows, eyes with a glint, nose, cheeks, mouth.
    const float ex = hw * 0.45f, ey = hy - 0.01f;
    for (float side : {-1.0f, 1.0f}) {
        const float cx = hx + side * ex;
        if (std::fabs(x - cx) < 0.045f &&
            std::fabs(y - (ey - 0.05f) + side * (x - cx) * 0.15f) < 0.008f)
            c = scale(f.hair, 0.9f);
        if (ellipse(x, y, cx, ey, 0.024f, 0.028f) < 1) c = f.eyes;
        if (ellipse(x, y, cx + 0.008f, ey - 0.009f, 0.007f, 0.007f) < 1) c = rgb(250, 250, 250);
        if (ellipse(x, y, cx, ey + 0.07f, 0.035f, 0.02f) < 1) c = mix(c, rgb(230, 110, 110), 0.18f);
    }
    if (ellipse(x, y, hx, hy + 0.06f, 0.018f, 0.03f) < 1 && x > hx) c = scale(c, 0.9f);
    const float mouth = ellipse(x, y, hx, hy + 0.09f, 0.075f, 0.05f * f.smile);
    if (mouth < 1 && mouth > 0.55f && y > hy + 0.1f) c = f.lips;

    if (f.beard) {
        // Round the mouth, along the jaw and over the chin; the lips stay clear.
        const bool jaw = y > hy + 0.04f && ellipse(x, y, hx, hy + 0.09f, 0.1f, 0.075f) > 1;
        const bool moustache = ellipse(x, y, hx, hy + 0.085f, 0.065f, 0.018f) < 1;
        if ((jaw || moustache) && !(mouth < 1 && mouth > 0.55f && y > hy + 0.1f))
            c = scale(f.hair, 0.95f);
    }
    if (f.glasses) {
        for (float side : {-1.0f, 1.0f}) {
            const float r = std::sqrt(ellipse(x, y, hx + side * ex, ey, 0.055f, 0.045f));
            if (r > 0.84f && r < 1.0f) c = f.frame;
        }
        if (std::fabs(y - ey) < 0.006f && std::fabs(x - hx) < ex - 0.05f) c = f.frame;
    }
    return c;
}

// Encodes tightly packed RGB rows into a JPEG held in memory.
std::string encode_jpeg(const std::vector<unsigned char>& rgb_rows, int w, int h) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 88, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(&rgb_rows[cinfo.next_scanline * w * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string bytes(reinterpret_cast<char*>(out), size);
    std::free(out);
    return bytes;
}

unsigned char to_byte(float v) {
    return static_cast<unsigned char>(v <= 0 ? 0 : v >= 1 ? 255 : v * 255.0f + 0.5f);
}

}  // namespace

std::string make_portrait_jpeg(const std::string& uid, bool square) {
    const Face f = face_of(uid);
    // The tall portrait shows the square's view with more room above and below; the square
    // is a closer crop around the face.
    const int w = square ? 50 : 100, h = square ? 50 : 125;
    const float x0 = square ? 0.14f : 0.0f, span = square ? 0.72f : 1.0f;
    const float y0 = square ? 0.13f : -0.16f;
    // Samples per pixel side: four samples smooth the edges of faces shown at most a few dozen
    // pixels wide, and cost a quarter of sixteen, which the service of a 5,000-friend network
    // felt (a portrait for each of 5,000 friends, made while the globe was drawn on the same two
    // cores).
    const int n = 2;
    std::vector<unsigned char> rows(static_cast<size_t>(w) * h * 3);
    for (int py = 0; py < h; ++py) {
        for (int px = 0; px < w; ++px) {
            Rgb sum{0, 0, 0};
            for (int sy = 0; sy < n; ++sy)
                for (int sx = 0; sx < n; ++sx) {
                    const float x = x0 + (px + (sx + 0.5f) / n) / w * span;
                    const float y = y0 + (py + (sy + 0.5f) / n) / w * span;
                    const Rgb c = paint(f, x, y);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                }
            const size_t at = (static_cast<size_t>(py) * w + px) * 3;
            rows[at] = to_byte(sum.r / (n * n));
            rows[at + 1] = to_byte(sum.g / (n * n));
            rows[at + 2] = to_byte(sum.b / (n * n));
        }
    }
    return encode_jpeg(rows, w, h);
}
