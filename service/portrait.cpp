// Generated portraits: pixels computed from a uid hash, encoded with libjpeg's compression API.
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
    // A final mix, so neighbouring numbers get unrelated patterns.
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

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

Rgb mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Encodes tightly packed RGB rows into a JPEG held in memory.
std::string encode_jpeg(const std::vector<unsigned char>& rgb, int w, int h) {
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
        JSAMPROW row = const_cast<unsigned char*>(&rgb[cinfo.next_scanline * w * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string bytes(reinterpret_cast<char*>(out), size);
    std::free(out);
    return bytes;
}

void put(std::vector<unsigned char>& rgb, int w, int x, int y, Rgb c) {
    auto clamp = [](float v) {
        return static_cast<unsigned char>(v <= 0 ? 0 : v >= 1 ? 255 : v * 255.0f + 0.5f);
    };
    size_t at = (static_cast<size_t>(y) * w + x) * 3;
    rgb[at] = clamp(c.r);
    rgb[at + 1] = clamp(c.g);
    rgb[at + 2] = clamp(c.b);
}

}  // namespace

std::string make_portrait_jpeg(const std::string& uid, bool square) {
    std::uint32_t h = hash_uid(uid);
    float hue = (h & 0xffff) / 65536.0f;
    Rgb light = from_hsv(hue, 0.18f, 0.97f);
    Rgb mid = from_hsv(hue, 0.45f, 0.85f);
    Rgb deep = from_hsv(hue + 0.04f, 0.75f, 0.55f);
    Rgb accent = from_hsv(hue + 0.5f, 0.55f, 0.80f);

    if (!square) {
        // A 5 x 5 block pattern mirrored left to right, in a frame, on a top-to-bottom gradient.
        const int w = 100, ht = 125, cell = 14, left = (w - 5 * cell) / 2, top = 26;
        std::vector<unsigned char> rgb(static_cast<size_t>(w) * ht * 3);
        std::uint32_t bits = h >> 8;
        for (int y = 0; y < ht; ++y) {
            for (int x = 0; x < w; ++x) {
                Rgb c = mix(light, mid, static_cast<float>(y) / ht);
                int cx = (x - left) / cell, cy = (y - top) / cell;
                if (x >= left && y >= top && cx < 5 && cy < 5) {
                    int col = cx < 3 ? cx : 4 - cx;  // mirror
                    bool on = (bits >> (cy * 3 + col)) & 1u;
                    int fx = (x - left) % cell, fy = (y - top) % cell;
                    bool edge = fx == 0 || fy == 0;  // a thin seam between blocks
                    if (on && !edge) c = mix(deep, accent, static_cast<float>(cy) / 8.0f);
                }
                put(rgb, w, x, y, c);
            }
        }
        return encode_jpeg(rgb, w, ht);
    }

    // Concentric rings around the centre with a diamond whose size comes from the uid.
    const int s = 50;
    std::vector<unsigned char> rgb(static_cast<size_t>(s) * s * 3);
    float ring = 4.0f + (h >> 20) % 5;
    float diamond = 8.0f + (h >> 12) % 8;
    for (int y = 0; y < s; ++y) {
        for (int x = 0; x < s; ++x) {
            float dx = x - (s - 1) / 2.0f, dy = y - (s - 1) / 2.0f;
            float r = std::sqrt(dx * dx + dy * dy);
            float wave = 0.5f + 0.5f * std::cos(r / ring * 3.14159265f);
            Rgb c = mix(mid, light, wave);
            if (std::fabs(dx) + std::fabs(dy) < diamond) c = mix(deep, accent, wave * 0.5f);
            put(rgb, s, x, y, c);
        }
    }
    return encode_jpeg(rgb, s, s);
}
