// The whole globe of one real ego network: person 107 of the SNAP Facebook graph, its 1045
// friends, the 26750 friendships among them and its own 1045 lines. Prints the cost of adding
// the friends one by one with a layout after each, milliseconds per frame of the controller in
// the offscreen renderer with its balls-and-frames pass and its glow pass, the glow drawn dot by
// dot in immediate mode as before the lines had a vertex array, and for scale two bare loops of
// as many textured quads: one in immediate mode, one through a vertex array a chunk at a time.
#include "controller/sim_ctrl_nimbra.h"

#include "gfx/ogl_texture.h"
#include "scene/billboard.h"
#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/friend.h"
#include "scene/location_holder.h"

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int WIDTH = 1024, HEIGHT = 768;
constexpr int EGO = 107;
constexpr int FRAMES = 2;
constexpr int ROUNDS = 2;

using Clock = std::chrono::steady_clock;
double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

struct EgoNetwork {
    std::vector<int> friends;                // ascending ids
    std::vector<std::pair<int, int>> links;  // friendships between two friends
};

// Reads "a b" lines; false when the file cannot be opened.
bool read_ego(const std::string& path, int ego, EgoNetwork& net) {
    std::ifstream in(path);
    if (!in) return false;
    std::vector<std::pair<int, int>> edges;
    std::set<int> friends;
    int a, b;
    while (in >> a >> b) {
        edges.emplace_back(a, b);
        if (a == ego) friends.insert(b);
        if (b == ego) friends.insert(a);
    }
    net.friends.assign(friends.begin(), friends.end());
    for (const auto& e : edges)
        if (e.first != ego && e.second != ego && friends.count(e.first) && friends.count(e.second))
            net.links.push_back(e);
    return true;
}

// One camera-facing quad of a frame: its centre and half its side.
struct Quad {
    Math_Vector3 centre;
    float half;
};

// The quads one frame of the controller sends, where it sends them: per locator its frame, its
// photo and one per character of a shown name (placed on the frame); per line one per dot.
std::vector<Quad> frame_quads(UTL_SimCtrlNimbra& c) {
    std::vector<Quad> quads;
    for (GFX_LocationHolder* h : c.m_loc_holders) {
        Math_Vector3 m;
        for (const Math_Vector3& v : h->m_billboard->m_vertices) m += v * 0.25f;
        const float half = h->m_billboard->m_width * 0.5f;
        quads.push_back({m, half});
        quads.push_back({m, half * 0.9f});
        auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h);
        if (hf && hf->m_friend && (h->m_selected || !hf->m_friend->m_has_foto_square))
            for (size_t i = 0; i < hf->m_friend->m_name.size(); ++i)
                quads.push_back({m, half * 0.07f});
    }
    for (GFX_Connection* l : c.m_connections) {
        auto* lf = dynamic_cast<GFX_ConnectionFriends*>(l);
        if (!lf || !lf->m_holder1 || !lf->m_holder2) continue;
        const Math_Vector3 a = lf->m_holder1->m_position, d = lf->m_holder2->m_position - a;
        const int n = GFX_Connection::dot_count(d.length());
        const float half = lf->m_highlighted ? 62.5f : 45.0f;
        for (int k = 1; k < n; ++k) quads.push_back({a + d * (float(k) / float(n)), half});
    }
    return quads;
}

// The same quads in one immediate-mode batch under the controller's camera, screen axes, glow
// texture and depth buffer, with the same blending: the floor any drawing of them pays in this
// renderer. The difference to a controller frame is the scene's own work (balls, per-dot
// colour and corners, virtual calls).
double bare_quads_ms(UTL_SimCtrlNimbra& c, const std::vector<Quad>& quads) {
    const Math_Vector3 up = c.m_impostor_up, right = c.m_impostor_right;
    const auto start = Clock::now();
    for (int f = 0; f < FRAMES; ++f) {
        // NOTE: the depth of the controller's last frame stays: its balls and frames hide dots
        // there too, and in a fill-bound renderer that decides the cost.
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_TEXTURE_2D);
        glDisable(GL_LIGHTING);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
        if (c.m_billboard_texture) c.m_billboard_texture->apply();
        glBegin(GL_QUADS);
        for (const Quad& q : quads) {
            const Math_Vector3 r = right * q.half, u = up * q.half;
            const Math_Vector3 v0 = q.centre - r - u, v1 = q.centre + r - u, v2 = q.centre + r + u,
                               v3 = q.centre - r + u;
            glColor4f(0.5f, 0.8f, 1.0f, 0.3f);
            glTexCoord2f(0, 0);
            glVertex3fv(v0.data());
            glTexCoord2f(1, 0);
            glVertex3fv(v1.data());
            glTexCoord2f(1, 1);
            glVertex3fv(v2.data());
            glTexCoord2f(0, 1);
            glVertex3fv(v3.data());
        }
        glEnd();
        glDepthMask(GL_TRUE);
        glFinish();
    }
    return ms_since(start) / FRAMES;
}

// The same quads again, written each frame into one reused array (position and colour per
// corner, texture coordinates filled once) and drawn with glDrawArrays a chunk at a time, in
// the same layout and chunk size as the controller's glow.
double array_quads_ms(UTL_SimCtrlNimbra& c, const std::vector<Quad>& quads) {
    const Math_Vector3 up = c.m_impostor_up, right = c.m_impostor_right;
    const int chunk = GFX_DotBatch::k_default_capacity;
    std::vector<float> vertices(size_t(chunk) * 4 * 7), tex;
    for (int i = 0; i < chunk; ++i) tex.insert(tex.end(), {0, 0, 1, 0, 1, 1, 0, 1});
    const auto start = Clock::now();
    for (int f = 0; f < FRAMES; ++f) {
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_TEXTURE_2D);
        glDisable(GL_LIGHTING);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
        if (c.m_billboard_texture) c.m_billboard_texture->apply();
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glDisableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, 7 * sizeof(float), vertices.data());
        glColorPointer(4, GL_FLOAT, 7 * sizeof(float), vertices.data() + 3);
        glTexCoordPointer(2, GL_FLOAT, 0, tex.data());
        int n = 0;
        for (const Quad& q : quads) {
            const Math_Vector3 r = right * q.half, u = up * q.half;
            const Math_Vector3 v[4] = {q.centre - r - u, q.centre + r - u, q.centre + r + u,
                                       q.centre - r + u};
            float* p = &vertices[size_t(n) * 4 * 7];
            for (const Math_Vector3& corner : v) {
                p[0] = corner.m_x, p[1] = corner.m_y, p[2] = corner.m_z;
                p[3] = 0.5f, p[4] = 0.8f, p[5] = 1.0f, p[6] = 0.3f;
                p += 7;
            }
            if (++n == chunk) {
                glDrawArrays(GL_QUADS, 0, 4 * n);
                n = 0;
            }
        }
        if (n > 0) glDrawArrays(GL_QUADS, 0, 4 * n);
        glPopClientAttrib();
        glDepthMask(GL_TRUE);
        glFinish();
    }
    return ms_since(start) / FRAMES;
}

// The glow as the lines drew it before they had a vertex array: every dot a billboard moved
// along its line and sent corner by corner in immediate mode, all dots, under the same state as
// the controller's glow pass.
void dot_by_dot_glow(UTL_SimCtrlNimbra& c) {
    glEnable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (c.m_billboard_texture) c.m_billboard_texture->apply();
    glBegin(GL_QUADS);
    for (GFX_Connection* l : c.m_connections) {
        auto* f = static_cast<GFX_ConnectionFriends*>(l);
        if (!f->m_holder1 || !f->m_holder2) continue;
        GFX_Billboard& b = *f->m_billboard;
        const Math_Vector3 a = f->m_holder1->m_position, d = f->m_holder2->m_position - a;
        const float length = d.length();
        const int n = GFX_Connection::dot_count(length);
        for (int k = 1; k < n; ++k) {
            b.m_position = a + (d / length) * (float(k) * (length / float(n)));
            c.position_to_color(b.m_position, b.m_color);
            b.update_vertex_position();
            b.draw();
        }
    }
    glEnd();
    glDisable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glDepthMask(GL_TRUE);
}

}  // namespace

int main() {
    const std::string data = std::string(NIMBRA_SHARED_DATA_DIR) + "/facebook_combined.txt";
    EgoNetwork net;
    if (!read_ego(data, EGO, net) || net.friends.empty()) {
        std::printf("bench_globe: %s not found or empty; skipped\n", data.c_str());
        return 0;
    }
    // The controller reads its textures and themes relative to the resource folder.
    if (chdir(NIMBRA_SOURCE_DIR) != 0)
        std::printf("bench_globe: cannot enter %s\n", NIMBRA_SOURCE_DIR);

    std::vector<unsigned char> buffer(WIDTH * HEIGHT * 4);
    const int attribs[] = {OSMESA_FORMAT,
                           OSMESA_RGBA,
                           OSMESA_DEPTH_BITS,
                           24,
                           OSMESA_PROFILE,
                           OSMESA_COMPAT_PROFILE,
                           0};
    OSMesaContext context = OSMesaCreateContextAttribs(attribs, nullptr);
    if (!context || !OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, WIDTH, HEIGHT)) {
        std::fprintf(stderr, "bench_globe: no OSMesa context\n");
        return 1;
    }

    {
        UTL_SimCtrlNimbra c;
        c.start(WIDTH, HEIGHT);
        c.add_myself(std::to_string(EGO).c_str(), "Person 107", "", "");
        c.create_friends_locators();

        // One friend at a time, each followed by a full layout, as the acquisition does.
        auto t = Clock::now();
        for (int id : net.friends) {
            const std::string uid = std::to_string(id);
            c.add_friend(uid.c_str(), ("Person " + uid).c_str(), "", "");
            c.create_friends_locators();
        }
        const double add_ms = ms_since(t);

        c.add_connections_for_myself();
        for (const auto& l : net.links)
            c.add_connection(std::to_string(l.first).c_str(), std::to_string(l.second).c_str(),
                             0.3f, false);

        const GLubyte* renderer = glGetString(GL_RENDERER);
        std::printf("renderer: %s, best of %d rounds of %d frames\n",
                    renderer ? reinterpret_cast<const char*>(renderer) : "?", ROUNDS, FRAMES);
        std::printf("ego network of %d: %zu friends, %zu friendships between friends, %zu lines\n",
                    EGO, net.friends.size(), net.links.size(), c.m_connections.size());
        std::printf(
            "adding friends one by one with a layout after each: %.1f ms total, %.3f ms per "
            "friend\n",
            add_ms, add_ms / net.friends.size());

        // Full window (fill-bound in a software renderer), then a thumbnail-sized view where
        // the cost per quad on the CPU side shows, then the full window from as close as the
        // camera goes, where much of the globe lies outside the window.
        struct View {
            int scale;
            bool close;
        };
        const float far_distance = c.m_camera->m_distance;
        for (const View view : {View{1, false}, View{8, false}, View{1, true}}) {
            const int w = WIDTH / view.scale, h = HEIGHT / view.scale;
            c.m_camera->m_distance = view.close ? c.m_camera->m_min_distance : far_distance;
            const char* where = view.close ? "close" : "";
            c.update(w, h, 0.02f);  // warm-up: textures upload, lines find their ends
            glFinish();
            const long long drawn = c.m_glow_batch->drawn(), skipped = c.m_glow_batch->skipped();
            c.update(w, h, 0.02f);
            glFinish();
            const long long frame_dots = c.m_glow_batch->drawn() - drawn;
            const long long frame_skipped = c.m_glow_batch->skipped() - skipped;
            const std::vector<Quad> quads = frame_quads(c);
            // The two take turns and each keeps its best round, so a busy machine skews them
            // alike.
            double frame_ms = 1e30, bare_ms = 1e30, array_ms = 1e30;
            for (int round = 0; round < ROUNDS; ++round) {
                t = Clock::now();
                for (int f = 0; f < FRAMES; ++f) {
                    c.update(w, h, 0.02f);
                    glFinish();
                }
                frame_ms = std::min(frame_ms, ms_since(t) / FRAMES);
                bare_ms = std::min(bare_ms, bare_quads_ms(c, quads));
                array_ms = std::min(array_ms, array_quads_ms(c, quads));
            }
            // Where a frame goes: its two 3D passes again under the last frame's camera.
            double locators_ms = 1e30, glow_ms = 1e30, dot_by_dot_ms = 1e30;
            for (int round = 0; round < ROUNDS; ++round) {
                glEnable(GL_DEPTH_TEST);
                glEnableClientState(GL_VERTEX_ARRAY);
                glEnableClientState(GL_NORMAL_ARRAY);
                glEnableClientState(GL_TEXTURE_COORD_ARRAY);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                t = Clock::now();
                c.draw_locators();
                glFinish();
                locators_ms = std::min(locators_ms, ms_since(t));
                t = Clock::now();
                c.draw_glow();
                glFinish();
                glow_ms = std::min(glow_ms, ms_since(t));
                t = Clock::now();
                dot_by_dot_glow(c);
                glFinish();
                dot_by_dot_ms = std::min(dot_by_dot_ms, ms_since(t));
                glDisableClientState(GL_VERTEX_ARRAY);
                glDisableClientState(GL_NORMAL_ARRAY);
                glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            }
            std::printf(
                "%4dx%-4d%-5s controller frame %9.1f ms/frame (%zu balls, %zu textured quads)\n", w,
                h, where, frame_ms, c.m_loc_holders.size(), quads.size());
            std::printf(
                "%4dx%-4d%-5s   of which   %9.1f ms balls and frames, %.1f ms the lines' glow "
                "(%lld dots drawn, "
                "%lld out of view left out)\n",
                w, h, where, locators_ms, glow_ms, frame_dots, frame_skipped);
            std::printf(
                "%4dx%-4d%-5s dot-by-dot glow  %9.1f ms (all dots in immediate mode, as drawn "
                "before), glow / "
                "dot-by-dot %.2f\n",
                w, h, where, dot_by_dot_ms, glow_ms / dot_by_dot_ms);
            std::printf(
                "%4dx%-4d%-5s bare quad loop   %9.1f ms/frame (the same quads, immediate mode)\n",
                w, h, where, bare_ms);
            std::printf(
                "%4dx%-4d%-5s bare quad array  %9.1f ms/frame (the same quads, vertex array)\n", w,
                h, where, array_ms);
            std::printf(
                "%4dx%-4d%-5s frame / bare loop %.2f, frame / bare array %.2f, array / loop %.2f\n",
                w, h, where, frame_ms / bare_ms, frame_ms / array_ms, array_ms / bare_ms);
        }
    }
    OSMesaDestroyContext(context);
    return 0;
}
