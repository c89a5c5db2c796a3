// A CPU mock-up of the window built from the generated files: a small friend globe (glowing
// dotted lines, tinted balls, cards with photos, placeholders and names in the glyph sheet) and
// the overlay (top bar, logos, dial with its globe, rotate buttons, docks and ruler), one panel
// per theme. It follows the program's placement and tinting closely enough to judge the look.
#include "preview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "canvas.h"
#include "textures.h"
#include "themes.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kW = 800, kH = 500;

// --- reading our own TGA files back ----------------------------------------------------------

std::unique_ptr<Canvas> read_tga(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return nullptr;
    unsigned char h[18];
    std::unique_ptr<Canvas> c;
    if (std::fread(h, 1, 18, f) == 18 && h[2] == 2 && (h[16] == 24 || h[16] == 32)) {
        int w = h[12] | (h[13] << 8), hh = h[14] | (h[15] << 8), bpp = h[16] / 8;
        std::vector<unsigned char> px(static_cast<size_t>(w) * hh * bpp);
        if (std::fread(px.data(), 1, px.size(), f) == px.size()) {
            c = std::make_unique<Canvas>(w, hh);
            for (int y = 0; y < hh; ++y) {
                for (int x = 0; x < w; ++x) {
                    const unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * bpp];
                    // Stored rows go bottom-up; canvas rows top-down.
                    c->at(x, hh - 1 - y) = rgba(p[2] / 255.0f, p[1] / 255.0f, p[0] / 255.0f,
                                                bpp == 4 ? p[3] / 255.0f : 1.0f);
                }
            }
        }
    }
    std::fclose(f);
    return c;
}

// --- drawing in window pixels (origin lower left, y up) --------------------------------------

struct Fog {
    float factor = 1;  // 1: no fog
    Rgba colour;
};

Rgba apply_fog(Rgba c, const Fog& fog) {
    return rgba(fog.colour.r + (c.r - fog.colour.r) * fog.factor,
                fog.colour.g + (c.g - fog.colour.g) * fog.factor,
                fog.colour.b + (c.b - fog.colour.b) * fog.factor, c.a);
}

// Blends one fragment (straight alpha) over the opaque frame at window pixel (x, y).
void put(Canvas& dst, int x, int y, Rgba src, bool blend) {
    if (x < 0 || y < 0 || x >= dst.width() || y >= dst.height()) return;
    Rgba& d = dst.at(x, dst.height() - 1 - y);
    float a = blend ? clamp01(src.a) : 1.0f;
    d = rgba(d.r + (src.r - d.r) * a, d.g + (src.g - d.g) * a, d.b + (src.b - d.b) * a, 1);
}

// A textured parallelogram o + s U + t V (s, t in 0..1), texture window s0..s1, t0..t1, colour
// modulated by tint, supersampled so that minified textures do not shimmer.
void quad(Canvas& dst, const Canvas* tex, float ox, float oy, float ux, float uy, float vx,
          float vy, Rgba tint, bool blend = true, const Fog& fog = Fog(), float s0 = 0,
          float s1 = 1, float t0 = 0, float t1 = 1) {
    float det = ux * vy - uy * vx;
    if (std::fabs(det) < 1e-6f) return;
    float xs[4] = {ox, ox + ux, ox + vx, ox + ux + vx},
          ys[4] = {oy, oy + uy, oy + vy, oy + uy + vy};
    int x0 = static_cast<int>(std::floor(*std::min_element(xs, xs + 4)));
    int x1 = static_cast<int>(std::ceil(*std::max_element(xs, xs + 4)));
    int y0 = static_cast<int>(std::floor(*std::min_element(ys, ys + 4)));
    int y1 = static_cast<int>(std::ceil(*std::max_element(ys, ys + 4)));
    float texels = 1;
    if (tex) {
        float tu = tex->width() * std::fabs(s1 - s0) / std::max(1e-3f, std::hypot(ux, uy));
        float tv = tex->height() * std::fabs(t1 - t0) / std::max(1e-3f, std::hypot(vx, vy));
        texels = std::max(tu, tv);
    }
    int n = std::clamp(static_cast<int>(std::ceil(texels)), 2, 6);
    for (int y = std::max(y0, 0); y < std::min(y1, dst.height()); ++y) {
        for (int x = std::max(x0, 0); x < std::min(x1, dst.width()); ++x) {
            float r = 0, g = 0, b = 0, a = 0, cover = 0;
            for (int j = 0; j < n; ++j) {
                for (int i = 0; i < n; ++i) {
                    float px = x + (i + 0.5f) / n - ox, py = y + (j + 0.5f) / n - oy;
                    float s = (px * vy - py * vx) / det, t = (ux * py - uy * px) / det;
                    if (s < 0 || s > 1 || t < 0 || t > 1) continue;
                    Rgba c = tex ? tex->sample(s0 + s * (s1 - s0), t0 + t * (t1 - t0))
                                 : rgba(1, 1, 1, 1);
                    float ca = c.a * tint.a;
                    r += c.r * tint.r * ca;
                    g += c.g * tint.g * ca;
                    b += c.b * tint.b * ca;
                    a += ca;
                    cover += 1;
                }
            }
            if (cover == 0) continue;
            float k = 1.0f / (n * n);
            Rgba c = a > 0 ? rgba(r / a, g / a, b / a, a * k) : rgba(0, 0, 0, 0);
            if (!blend) c.a = cover * k;  // blending off: the texel colour replaces the frame
            put(dst, x, y, apply_fog(c, fog), true);
        }
    }
}

void rect(Canvas& dst, const Canvas* tex, float l, float r, float b, float t, Rgba tint,
          bool blend = true) {
    quad(dst, tex, l, b, r - l, 0, 0, t - b, tint, blend);
}

// Texture coordinates of a direction on a cube-sphere whose six faces each carry the whole
// texture, face by face as the shapes are built.
void cube_face_st(float x, float y, float z, float& s, float& t) {
    float ax = std::fabs(x), ay = std::fabs(y), az = std::fabs(z);
    float m = std::max(ax, std::max(ay, az)) * 2;
    x /= m;
    y /= m;
    z /= m;
    if (ax >= ay && ax >= az) {
        if (x > 0) {
            s = 0.5f - z;
            t = y + 0.5f;
        } else {
            s = z + 0.5f;
            t = y + 0.5f;
        }
    } else if (ay >= az) {
        if (y > 0) {
            s = 0.5f - z;
            t = 0.5f - x;
        } else {
            s = 0.5f - z;
            t = x + 0.5f;
        }
    } else {
        if (z > 0) {
            s = x + 0.5f;
            t = y + 0.5f;
        } else {
            s = 0.5f - x;
            t = y + 0.5f;
        }
    }
}

// A lit, textured cube-sphere seen from the front, turned by yaw and pitch (degrees).
void sphere(Canvas& dst, const Canvas& tex, float cx, float cy, float radius, float yaw,
            float pitch, Rgba tint, const Fog& fog = Fog()) {
    float cyw = std::cos(yaw * kPi / 180), syw = std::sin(yaw * kPi / 180);
    float cp = std::cos(pitch * kPi / 180), sp = std::sin(pitch * kPi / 180);
    const int n = 3;
    for (int y = static_cast<int>(cy - radius - 1); y <= static_cast<int>(cy + radius + 1); ++y) {
        for (int x = static_cast<int>(cx - radius - 1); x <= static_cast<int>(cx + radius + 1);
             ++x) {
            float r = 0, g = 0, b = 0, cover = 0;
            for (int j = 0; j < n; ++j) {
                for (int i = 0; i < n; ++i) {
                    float dx = (x + (i + 0.5f) / n - cx) / radius,
                          dy = (y + (j + 0.5f) / n - cy) / radius;
                    float q = dx * dx + dy * dy;
                    if (q >= 1) continue;
                    float dz = std::sqrt(1 - q);
                    // Into the model's frame: undo the pitch about x, then the yaw about y.
                    float y1 = dy * cp + dz * sp, z1 = -dy * sp + dz * cp;
                    float x2 = dx * cyw - z1 * syw, z2 = dx * syw + z1 * cyw;
                    float s, t;
                    cube_face_st(x2, y1, z2, s, t);
                    Rgba c = tex.sample(s, t);
                    float light =
                        0.22f + 0.78f * std::max(0.0f, 0.25f * -dx + 0.35f * dy + 0.9f * dz);
                    light += 0.35f *
                             std::pow(std::max(0.0f, -0.3f * dx + 0.4f * dy + 0.87f * dz), 30.0f);
                    r += c.r * tint.r * light;
                    g += c.g * tint.g * light;
                    b += c.b * tint.b * light;
                    cover += 1;
                }
            }
            if (cover == 0) continue;
            Rgba c = rgba(std::min(1.0f, r / cover), std::min(1.0f, g / cover),
                          std::min(1.0f, b / cover), cover / (n * n));
            put(dst, x, y, apply_fog(c, fog), true);
        }
    }
}

// A string in the glyph sheet, as the text drawer lays it out: fixed advance w, height h,
// the left half and lower 95 % of each cell.
void text(Canvas& dst, const Canvas& font, float x, float y, float w, float h, const std::string& s,
          Rgba colour, const Fog& fog = Fog()) {
    for (size_t i = 0; i < s.size(); ++i) {
        int c = static_cast<signed char>(s[i]);
        if (c < 0) continue;
        float col = static_cast<float>(c % 16), row = static_cast<float>(c / 16);
        quad(dst, &font, x + i * w, y, w, 0, 0, h, colour, true, fog, col / 16, (col + 0.5f) / 16,
             (15 - row) / 16, (15 - row + 0.95f) / 16);
    }
}

// --- stand-in photos ---------------------------------------------------------------------

float hash(int i, int k) {
    unsigned v = static_cast<unsigned>(i) * 2654435761u + static_cast<unsigned>(k) * 40503u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    v ^= v >> 15;
    return (v & 0xffff) / 65535.0f;
}

Rgba hsv(float h, float s, float v) {
    float r = std::fabs(h * 6 - 3) - 1, g = 2 - std::fabs(h * 6 - 2), b = 2 - std::fabs(h * 6 - 4);
    auto f = [&](float c) { return v * (1 - s + s * clamp01(c)); };
    return rgba(f(r), f(g), f(b), 1);
}

Canvas portrait(int i) {
    const int n = 64;
    Canvas c(n, n, hsv(hash(i, 1), 0.35f, 0.55f + 0.3f * hash(i, 2)));
    Rgba skin = mix(rgba(0.95f, 0.8f, 0.68f), rgba(0.45f, 0.3f, 0.22f), hash(i, 3));
    Rgba shirt = hsv(hash(i, 4), 0.6f, 0.7f),
         hair = mix(rgba(0.1f, 0.07f, 0.05f), rgba(0.8f, 0.6f, 0.3f), hash(i, 5) * hash(i, 5));
    c.paint([&](float x, float y) { return coverage(sd_circle(x, y, 32, 80, 30)); }, shirt);
    c.paint([&](float x, float y) { return coverage(sd_circle(x, y, 32, 29, 14)); }, skin);
    c.paint([&](float x,
                float y) { return coverage(std::max(sd_circle(x, y, 32, 27, 15.5f), y - 23)); },
            hair);
    return c;
}

// --- the scene -------------------------------------------------------------------------------

struct Person {
    float wx, wy, wz;  // world position (colour)
    float x, y, z;     // camera space after the globe's turn
    bool photo;
    std::string name;
};

void position_to_color(float x, float y, float z, float* c) {
    const float p[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) c[i] = clamp01((p[i] * 0.0001800018f * 1.5f + 1) * 0.5f);
}

void draw_panel(Canvas& dst, const Theme& th,
                const std::map<std::string, std::unique_ptr<Canvas>>& tex, float azimuth) {
    auto T = [&](const char* name) -> const Canvas* {
        auto it = tex.find(name);
        return it == tex.end() ? nullptr : it->second.get();
    };
    const Canvas& font = *T("fixed_font.tga");
    const Rgba bg = rgba(th.background[0], th.background[1], th.background[2]);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) dst.at(x, y) = bg;

    // People on a golden-angle spiral over the globe of radius 5555.5.
    const char* names[] = {"Ada Lovelace",      "Alan Turing",    "Grace Hopper",
                           "Edsger Dijkstra",   "Barbara Liskov", "Ken Thompson",
                           "Margaret Hamilton", "Donald Knuth",   "Frances Allen",
                           "John McCarthy",     "Radia Perlman",  "Niklaus Wirth"};
    const int count = 40;
    std::vector<Person> people;
    const float golden = kPi * (3 - std::sqrt(5.0f));
    const float az = azimuth * kPi / 180, el = 12 * kPi / 180;
    for (int i = 0; i < count; ++i) {
        float yy = 1 - 2 * (i + 0.5f) / count, rr = std::sqrt(1 - yy * yy), th_ = i * golden;
        Person p;
        p.wx = 5555.5f * rr * std::cos(th_);
        p.wy = 5555.5f * yy;
        p.wz = 5555.5f * rr * std::sin(th_);
        float x1 = p.wx * std::cos(az) + p.wz * std::sin(az),
              z1 = -p.wx * std::sin(az) + p.wz * std::cos(az);
        p.x = x1;
        p.y = p.wy * std::cos(el) - z1 * std::sin(el);
        p.z = p.wy * std::sin(el) + z1 * std::cos(el);
        p.photo = hash(i, 9) > 0.3f;
        p.name = names[i % 12];
        people.push_back(p);
    }
    // The selected person: the one nearest the viewer.
    int sel = 0;
    for (int i = 0; i < count; ++i)
        if (people[i].z > people[sel].z) sel = i;

    const float dist = 18500, f = (kH / 2.0f) / std::tan(22.5f * kPi / 180);
    auto project = [&](float x, float y, float z, float& sx, float& sy, float& depth) {
        depth = dist - z;
        sx = kW / 2.0f + f * x / depth;
        sy = kH / 2.0f + 40 + f * y / depth;
    };
    auto fog_at = [&](float depth) {
        Fog fg;
        fg.factor = clamp01((27500 - depth) / (27500 - 20000));
        fg.colour = bg;
        return fg;
    };

    // Everything of the 3D pass as depth-sorted items (far first).
    struct Item {
        float depth;
        std::function<void()> draw;
    };
    std::vector<Item> items;

    // Friendship lines: the user (person 0) to everyone, and everyone to two neighbours.
    std::vector<std::pair<int, int>> lines;
    for (int i = 1; i < count; ++i) lines.push_back({0, i});
    for (int i = 1; i < count; ++i) {
        std::vector<std::pair<float, int>> near;
        for (int j = 1; j < count; ++j)
            if (j != i)
                near.push_back({std::hypot(people[i].wx - people[j].wx,
                                           std::hypot(people[i].wy - people[j].wy,
                                                      people[i].wz - people[j].wz)),
                                j});
        std::sort(near.begin(), near.end());
        for (int k = 0; k < 2; ++k)
            if (i < near[k].second) lines.push_back({i, near[k].second});
    }
    const Canvas* glow = T("billboard.tga");
    for (const auto& ln : lines) {
        const Person& a = people[ln.first];
        const Person& b = people[ln.second];
        bool hi = ln.first == sel || ln.second == sel;
        float L = std::hypot(b.x - a.x, std::hypot(b.y - a.y, b.z - a.z));
        int n = static_cast<int>(L / 90);
        for (int k = 1; k < n; ++k) {
            float t = static_cast<float>(k) / n;
            float x = a.x + (b.x - a.x) * t, y = a.y + (b.y - a.y) * t, z = a.z + (b.z - a.z) * t;
            float wc[3];
            position_to_color(a.wx + (b.wx - a.wx) * t, a.wy + (b.wy - a.wy) * t,
                              a.wz + (b.wz - a.wz) * t, wc);
            float sx, sy, depth;
            project(x, y, z, sx, sy, depth);
            float size = f * (hi ? 125 : 90) / depth;
            Rgba tint = rgba(wc[0], wc[1], wc[2], hi ? 1.0f : 0.3f);
            items.push_back({depth, [&dst, glow, sx, sy, size, tint, fg = fog_at(depth)] {
                                 quad(dst, glow, sx - size / 2, sy - size / 2, size, 0, 0, size,
                                      tint, true, fg);
                             }});
        }
    }

    // Locators: ball, card, photo or placeholder, name.
    for (int i = 0; i < count; ++i) {
        const Person& p = people[i];
        bool selected = i == sel;
        float size = selected ? 2250 : 750, ball = 100;
        float len = std::hypot(p.x, std::hypot(p.y, p.z));
        float su = p.y / len > 0 ? 1.0f : -1.0f, sr = p.x / len > 0 ? 1.0f : -1.0f;
        float cxw = p.x + sr * (0.5f * size + 0.75f * ball),
              cyw = p.y + su * (0.5f * size + 0.75f * ball);
        float czw = p.z + 100;
        float bx, by, bd, cx, cy, cd;
        project(p.x, p.y, p.z, bx, by, bd);
        project(cxw, cyw, czw, cx, cy, cd);
        float wc[3];
        position_to_color(p.wx, p.wy, p.wz, wc);
        Rgba ball_tint = rgba(wc[0], wc[1], wc[2]);
        float br = f * ball / bd, half = f * size / cd / 2;
        Rgba card_tint = selected
                             ? rgba(th.billboard_sel[0], th.billboard_sel[1], th.billboard_sel[2])
                             : rgba(th.billboard[0], th.billboard[1], th.billboard[2]);
        Rgba text_tint = selected ? rgba(th.text_sel[0], th.text_sel[1], th.text_sel[2])
                                  : rgba(th.text[0], th.text[1], th.text[2]);
        items.push_back({bd, [&dst, T, bx, by, br, ball_tint, fg = fog_at(bd)] {
                             sphere(dst, *T("color_ball.tga"), bx, by, br, 30, 20, ball_tint, fg);
                         }});
        items.push_back({cd, [&, i, selected, cx, cy, half, card_tint, text_tint, fg = fog_at(cd)] {
                             const Person& pp = people[i];
                             quad(dst, T("locator.tga"), cx - half, cy - half, 2 * half, 0, 0,
                                  2 * half, card_tint, true, fg);
                             float scale = selected ? 0.675f : 0.9f;
                             float ph = scale * half;  // half height of the photo
                             if (pp.photo) {
                                 Canvas photo = portrait(i);
                                 quad(dst, &photo, cx - ph, cy - ph, 2 * ph, 0, 0, 2 * ph,
                                      rgba(1, 1, 1), false, fg);
                             } else {
                                 quad(dst, T("question.tga"), cx - ph, cy - ph, 2 * ph, 0, 0,
                                      2 * ph, text_tint, true, fg);
                             }
                             if (selected || !pp.photo) {
                                 float H = 2 * half, ch = 0.1375f * H,
                                       n = static_cast<float>(pp.name.size());
                                 float cw = std::min(0.5f * ch, 0.9f * H / n);
                                 float ox = cx - cw * n * 0.5f,
                                       oy = cy - 0.825f * 0.5f * H - 0.5f * ch;
                                 text(dst, font, ox, oy, cw, ch, pp.name, text_tint, fg);
                             }
                         }});
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.depth > b.depth; });
    for (const Item& it : items) it.draw();

    // The overlay, in the program's order.
    auto v4 = [](const float* c) { return rgba(c[0], c[1], c[2], c[3]); };
    {  // dial: the square turned clockwise by the heading, the globe inside
        float m = 61, hw = 56, t = azimuth * kPi / 180;
        auto rot = [&](float x, float y, float& rx, float& ry) {
            rx = x * std::cos(t) + y * std::sin(t);
            ry = -x * std::sin(t) + y * std::cos(t);
        };
        float ax, ay, ux, uy, vx, vy;
        rot(-hw, -hw, ax, ay);
        rot(2 * hw, 0, ux, uy);
        rot(0, 2 * hw, vx, vy);
        quad(dst, T("dial.tga"), m + ax, m + ay, ux, uy, vx, vy, v4(th.dial));
        sphere(dst, *T("sphere_button.tga"), m, m, 40, azimuth - 90, 12, v4(th.globe));
    }
    const float buttons[3] = {1, 93, 121};
    for (int i = 0; i < 3; ++i) {
        const char* files[3] = {"rot_but_1.tga", "rot_but_2.tga", "rot_but_3.tga"};
        rect(dst, T(files[i]), buttons[i], buttons[i] + 28, 1, 29,
             i == 1 ? v4(th.dial_sel) : v4(th.dial));
    }
    rect(dst, T("top_bar.tga"), 0, kW, kH - 32, kH, v4(th.top_bar));
    rect(dst, T("nimbra.tga"), 2, 132, kH - 132, kH - 2, rgba(1, 1, 1, 1));
    rect(dst, T("korvel.tga"), kW - 200, kW - 70, -104, 26, rgba(1, 1, 1, 0.25f));

    auto thumb = [&](float l, float r, float b, float t, int person, bool selected) {
        rect(dst, T("widget.tga"), l, r, b, t, selected ? v4(th.button_sel) : v4(th.button));
        if (people[person].photo) {
            Canvas photo = portrait(person);
            rect(dst, &photo, l + 4, r - 4, b + 4, t - 4, rgba(1, 1, 1), false);
        } else {
            const float* tc = selected ? th.text_sel : th.text;
            rect(dst, T("question.tga"), l + 4, r - 4, b + 4, t - 4, rgba(tc[0], tc[1], tc[2], 1));
        }
    };
    thumb(2, 66, kH - 27 - 64, kH - 27, 0, true);
    // List dock with the pointer over its fourth thumbnail.
    float top = kH - 27, cell_top = kH - 26;
    for (int i = 0; i < 9; ++i) {
        float d = static_cast<float>(i - 3);
        float s = 48 + 48 * std::exp(-d * d / 2.42f);
        float r = kW - 2 - 16;
        thumb(r - s, r, top - s, top, i + 1, i + 1 == sel);
        rect(dst, T("ruler.tga"), kW - 17, kW - 1, cell_top - (s + 1), cell_top, v4(th.button));
        top -= s + 1;
        cell_top -= s + 1;
    }
}

}  // namespace

bool render_preview(const std::string& data_dir, const std::string& out_path) {
    std::map<std::string, std::unique_ptr<Canvas>> tex;
    for (const TextureRecipe& r : texture_recipes()) {
        auto c = read_tga(data_dir + "/" + r.file);
        if (!c) return false;
        tex[r.file] = std::move(c);
    }
    const auto& list = themes();
    Canvas out(kW, kH * static_cast<int>(list.size()), rgba(0, 0, 0, 1));
    for (size_t i = 0; i < list.size(); ++i) {
        Canvas panel(kW, kH, rgba(0, 0, 0, 1));
        draw_panel(panel, list[i], tex, 25.0f + 40.0f * i);
        out.draw(panel, 0, static_cast<int>(i) * kH);
    }
    return out.write_tga(out_path, false);
}
