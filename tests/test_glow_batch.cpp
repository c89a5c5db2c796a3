// The batched glow of the friendship lines against a plain dot-by-dot immediate-mode drawing of
// all the same dots: the pixels must not change, whatever the chunk size and however many dots
// are left out as out of view, and the frame's vertex array state must survive the batch.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_texture.h"
#include "scene/billboard.h"
#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/location_holder.h"
#include "tests/support/offscreen_gl.h"

namespace {

constexpr int W = 480;
constexpr int H = 360;

// Each dot a billboard moved along the line and emitted corner by corner: the straightforward
// way, under the same state as the controller's glow pass. Returns the number of dots.
long long reference_glow(UTL_SimCtrlNimbra& c) {
    glEnable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    c.m_billboard_texture->apply();
    long long dots = 0;
    glBegin(GL_QUADS);
    for (GFX_Connection* l : c.m_connections) {
        auto* f = dynamic_cast<GFX_ConnectionFriends*>(l);
        if (!f || !f->m_holder1 || !f->m_holder2) continue;
        GFX_Billboard b;
        b.set_impostor_orientation(c.m_impostor_up, c.m_impostor_right);  // the frame's axes
        b.m_width = b.m_height = f->m_highlighted ? 125.0f : 90.0f;
        b.m_alpha = f->m_highlighted ? 1.0f : f->m_alpha;
        const Math_Vector3 a = f->m_holder1->m_position;
        const Math_Vector3 d = f->m_holder2->m_position - a;
        const float length = d.length();
        const int n = GFX_Connection::dot_count(length);
        for (int k = 1; k < n; ++k) {
            b.m_position =
                a + (d / length) * (static_cast<float>(k) * (length / static_cast<float>(n)));
            c.position_to_color(b.m_position, b.m_color);
            b.update_vertex_position();
            b.draw();
            ++dots;
        }
    }
    glEnd();
    glDisable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glDepthMask(GL_TRUE);
    glColor3f(1.0f, 1.0f, 1.0f);
    return dots;
}

// The 3D pass under the last frame's camera with the frame's client arrays enabled (the normal
// array pointing at a buffer far too small for any dot), balls and frames first so dots also
// hide behind them; glow draws the lines.
template <typename Glow>
std::vector<uint8_t> render(OffscreenGL& gl, UTL_SimCtrlNimbra& c, Glow glow) {
    static const GLfloat tiny_normals[3] = {0.0f, 0.0f, 1.0f};
    glNormalPointer(GL_FLOAT, 0, tiny_normals);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_DEPTH_TEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1.0f, 1.0f, 1.0f);
    c.draw_locators();
    glow();
    EXPECT_TRUE(glIsEnabled(GL_NORMAL_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glFinish();
    return gl.buffer();
}

// Pixels that differ by more than one step in any channel.
int differing(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int n = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
        for (size_t k = 0; k < 4; ++k)
            if (std::abs(int(a[i + k]) - int(b[i + k])) > 1) {
                ++n;
                break;
            }
    return n;
}

}  // namespace

TEST(GlowBatch, DrawsTheSamePixelsAsDotByDotDrawingInChunksOfAnySizeAndFromAnyDistance) {
    OffscreenGL gl(W, H);
    ASSERT_TRUE(gl.ok());
    UTL_SimCtrlNimbra c;
    c.start(W, H);
    c.m_glow_path = UTL_SimCtrlNimbra::GLOW_QUADS;  // the batch is the quads' way
    c.add_myself("0", "Me", "", "");
    c.create_friends_locators();
    for (int i = 1; i <= 40; ++i) {
        c.add_friend(std::to_string(i).c_str(), ("Friend " + std::to_string(i)).c_str(), "", "");
        c.create_friends_locators();
    }
    c.add_connections_for_myself();
    for (int i = 1; i <= 40; ++i)
        c.add_connection(std::to_string(i).c_str(), std::to_string(i % 40 + 1).c_str(),
                         i % 3 ? 0.3f : 0.8f, false);
    c.add_connection("12", "12", 0.3f, false);       // no length, no dots
    c.add_connection("5", "stranger", 0.3f, false);  // one end never found
    c.rotate_camera(35.0f, 20.0f);
    c.update(W, H, 0.02f);                       // the lines find their ends
    c.select_loc_holder(c.m_loc_holders.at(7));  // its lines larger and opaque
    // Until the camera has glided there and the frames have eased to their sides: every drawing
    // below must see the same scene.
    for (int i = 0; i < 400 && c.m_cam_transition; ++i) c.update(W, H, 0.02f);
    for (int i = 0; i < 100; ++i) c.update(W, H, 0.02f);
    ASSERT_FALSE(c.m_cam_transition);
    int highlighted = 0;
    for (GFX_Connection* l : c.m_connections)
        highlighted += dynamic_cast<GFX_ConnectionFriends*>(l)->m_highlighted;
    ASSERT_GE(highlighted, 3);
    ASSERT_NE(c.m_billboard_texture, nullptr);

    // As the whole globe is seen, then from close by where many dots lie outside the window.
    for (float distance : {c.m_camera->m_distance, c.m_camera->m_min_distance}) {
        SCOPED_TRACE(distance);
        c.m_camera->m_distance = distance;
        for (int i = 0; i < 60; ++i) c.update(W, H, 0.02f);

        const std::vector<uint8_t> background = render(gl, c, [] {});
        long long expected = 0;
        const std::vector<uint8_t> reference = render(gl, c, [&] { expected = reference_glow(c); });
        ASSERT_GT(expected, 1000);
        ASSERT_GT(differing(reference, background), 2000);  // the lines are there to compare

        // The controller's own batch, then chunks that end in the middle of lines, and one dot
        // each.
        for (int capacity : {0, 7, 1}) {
            SCOPED_TRACE(capacity);
            if (capacity > 0) c.m_glow_batch.reset(new GFX_DotBatch(capacity));
            const long long drawn = c.m_glow_batch ? c.m_glow_batch->drawn() : 0;
            const long long skipped = c.m_glow_batch ? c.m_glow_batch->skipped() : 0;
            const std::vector<uint8_t> batched = render(gl, c, [&] { c.draw_glow(); });
            ASSERT_NE(c.m_glow_batch, nullptr);
            EXPECT_EQ(c.m_glow_batch->drawn() - drawn + c.m_glow_batch->skipped() - skipped,
                      expected);
            if (distance == c.m_camera->m_min_distance) {
                EXPECT_GT(c.m_glow_batch->skipped() - skipped, expected / 10);
            }
            EXPECT_EQ(c.m_glow_batch->pending(), 0);
            // A chunk boundary may round a blend differently by a step or two: a few pixels.
            EXPECT_LE(differing(batched, reference), 4);
        }
        c.m_glow_batch.reset();
    }
}
