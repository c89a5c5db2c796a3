// The controller driven the way the host drives it, in an offscreen context: start, people,
// frames, presses, drags and releases at pixel positions; then what a user would see: who is
// selected, where the camera looks, which motion runs, and the pixels of the frame.
#include "controller/sim_ctrl_nimbra.h"

#include "gfx/ogl_texture.h"
#include "gfx/ogl_wrapper.h"
#include "scene/billboard.h"
#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/foto.h"
#include "scene/friend.h"
#include "photos/texture_foto.h"
#include "scene/location_holder.h"
#include "tests/support/globe_fixture.h"
#include "tests/support/wait.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int W = 640;
constexpr int H = 480;

// One started controller in its own offscreen context.
struct Globe : GlobeFixture {
    Globe() : GlobeFixture(W, H) { start(); }

    void click(float x, float y) {
        c.mouse_down(int(x), int(y), 0);
        c.mouse_up(int(x), int(y), 0);
        frame();
    }
    // Pixels of the 3D area (below the top bar and the logo, above the dial, left of the friends'
    // dock) that are not sky.
    int scene_pixels() {
        return gl.count(0, 125, W - 70, H - 140,
                        [this](const Rgba& p) { return !is_background(p); });
    }
    // The locator in front of the globe nearest the middle of the window, other than skip.
    GFX_LocationHolder* front_holder(GFX_LocationHolder* skip = nullptr) {
        return GlobeFixture::front_holder(skip, 80, 80, W - 80, H - 150);
    }
};

bool finite(const Math_Vector3& v) {
    return std::isfinite(v.m_x) && std::isfinite(v.m_y) && std::isfinite(v.m_z);
}

}  // namespace

TEST(ControllerFrame, StartSetsCameraProjectionAndCountsFrames) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    ASSERT_NE(c.m_camera, nullptr);
    ASSERT_NE(c.m_ogl, nullptr);
    EXPECT_FLOAT_EQ(c.m_near_plane, 1000);
    EXPECT_FLOAT_EQ(c.m_far_plane, 25000);
    EXPECT_FLOAT_EQ(c.m_camera->m_distance, 18500);
    EXPECT_FLOAT_EQ(c.m_camera->m_max_up_down, 85);
    EXPECT_FLOAT_EQ(c.m_camera->m_center.m_y, 500);
    EXPECT_EQ(c.m_eye_pos, Math_Vector3(0, 100000, 0));
    EXPECT_NE(c.m_color_ball, nullptr);
    EXPECT_EQ(c.m_num_frames, 0);
    g.frames(3);
    EXPECT_EQ(c.m_num_frames, 3);
    EXPECT_NEAR(c.m_eye_pos.m_x, 18500, 1);

    // The background is the theme's, and the top bar is drawn over it.
    EXPECT_TRUE(g.is_background(g.gl.pixel(W / 2, H / 2)));
    EXPECT_FALSE(g.is_background(g.gl.pixel(W / 2, H - 10)));

    // A full frame with people and lines leaves no OpenGL error behind.
    g.people(5);
    c.add_connections_for_myself();
    g.frames(2);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(ControllerFrame, FrameStepIsClamped) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    c.m_rotate_mode = 1;  // turns by -17.5 degrees per second of step
    g.frame(10.0f);
    EXPECT_NEAR(c.m_camera->m_left_right, -8.75f, 1e-4);
    g.frame(0.0f);
    EXPECT_NEAR(c.m_camera->m_left_right, -8.7675f, 1e-4);
    g.frame(NAN);
    EXPECT_NEAR(c.m_camera->m_left_right, -17.5175f, 1e-3);
}

TEST(ControllerFrame, LayoutTurnsTheCameraToTheUserAndItsBallIsDrawn) {
    Globe g;
    g.people(7);
    GFX_LocationHolder* me = g.c.m_loc_holders[0];
    EXPECT_NEAR(g.c.m_camera->m_left_right, me->m_longitude + 0.5f, 1e-4);
    EXPECT_NEAR(g.c.m_camera->m_up_down, me->m_latitude, 1e-4);
    g.frames(2);

    // Every ball on the near side shows at the window position of its place, tinted by it:
    // the ball further along +x is redder than the one further along -x.
    int seen = 0;
    GFX_LocationHolder *east = nullptr, *west = nullptr;
    for (GFX_LocationHolder* h : g.c.m_loc_holders) {
        if (h->m_position.dot(g.c.m_camera->m_eye) <= 0) continue;
        Math_Vector3 w = g.window_of(h->m_position);
        EXPECT_FALSE(g.is_background(g.gl.pixel(int(w.m_x), int(w.m_y)))) << h->m_longitude;
        if (!east || h->m_position.m_x > east->m_position.m_x) east = h;
        if (!west || h->m_position.m_x < west->m_position.m_x) west = h;
        ++seen;
    }
    ASSERT_GE(seen, 3);
    auto redness = [&](GFX_LocationHolder* h) {
        Math_Vector3 w = g.window_of(h->m_position);
        Rgba p = g.gl.pixel(int(w.m_x), int(w.m_y));
        return float(p.r) / float(p.r + p.g + p.b + 1);
    };
    EXPECT_GT(redness(east), redness(west));
}

TEST(ControllerFrame, ClickSelectsTheNearestPersonAndTheCameraGlidesThere) {
    Globe g;
    g.people(12);
    g.frames(2);
    UTL_SimCtrlNimbra& c = g.c;
    GFX_LocationHolder* target = g.front_holder(c.m_loc_holders[0]);
    ASSERT_NE(target, nullptr);
    Math_Vector3 w = g.billboard_centre(target);
    g.click(w.m_x, w.m_y);

    EXPECT_EQ(c.m_selected_holder, target);
    EXPECT_TRUE(target->m_selected);
    EXPECT_TRUE(c.m_cam_transition);
    for (GFX_LocationHolder* h : c.m_loc_holders) {
        EXPECT_EQ(h->m_selected, h == target);
        EXPECT_FLOAT_EQ(h->m_billboard->m_width, h == target ? 2250 : 750);
    }
    // Only the chosen person's lines light up.
    c.add_connections_for_myself();
    c.add_connection("3", "4", 0.3f, false);
    g.frame();
    c.select_loc_holder(target);
    auto* tf = dynamic_cast<GFX_LocationHolderFriend*>(target);
    for (GFX_Connection* l : c.m_connections) {
        auto* lf = dynamic_cast<GFX_ConnectionFriends*>(l);
        EXPECT_EQ(lf->m_highlighted, lf->m_holder1 == tf || lf->m_holder2 == tf);
    }

    g.frames(150);
    EXPECT_FALSE(c.m_cam_transition);
    EXPECT_NEAR(c.m_camera->m_left_right, target->m_longitude, 1.0f);
    EXPECT_NEAR(c.m_camera->m_up_down, target->m_latitude, 1.0f);

    // A click on empty sky changes nothing.
    g.click(W / 2, 20 + 5);
    g.click(5, H / 2);
    EXPECT_EQ(c.m_selected_holder, target);
}

TEST(ControllerFrame, GlideTakesTheShortWayAndCapsItsStep) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    c.m_camera->set_left_right(-170);
    c.m_camera->set_up_down(10);
    c.m_cam_target_lr = 170;
    c.m_cam_target_ud = 10;
    c.m_cam_transition = true;
    g.frame();
    EXPECT_NEAR(c.m_camera->m_left_right, -172, 1e-3);  // through 180, not +34

    c.m_camera->set_left_right(0);
    c.m_cam_target_lr = 100;
    c.m_cam_target_ud = 30;
    g.frame();
    EXPECT_NEAR(c.m_camera->m_left_right, 6, 1e-4);
    EXPECT_NEAR(c.m_camera->m_up_down, 12, 1e-4);  // eased by a tenth
    g.frames(6);
    EXPECT_NEAR(c.m_camera->m_left_right, 42, 1e-3);
    g.frame();
    EXPECT_NEAR(c.m_camera->m_left_right, 47.8, 1e-3);
    g.frames(100);
    EXPECT_FALSE(c.m_cam_transition);
    EXPECT_NEAR(c.m_camera->m_left_right, 100, 1.0);
    EXPECT_NEAR(c.m_camera->m_up_down, 30, 1.0);

    // A person beyond the camera's 85 degrees (the user among a thousand friends sits at about
    // 87.5) still ends the glide, at the limit.
    c.m_cam_target_ud = 87.5f;
    c.m_cam_transition = true;
    g.frames(100);
    EXPECT_FALSE(c.m_cam_transition);
    EXPECT_NEAR(c.m_camera->m_up_down, 85, 1.0);
}

TEST(ControllerFrame, DragTurnsTheGlobeAndAFlickStartsASpin) {
    Globe g;
    g.people(5);
    g.frames(2);
    UTL_SimCtrlNimbra& c = g.c;

    // Press, two steps of 5 pixels, the release arriving with the second: a flick to the right.
    const float az0 = c.m_camera->m_left_right, el0 = c.m_camera->m_up_down;
    c.mouse_down(300, 200, 0);
    g.frame();
    c.mouse_moved(305, 204, 0, 0, 0);
    g.frame();
    EXPECT_NEAR(c.m_camera->m_left_right, az0 + 2.0f, 1e-3);
    EXPECT_NEAR(c.m_camera->m_up_down, el0 - 1.0f, 1e-3);
    c.mouse_moved(310, 204, 0, 0, 0);
    c.mouse_up(310, 204, 0);
    g.frame();
    EXPECT_EQ(c.m_rotate_mode, 2);
    EXPECT_FALSE(c.m_dragging);
    const float az1 = c.m_camera->m_left_right;
    g.frame();
    EXPECT_NEAR(c.m_camera->m_left_right, az1 + 0.35f, 1e-3);

    // The press stops the spin; a flick to the left turns the other way.
    c.mouse_down(300, 200, 0);
    g.frame();
    EXPECT_EQ(c.m_rotate_mode, 0);
    c.mouse_moved(295, 200, 0, 0, 0);
    c.mouse_up(295, 200, 0);
    g.frame();
    EXPECT_EQ(c.m_rotate_mode, 1);

    // A last step of exactly 3 pixels (1.2 degrees) is a drag that starts nothing and picks
    // nothing.
    GFX_LocationHolder* selected = c.m_selected_holder;
    c.mouse_down(300, 200, 0);
    g.frame();
    c.mouse_moved(303, 200, 0, 0, 0);
    c.mouse_up(303, 200, 0);
    g.frame();
    EXPECT_EQ(c.m_rotate_mode, 0);
    EXPECT_EQ(c.m_selected_holder, selected);

    // A slow drag, 2 pixels a frame over the user's frame, turns the globe and still picks.
    Math_Vector3 w = g.billboard_centre(c.m_loc_holders[0]);
    const float az2 = c.m_camera->m_left_right;
    c.mouse_down(int(w.m_x), int(w.m_y), 0);
    g.frame();
    for (int i = 1; i <= 3; ++i) {
        c.mouse_moved(int(w.m_x) + 2 * i, int(w.m_y), 0, 0, 0);
        g.frame();
    }
    EXPECT_NEAR(c.m_camera->m_left_right, az2 + 2.4f, 1e-3);
    c.mouse_up(int(w.m_x) + 6, int(w.m_y), 0);
    g.frame();
    EXPECT_EQ(c.m_rotate_mode, 0);
    EXPECT_EQ(c.m_selected_holder, c.m_loc_holders[0]);
}

TEST(ControllerFrame, IdleGlobeStartsMovingAfterFiftySeconds) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    c.m_rotate_mode = 3;  // random jumps with nobody on the globe do nothing
    g.frames(10, 0.5f);
    EXPECT_EQ(c.m_selected_holder, nullptr);
    EXPECT_FALSE(c.m_cam_transition);

    c.m_rotate_mode = 0;
    c.m_rotate_timer = 0;
    g.people(4);
    g.frames(100, 0.5f);  // exactly 50 seconds: not yet
    EXPECT_EQ(c.m_rotate_mode, 0);
    g.frame(0.5f);
    EXPECT_GE(c.m_rotate_mode, 1);
    EXPECT_LE(c.m_rotate_mode, 3);
    EXPECT_EQ(c.m_rotate_timer, 0.0f);

    // Random jumps: a new selection every 1.5 seconds once the glide has ended.
    c.m_rotate_mode = 3;
    c.m_cam_transition = false;
    c.m_selected_holder = nullptr;
    g.frames(3, 0.5f);
    EXPECT_EQ(c.m_selected_holder, nullptr);
    g.frame(0.5f);
    ASSERT_NE(c.m_selected_holder, nullptr);
    EXPECT_EQ(c.m_cam_target_lr, c.m_selected_holder->m_longitude);

    c.mouse_down(10, 300, 0);
    g.frame();
    EXPECT_EQ(c.m_rotate_mode, 0);
    EXPECT_LT(c.m_rotate_timer, 0.1f);
}

TEST(ControllerFrame, SelectedBillboardCoversMorePixels) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    c.add_friend("1", "Ann", "", "");
    c.create_friends_locators();  // alone, at longitude 0 and latitude 0, in front of the camera
    g.frames(2);
    const int unselected = g.scene_pixels();
    c.select_loc_holder(c.m_loc_holders[0]);
    c.m_cam_transition = false;
    g.frames(2);
    const int selected = g.scene_pixels();
    EXPECT_GT(unselected, 200);
    EXPECT_GT(selected, 4 * unselected);
}

TEST(ControllerFrame, DotsBetweenTwoBallsMoreTheFartherApart) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    c.add_friend("1", "Ann", "", "");
    c.add_friend("2", "Bob", "", "");
    c.create_friends_locators();
    auto place = [&](float lon1, float lon2) {
        c.m_loc_holders[0]->set_longitude(lon1);
        c.m_loc_holders[0]->set_latitude(-8);
        c.m_loc_holders[1]->set_longitude(lon2);
        c.m_loc_holders[1]->set_latitude(-8);
    };
    // Pixels that change when a highlighted line joins the two.
    auto line_pixels = [&](Math_Vector3* mid) {
        c.clear_connections();
        g.frames(30);  // the billboards settle on their sides
        glFinish();
        std::vector<uint8_t> before = g.gl.buffer();
        c.add_connection("1", "2", 1.0f, true);
        g.frames(2);
        if (mid)
            *mid = g.window_of((c.m_loc_holders[0]->m_position + c.m_loc_holders[1]->m_position) *
                               0.5f);
        glFinish();
        const std::vector<uint8_t>& after = g.gl.buffer();
        int changed = 0;
        for (size_t i = 0; i + 3 < after.size(); i += 4)
            if (std::abs(after[i] - before[i]) + std::abs(after[i + 1] - before[i + 1]) +
                    std::abs(after[i + 2] - before[i + 2]) >
                12)
                ++changed;
        return changed;
    };
    place(-5, 5);
    Math_Vector3 mid;
    const int near_pair = line_pixels(&mid);
    EXPECT_FALSE(g.is_background(g.gl.pixel(int(mid.m_x), int(mid.m_y))));
    place(-15, 15);
    const int far_pair = line_pixels(nullptr);
    EXPECT_GT(near_pair, 20);
    EXPECT_GT(far_pair, 2 * near_pair);
}

// Zero-sized windows, non-finite steps and events before start must not put NaN into the
// camera, the pick ray or the billboard axes.
TEST(ControllerFrame, DegenerateInputKeepsEverythingFinite) {
    {
        OffscreenGL gl(64, 64);
        UTL_SimCtrlNimbra c;  // never started: every pointer is null
        c.mouse_down(1, 1, 0);
        c.mouse_up(1, 1, 0);
        c.add_myself("0", "Me", nullptr, nullptr);
        c.add_friend("1", "Ann", nullptr, nullptr);
        c.create_friends_locators();
        c.update(64, 64, 0.02f);
        c.mouse_up();
        c.select_loc_holder(nullptr);
        EXPECT_EQ(c.m_num_frames, 1);
    }
    Globe g;
    g.people(3);
    UTL_SimCtrlNimbra& c = g.c;
    c.update(0, 0, 0.02f);
    c.update(W, 0, INFINITY);
    c.mouse_moved(-100000, 100000, 0, 0, 0);
    c.mouse_down(-100000, 100000, 0);
    c.update(W, H, 0.02f);
    c.mouse_moved(100000, -100000, 0, 0, 0);
    c.mouse_up(100000, -100000, 0);
    c.update(W, H, 0.02f);
    EXPECT_TRUE(std::isfinite(c.m_camera->m_left_right));
    EXPECT_TRUE(std::isfinite(c.m_camera->m_up_down));
    EXPECT_TRUE(finite(c.m_ray_dir));
    EXPECT_TRUE(finite(c.m_ray_origin));
    EXPECT_TRUE(finite(c.m_impostor_up));
    EXPECT_TRUE(finite(c.m_impostor_right));
    for (GFX_LocationHolder* h : c.m_loc_holders)
        for (const Math_Vector3& v : h->m_billboard->m_vertices) EXPECT_TRUE(finite(v));
}

// Without any data files the globe still draws its balls and billboards in their colours.
TEST(ControllerFrame, MissingTextureFilesStillDrawTheScene) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::string empty = ::testing::TempDir() + "nimbra_no_data";
    std::system(("mkdir -p " + empty).c_str());
    ASSERT_EQ(chdir(empty.c_str()), 0);
    {
        Globe g;
        g.people(6);
        g.c.add_connections_for_myself();
        g.frames(3);
        EXPECT_EQ(g.c.m_nimbra_texture, nullptr);  // a missing logo is skipped
        EXPECT_NE(g.c.m_billboard_texture, nullptr);
        EXPECT_GT(g.scene_pixels(), 500);
        Math_Vector3 w = g.window_of(g.c.m_loc_holders[0]->m_position);
        EXPECT_FALSE(g.is_background(g.gl.pixel(int(w.m_x), int(w.m_y))));
    }
    ASSERT_EQ(chdir(cwd), 0);
}

TEST(ControllerFrame, PeopleOutOfViewAreLeftUndrawn) {
    GlobeFixture g(320, 200);
    g.start();
    g.people(300);
    g.frames(3);
    for (GFX_LocationHolder* h : g.c.m_loc_holders)
        EXPECT_TRUE(h->m_in_view) << "the whole globe is in view from afar";
    // Close to the globe, most of it leaves the window.
    g.c.m_camera->m_distance = g.c.m_camera->m_min_distance;
    g.frames(3);
    size_t out = 0;
    for (GFX_LocationHolder* h : g.c.m_loc_holders) {
        if (h->m_in_view) continue;
        ++out;
        // Nothing of it could have shown: every corner of its frame and its ball lie outside
        // the window or behind the eye.
        for (const Math_Vector3& v : h->m_billboard->m_vertices) {
            const Math_Vector3 w = g.window_of(v);
            const bool inside = w.m_z > 0 && w.m_z < 1 && w.m_x >= 0 && w.m_x <= g.gl.width() &&
                                w.m_y >= 0 && w.m_y <= g.gl.height();
            EXPECT_FALSE(inside) << "a corner of a frame taken as out of view is in the window";
        }
    }
    EXPECT_GT(out, g.c.m_loc_holders.size() / 8) << "close up, the globe should leave the window";
}

namespace {

// The people under the last frame's camera, drawn by draw (everyone at once, or one by one),
// on a cleared window in the state the frame's 3D pass starts in.
template <typename Draw>
std::vector<uint8_t> people_picture(GlobeFixture& g, Draw draw) {
    glEnable(GL_DEPTH_TEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1.0f, 1.0f, 1.0f);
    draw();
    glFinish();
    return g.gl.buffer();
}

// Pixels whose colour channels differ by more than step.
int pixels_apart(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int step) {
    int n = 0;
    for (size_t i = 0; i + 3 < a.size(); i += 4)
        for (size_t k = 0; k < 3; ++k)
            if (std::abs(int(a[i + k]) - int(b[i + k])) > step) {
                ++n;
                break;
            }
    return n;
}

}  // namespace

// The people are drawn piece by piece for all of them at once (balls, frames, photos, names),
// the smallest balls as quads showing one picture of a ball. Neither may change what a person
// looks like: drawn locator by locator with every ball a mesh, the window shows the same.
TEST(ControllerFrame, PeopleDrawnAllAtOnceLookAsDrawnOneByOne) {
    GlobeFixture g(480, 360);
    g.start();
    g.people(40);
    // A person with a photo of their own, the rest with the placeholder and a name.
    GFX_Friend* pictured = g.c.m_friends[0];
    pictured->load_foto_square((source_dir() + "/data/config/color_ball.tga").c_str());
    ASSERT_TRUE(wait_until([&] {
        g.frame();
        OGL_TextureFoto* t = pictured->m_foto_square->get_texture();
        return t && t->has_pixels();
    })) << "the photo never arrived";
    g.frames(40);
    // Closer, so that the balls in front are about ten pixels wide, as in a large network.
    g.c.m_camera->m_distance *= 0.5f;
    g.frames(40);
    auto one_by_one = [&] {
        for (GFX_LocationHolder* h : g.c.m_loc_holders) h->draw();
    };
    auto all_at_once = [&] { g.c.draw_locators(); };

    const std::vector<uint8_t> reference = people_picture(g, one_by_one);
    g.c.m_ball_impostors = false;
    const std::vector<uint8_t> meshes = people_picture(g, all_at_once);
    EXPECT_LE(pixels_apart(meshes, reference, 1), 4)
        << "drawn all at once with meshes, the people should look as drawn one by one";

    g.c.m_ball_impostors = true;
    const std::vector<uint8_t> pictures = people_picture(g, all_at_once);
    ASSERT_GT(g.c.m_small_balls.size(), g.c.m_loc_holders.size() / 2)
        << "from afar most balls should be small enough for the picture";
    // The picture is smoother than the mesh a few pixels across, and its outline rounder: the
    // two differ by a pixel here and there. A ball moved or missing differs in many pixels.
    const int ball_pixels = pixels_apart(reference, people_picture(g, [] {}), 2);
    EXPECT_LT(pixels_apart(pictures, reference, 24), ball_pixels / 20)
        << "balls as pictures should differ from meshes in few pixels";
    // Each ball's middle, averaged over 3 x 3 pixels: the picture is smoothed down from 32
    // pixels, the mesh's few triangles sampled at pixel centres, so the two differ by up to a
    // fifth either way; a ball in another colour, unlit or missing differs by far more, and
    // all of them together must come out neither lighter nor darker.
    double bias = 0.0;
    for (const GFX_LocationHolder* h : g.c.m_small_balls) {
        const Math_Vector3 w = g.window_of(h->m_position);
        const long x = std::lround(w.m_x), y = std::lround(w.m_y);
        if (!(x >= 1 && y >= 1 && x + 1 < g.gl.width() && y + 1 < g.gl.height())) continue;
        for (size_t k = 0; k < 3; ++k) {
            double a = 0.0, b = 0.0;
            for (long dy = -1; dy <= 1; ++dy)
                for (long dx = -1; dx <= 1; ++dx) {
                    const size_t at =
                        4 * (size_t(y + dy) * size_t(g.gl.width()) + size_t(x + dx)) + k;
                    a += pictures[at] / 9.0;
                    b += reference[at] / 9.0;
                }
            EXPECT_NEAR(a, b, 56.0) << "the middle of a ball as a picture, channel " << k;
            bias += (a - b) / (3.0 * double(g.c.m_small_balls.size()));
        }
    }
    EXPECT_LT(std::fabs(bias), 10.0) << "balls as pictures should be neither lighter nor darker";
}
