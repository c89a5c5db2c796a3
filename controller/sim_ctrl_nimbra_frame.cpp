// UTL_SimCtrlNimbra: start and the frame that runs once per timer tick.
// Sections: Start (start, init_scene) · Per-frame update (update, automatic motion, glide,
// selection, billboard axes) · Drawing (3D pass, ball, position colour, fog; the glow is in
// sim_ctrl_nimbra_glow.cpp) · Input (recorded events, drag, flick, click) · Textures (the scene
// texture loaders).
#include "controller/sim_ctrl_nimbra.h"

#include "gfx/ogl_point_sprites.h"
#include "gfx/ogl_texture.h"
#include "gfx/ogl_wrapper.h"
#include "gfx/shapes.h"
#include "photos/foto_texture_boss.h"
#include "photos/texture_foto.h"
#include "gfx/glyph_atlas.h"
#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/location_holder.h"
#include "util/image.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#ifndef GL_FOG_DISTANCE_MODE_NV
#define GL_FOG_DISTANCE_MODE_NV 0x855A
#endif
#ifndef GL_EYE_RADIAL_NV
#define GL_EYE_RADIAL_NV 0x855B
#endif

namespace {

constexpr float kMinStep = 0.001f;
constexpr float kMaxStep = 0.5f;
constexpr float kIdleSeconds = 50.0f;
constexpr float kTurnRate = 17.5f;    // degrees per second in modes 1 and 2
constexpr float kJumpSeconds = 1.5f;  // between random selections in mode 3
constexpr float kYawPerPixel = 0.4f;
constexpr float kPitchPerPixel = -0.25f;
constexpr float kMovedPixels = 3.0f;    // one drag step this long makes the release a flick test
constexpr float kFlickStep = 1.5f;      // degrees of azimuth in the last drag step
constexpr float kGlideDone = 1.0f;      // degrees
constexpr float kGlideCapFrom = 60.0f;  // beyond this difference the glide turns at a fixed rate
constexpr float kGlideCap = 6.0f;
constexpr float kBallMeshSize = 125.0f;
// Balls narrower than these on screen (pixels) are drawn with a grid of kBallCells[1] and
// kBallCells[2] cells a face instead of the ball's own.
constexpr float kFineBallPixels = 40.0f;
constexpr float kCoarseBallPixels = 16.0f;
constexpr int kBallCells[3] = {GFX_ColorBall::CELLS_PER_FACE, 3, 2};
constexpr float kColorScale = 0.0001800018f * 1.5f;  // 0.75 / globe radius, times two

// The keys the host may report; released at once since they steer nothing on the globe.
const unsigned int kReleasedKeys[] = {32, 37, 39, 38, 40};

bool finite(const Math_Vector3& v) {
    return std::isfinite(v.m_x) && std::isfinite(v.m_y) && std::isfinite(v.m_z);
}

// v normalised into out; false (out untouched) for a zero or non-finite vector.
bool unit(const Math_Vector3& v, Math_Vector3& out) {
    const float len = v.length();
    if (!(len > 0.0f) || !std::isfinite(len)) return false;
    out = v / len;
    return true;
}

float clamp01(float c) {
    if (!(c >= 0.0f)) return 0.0f;  // also NaN
    return c > 1.0f ? 1.0f : c;
}

// A 1 x 1 white image: what a scene texture becomes when its file does not read, so the item
// still draws in its own colour instead of with whatever texture was bound before.
GFX_Image* white_image() {
    GFX_Image* img = new GFX_Image();
    img->set_pixels(new unsigned char[4]{255, 255, 255, 255}, 32, 1, 1);
    return img;
}

// Replaces *field by a texture read from path. A file that does not read gives a white texture
// when plain is true, and no texture at all otherwise (the logos are then skipped).
void load_texture(OGL_Texture** field, const char* path, GLint wrap, bool plain) {
    if (*field) {
        (*field)->unload();
        delete *field;
        *field = nullptr;
    }
    auto* t = new OGL_Texture2D();
    t->read_from_file(path);
    if (!t->get_image() || !t->get_image()->has_pixels()) {
        if (!plain) {
            delete t;
            return;
        }
        t->init_from_image(white_image());
    }
    t->set_wrap_mode(wrap);
    t->load();
    *field = t;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Start
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::start(int w, int h) {
    UTL_SimCtrlRoot::start(w, h);
    if (OGL_Wrapper::has_extension("NV_fog_distance")) m_has_fog_distance = true;
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    m_fov = 45.0f;
    m_near_plane = 1000.0f;
    m_far_plane = 25000.0f;

    m_camera->m_left_right_speed = 0.4f;
    m_camera->m_up_down_speed = 0.1f;
    m_camera->m_max_up_down = 85.0f;
    m_camera->m_min_up_down = -85.0f;
    m_camera->set_left_right(0.0f);
    m_camera->set_up_down(0.0f);
    m_camera->m_center = Math_Vector3(0.0f, 500.0f, 0.0f);
    m_camera->m_max_distance = 20000.0f;
    m_camera->m_min_distance = 7500.0f;
    m_camera->m_distance = 18500.0f;

    load_nimbra_texture("./data/config/nimbra.tga");
    load_korvel_texture("./data/config/korvel.tga");
    load_sphere_button_tex();
    create_text();
    create_sphere_button();
    create_docks();
    create_find_widgets();
    create_circle_widgets();
    create_card();
    init_scene();

    m_eye_pos = Math_Vector3(0.0f, 100000.0f, 0.0f);

    // Every frame at the full size whatever the crowd, to compare.
    const char* billboards = std::getenv("NIMBRA_BILLBOARDS");
    m_fixed_billboards = billboards && std::strcmp(billboards, "fixed") == 0;
    // The glow can be forced from outside onto every dot every frame, as sprites or as quads,
    // to compare its ways of drawing.
    const char* glow = std::getenv("NIMBRA_GLOW");
    if (glow && std::strcmp(glow, "quads") == 0) m_glow_path = GLOW_QUADS;
    if (glow && std::strcmp(glow, "sprites") == 0) m_glow_path = GLOW_SPRITES;
    m_draw_throttle.start();
    m_draw_throttle.set_while_waiting([this] {
        if (m_while_drawing) m_while_drawing();
    });
    const GLubyte* renderer = glGetString(GL_RENDERER);
    m_glow_software =
        OGL_DrawThrottle::renders_in_software(reinterpret_cast<const char*>(renderer));
    m_glow_budget = GFX_GlowBudget(m_glow_software);
}

// The themes first: the widgets made here take their colours from the current theme.
void UTL_SimCtrlNimbra::init_scene() {
    read_themes();

    // Called once from start; whatever a previous call made is released, not leaked.
    delete m_billboard_texture;
    delete m_color_ball_texture;
    delete m_widget_texture;
    delete m_top_bar_texture;
    delete m_locator_texture;
    delete m_color_ball;
    release_ball_meshes();
    m_billboard_texture = m_color_ball_texture = m_widget_texture = nullptr;
    m_top_bar_texture = m_locator_texture = nullptr;
    m_color_ball = nullptr;
    m_selected_holder = nullptr;
    m_ray_origin = m_ray_dir = m_mouse_window = Math_Vector3();

    load_billboard_texture("./data/config/billboard.tga");
    m_color_ball = new GFX_ColorBall(kBallMeshSize);
    load_color_ball_texture("./data/config/color_ball.tga");
    load_widget_texture("./data/config/widget.tga");
    load_top_bar_texture("./data/config/top_bar.tga");
    load_locator_texture("./data/config/locator.tga");

    create_navigation_widgets();
    create_rotate_buttons();

    delete m_foto_texture_boss;
    m_foto_texture_boss = new UTL_FotoTextureBoss(m_foto_settings);
    m_foto_texture_boss->start();
}

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::update(int w, int h, float dt) {
    if (!(dt <= kMaxStep)) dt = kMaxStep;  // also NaN
    if (dt < kMinStep) dt = kMinStep;

    for (unsigned int key : kReleasedKeys)
        if (get_key_status(key)) key_up(key, 0);

    m_view_width = w;
    m_view_height = h;
    glViewport(0, 0, w, h);
    m_widget_screen.m_width = static_cast<float>(w);
    m_widget_screen.m_height = static_cast<float>(h);
    update_find_input();
    // NOTE: a minimised window reports a zero size; the projection must still be finite.
    const float aspect = (w > 0 && h > 0) ? static_cast<float>(w) / static_cast<float>(h) : 1.0f;

    m_clear_color = m_color_theme.m_background_color;
    enable_fog();
    glClearColor(m_clear_color.m_x, m_clear_color.m_y, m_clear_color.m_z, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(m_fov, aspect, m_near_plane, m_far_plane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    update_circles(dt);
    update_rotation(dt);
    if (m_cam_transition) update_glide();
    update_camera_keys();

    if (m_camera) {
        m_camera->update();
        m_camera->apply();
        m_frustum.set_frustum(m_fov, aspect, m_near_plane, m_far_plane);
        m_frustum.update(m_camera->m_eye, m_camera->m_center, m_camera->m_up);
    }

    const float x = m_mouse.m_x, y = m_mouse.m_y;
    {
        Math_Vector3 p0, p1;
        if (m_ogl && m_ogl->window_to_model(Math_Vector3(x, y, 0.0f), p0) &&
            m_ogl->window_to_model(Math_Vector3(x, y, 1.0f), p1)) {
            mouse_move(Math_Vector3(x, y, 1.0f), p0, p1 - p0);
        } else {
            mouse_move(Math_Vector3(x, y, 1.0f), m_ray_origin, m_ray_dir);
        }
    }

    mouse_move_buttons(x, y);
    update_buttons(dt);
    update_navigation_widgets(dt);

    if (m_mouse_down_event) {
        m_mouse_down_event = false;
        if (!mouse_down_buttons(x, y)) {
            m_dragging = true;
            m_drag_moved = false;
            m_drag_yaw_step = m_drag_pitch_step = 0.0f;
            m_drag_last_x = m_mouse_window.m_x;
            m_drag_last_y = m_mouse_window.m_y;
        }
    }
    if (m_mouse_up_event) {
        m_mouse_up_event = false;
        if (!mouse_up_buttons(x, y)) mouse_up();
    }
    if (m_mouse_dbl_clk_event) m_mouse_dbl_clk_event = false;
    update_hover(dt);
    update_billboard_sizes();
    update_card();

    if (m_camera) m_eye_pos = m_camera->m_eye;
    const GLfloat light[4] = {m_eye_pos.m_x, m_eye_pos.m_y, m_eye_pos.m_z, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);

    update_impostor_orientation();
    set_impostor_orientation(m_impostor_up, m_impostor_right);

    draw();
    release_unused_photos();

    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, double(w > 0 ? w : 1), 0.0, double(h > 0 ? h : 1), -100.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    draw_buttons();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();

    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    m_draw_throttle.end_frame();
    m_num_frames++;
}

void UTL_SimCtrlNimbra::finish_frame() { m_draw_throttle.finish(); }

// Modes: 0 counts idle time and picks a motion after 50 s (1 and 2 with probability 0.4 each,
// 3 with 0.2); 1 and 2 turn the globe; 3 selects a random person every 1.5 s between glides.
void UTL_SimCtrlNimbra::update_rotation(float dt) {
    switch (m_rotate_mode) {
        case 0:
            m_rotate_timer += dt;
            if (m_rotate_timer > kIdleSeconds) {
                m_rotate_timer = 0.0f;
                int k = static_cast<int>(Math_Random(0.0f, 2.5f));
                if (k < 0) k = 0;
                if (k > 2) k = 2;
                m_rotate_mode = k + 1;
                activate_rotate_button(k);
            }
            break;
        case 1:
            rotate_camera(dt * -kTurnRate, 0.0f);
            break;
        case 2:
            rotate_camera(dt * kTurnRate, 0.0f);
            break;
        case 3:
            if (m_cam_transition) break;
            m_rotate_timer += dt;
            if (m_rotate_timer > kJumpSeconds) {
                m_rotate_timer = 0.0f;
                const int count = static_cast<int>(m_loc_holders.size());
                if (count == 0) break;
                int k = static_cast<int>(Math_Random(0.0f, static_cast<float>(count)));
                if (k < 0) k = 0;
                if (k > count - 1) k = count - 1;
                select_loc_holder(m_loc_holders[k]);
            }
            break;
        default:
            break;
    }
}

// One glide step towards (m_cam_target_lr, m_cam_target_ud): the azimuth the short way round,
// a tenth of the difference per frame but never more than 6 degrees, the elevation eased by a
// tenth; done when both are within a degree.
void UTL_SimCtrlNimbra::update_glide() {
    if (!m_camera) {
        m_cam_transition = false;
        return;
    }
    // NOTE: people nearer a pole than the camera's elevation limit (the first and last of a
    // layout of more than about 260) lie beyond its reach; aiming at the limit lets the glide
    // end instead of running for ever and blocking the random jumps.
    float target_ud = m_cam_target_ud;
    if (target_ud > m_camera->m_max_up_down) target_ud = m_camera->m_max_up_down;
    if (target_ud < m_camera->m_min_up_down) target_ud = m_camera->m_min_up_down;
    float d = m_cam_target_lr - m_camera->m_left_right;
    float e = target_ud - m_camera->m_up_down;
    if (std::fabs(d) <= kGlideDone && std::fabs(e) <= kGlideDone) {
        m_cam_transition = false;
        return;
    }
    if (std::fabs(d) > kGlideDone) {
        if (d > 180.0f) d = -(360.0f - d);
        else if (d < -180.0f) d = d + 360.0f;
        float step;
        if (d > kGlideCapFrom) step = kGlideCap;
        else if (d < -kGlideCapFrom) step = -kGlideCap;
        else step = 0.1f * d;
        m_camera->set_left_right(m_camera->m_left_right + step);
    }
    e = target_ud - m_camera->m_up_down;
    if (std::fabs(e) > kGlideDone)
        m_camera->set_up_down(0.1f * target_ud + 0.9f * m_camera->m_up_down);
}

void UTL_SimCtrlNimbra::rotate_camera(float yaw, float pitch) {
    if (!m_camera) return;
    m_camera->set_left_right(m_camera->m_left_right + yaw);
    m_camera->set_up_down(m_camera->m_up_down + pitch);
}

void UTL_SimCtrlNimbra::select_loc_holder(GFX_LocationHolder* h) {
    if (!h) return;
    // A person on the way to a new place is looked for where they are going.
    m_cam_transition = true;
    m_cam_target_lr = h->target_longitude();
    m_cam_target_ud = h->target_latitude();

    for (GFX_LocationHolder* other : m_loc_holders) {
        other->set_billboard_size(billboard_size(), billboard_size());
        other->m_selected = false;
    }
    h->set_billboard_size(kSelectedBillboard, kSelectedBillboard);
    h->m_selected = true;

    set_connections_highlighted(false);
    if (auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h))
        hf->set_connections_highlighted(true);

    select_dock_friend(h);
    m_selected_holder = h;
}

void UTL_SimCtrlNimbra::set_connections_highlighted(bool on) {
    for (GFX_Connection* c : m_connections)
        if (auto* cf = dynamic_cast<GFX_ConnectionFriends*>(c)) cf->m_highlighted = on;
}

// The screen's up and right axes in world space, from the centre of the window to its top
// and right edges on the near plane. A degenerate projection keeps the previous axes.
void UTL_SimCtrlNimbra::update_impostor_orientation() {
    if (!m_ogl) return;
    const float w = static_cast<float>(m_view_width), h = static_cast<float>(m_view_height);
    Math_Vector3 pc, pu, pr;
    if (!m_ogl->window_to_model(Math_Vector3(w / 2, h / 2, 0.0f), pc) ||
        !m_ogl->window_to_model(Math_Vector3(w / 2, h, 0.0f), pu) ||
        !m_ogl->window_to_model(Math_Vector3(w, h / 2, 0.0f), pr))
        return;
    unit(pu - pc, m_impostor_up);
    unit(pr - pc, m_impostor_right);
}

void UTL_SimCtrlNimbra::set_impostor_orientation(const Math_Vector3& up,
                                                 const Math_Vector3& right) {
    m_impostor_up = up;
    m_impostor_right = right;
    // NOTE: the lines' dots face the same axes; the glow hands them to its batch once a frame
    // rather than to every line.
    for (GFX_LocationHolder* h : m_loc_holders) h->set_impostor_orientation(up, right);
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

// Locators first with depth writes, then the glow of the lines blended over them.
void UTL_SimCtrlNimbra::draw() {
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1.0f, 1.0f, 1.0f);
    draw_locators();
    draw_glow();
}

// NOTE: every state change between two draws (lighting, blending, a texture) makes the software
// renderer close one draw and set up the next, which for a few quads costs more than drawing
// them. The locators are therefore drawn piece by piece, each piece for all of them in one
// state: the balls, the frames (one draw), the people's own photos, the placeholders, and the
// names. The pieces of one locator lie in front of each other by fixed offsets, so the depth
// test keeps the picture of drawing them locator by locator, and blended pieces now come after
// every opaque one.
void UTL_SimCtrlNimbra::draw_locators() {
    // Each piece of a locator weighs, in the software renderer's queue, about as much as this
    // many dots (measured: a thousand people drawn locator by locator queued about 20 MB with a
    // weight of 2048 for the whole locator).
    constexpr long long k_piece_weight = 512;
    // The balls' transforms are undone by inverse ones, which leave rounding in the model-view
    // matrix: what follows (the glow, and the depth it is tested against) gets the camera's own.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    m_shown_holders.clear();
    for (GFX_LocationHolder* h : m_loc_holders)
        if (h->place()) m_shown_holders.push_back(h);

    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (m_color_ball_texture) m_color_ball_texture->apply();
    draw_balls(m_shown_holders);

    glDisable(GL_LIGHTING);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (m_locator_texture) m_locator_texture->apply();
    glBegin(GL_QUADS);
    for (GFX_LocationHolder* h : m_shown_holders) h->emit_frame();
    glEnd();
    m_draw_throttle.count(k_piece_weight * static_cast<long long>(m_shown_holders.size()));

    // The photos: the people's own opaque, then the placeholders blended, each kind in one
    // state; a texture of another target (a rectangle texture) switches targets.
    m_shown_photos.clear();
    for (GFX_LocationHolder* h : m_shown_holders)
        if (auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h))
            m_shown_photos.emplace_back(hf, hf->photo_quad());
    for (int own = 1; own >= 0; --own) {
        if (own) {
            glDisable(GL_BLEND);
        } else {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        GLenum target = GL_TEXTURE_2D;
        for (const auto& [hf, q] : m_shown_photos) {
            if (!q.texture || q.own != (own == 1)) continue;
            if (q.texture->get_target() != target) {
                glDisable(target);
                target = q.texture->get_target();
                glEnable(target);
            }
            hf->draw_photo(q);
            m_draw_throttle.count(k_piece_weight);
        }
        if (target != GL_TEXTURE_2D) {
            glDisable(target);
            glEnable(GL_TEXTURE_2D);
        }
    }

    // The names, blended over everything opaque.
    if (m_glyph_atlas) m_glyph_atlas->begin_billboard_lines();
    for (const auto& [hf, q] : m_shown_photos) {
        hf->draw_name(q.own);
        m_draw_throttle.count(k_piece_weight);
    }
    if (m_glyph_atlas) m_glyph_atlas->end_billboard_lines();
    glEnable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

// Photos of people out of view (the camera close to someone, the dock scrolled) are not drawn
// and so not asked for; after a while their textures go, and come back when they are drawn again.
void UTL_SimCtrlNimbra::release_unused_photos() {
    if (!m_foto_texture_boss || !(m_photo_idle_seconds >= 0.0)) return;
    const double now = UTL_FotoTextureBoss::steady_seconds();
    // A look over every photo a few times a minute is plenty for a release after a minute.
    if (now - m_photos_checked_at < std::min(5.0, m_photo_idle_seconds)) return;
    m_photos_checked_at = now;
    m_photos_released += m_foto_texture_boss->release_unused(now, m_photo_idle_seconds);
}

bool UTL_SimCtrlNimbra::in_view(const Math_Vector3& p, float radius) const {
    if (!m_camera) return true;
    for (int i = 0; i < GFX_Frustum::PLANE_COUNT; ++i)
        if (m_frustum.m_plane_norm[i].dot(p) + m_frustum.m_plane_d[i] > radius) return false;
    return true;
}

bool UTL_SimCtrlNimbra::ball_scale_and_level(const Math_Vector3& position, float size, float& s,
                                             int& level) const {
    if (!finite(position)) return false;
    s = size / kBallMeshSize;
    if (!(s >= 0.01f) || !std::isfinite(s)) s = 0.01f;
    // A ball a few pixels wide shows no more of its grid than a coarser one; with a thousand
    // balls on screen the finest grid would cost more than all the rest of the people.
    const float diameter = 2.0f * kBallMeshSize * s * pixels_per_unit(position);
    level = 0;
    if (diameter > 0.0f && diameter < kFineBallPixels) level = diameter < kCoarseBallPixels ? 2 : 1;
    return true;
}

void UTL_SimCtrlNimbra::draw_balls(const std::vector<GFX_LocationHolder*>& holders) {
    // Balls of the coarsest level share one picture, made for the size of the first of them
    // (every locator has the same); one of another size is a mesh.
    m_small_balls.clear();
    float small_size = 0.0f, small_scale = 0.0f;
    for (const GFX_LocationHolder* h : holders) {
        if (!m_ball_impostors || !m_camera) break;  // every ball a mesh
        float s;
        int level;
        if (!ball_scale_and_level(h->m_position, h->m_ball_size, s, level) || level != 2) continue;
        if (m_small_balls.empty()) {
            small_size = h->m_ball_size;
            small_scale = s;
        }
        if (h->m_ball_size == small_size) m_small_balls.push_back(h);
    }
    const float radius = kBallMeshSize * small_scale;
    const bool impostors =
        !m_small_balls.empty() && m_ball_impostor.render(radius, [this, small_scale] {
            glScalef(small_scale, small_scale, small_scale);
            // The mesh a ball of that size would be drawn with, so that it looks the same.
            draw_ball_mesh(2);
        });
    if (!impostors) m_small_balls.clear();

    // NOTE: a mesh ball weighs about as much as this many dots in the software renderer's queue.
    constexpr long long k_mesh_ball_weight = 512;
    std::size_t next_small = 0;
    for (GFX_LocationHolder* h : holders) {
        if (next_small < m_small_balls.size() && m_small_balls[next_small] == h) {
            ++next_small;
            continue;
        }
        h->draw_ball();
        m_draw_throttle.count(k_mesh_ball_weight);
    }
    if (m_small_balls.empty()) return;
    m_ball_impostor.begin();
    glBegin(GL_QUADS);
    for (const GFX_LocationHolder* h : m_small_balls)
        OGL_BallImpostor::emit(h->m_position, m_impostor_right, m_impostor_up, m_camera->m_eye,
                               radius, h->ball_color());
    glEnd();
    OGL_BallImpostor::end();
    m_draw_throttle.count(2 * static_cast<long long>(m_small_balls.size()));
}

// NOTE: the transform is undone by the inverse calls instead of a push and pop, so a ball needs
// no matrix stack slot; the rounding this leaves in the model-view matrix is far below a pixel.
void UTL_SimCtrlNimbra::draw_ball(Math_Vector3& position, Math_Vector3& color, float size) {
    float s;
    int level;
    if (!ball_scale_and_level(position, size, s, level)) return;
    glColor3f(color.m_x, color.m_y, color.m_z);
    glTranslatef(position.m_x, position.m_y, position.m_z);
    if (s != 1.0f) glScalef(s, s, s);
    draw_ball_mesh(level);
    if (s != 1.0f) glScalef(1.0f / s, 1.0f / s, 1.0f / s);
    glTranslatef(-position.m_x, -position.m_y, -position.m_z);
}

void UTL_SimCtrlNimbra::draw_ball_mesh(int level) {
    if (!m_color_ball) return;
    if (level < 0 || level >= kBallLevels) level = 0;
    if (m_ball_lists[level] == 0) {
        GFX_GroupedModel* mesh = m_color_ball;
        if (level > 0) {
            if (!m_coarse_balls[level])
                m_coarse_balls[level].reset(new GFX_ColorBall(kBallMeshSize, kBallCells[level]));
            mesh = m_coarse_balls[level].get();
        }
        const GLuint list = glGenLists(1);
        if (list == 0) {
            mesh->draw_imm_mode();
            return;
        }
        glNewList(list, GL_COMPILE);
        mesh->draw_imm_mode();
        glEndList();
        m_ball_lists[level] = list;
    }
    glCallList(m_ball_lists[level]);
}

void UTL_SimCtrlNimbra::release_ball_meshes() {
    for (int level = 0; level < kBallLevels; ++level) {
        if (m_ball_lists[level] != 0) glDeleteLists(m_ball_lists[level], 1);
        m_ball_lists[level] = 0;
        m_coarse_balls[level].reset();
    }
}

float UTL_SimCtrlNimbra::pixels_per_unit(const Math_Vector3& p) const {
    if (!m_camera || m_view_height <= 0) return 0.0f;
    const float d = (p - m_camera->m_eye).length();
    const float t = std::tan(m_fov * 0.5f * 3.14159265f / 180.0f);
    if (!(d > 0.0f) || !(t > 0.0f) || !std::isfinite(d)) return 0.0f;
    return static_cast<float>(m_view_height) / (2.0f * d * t);
}

void UTL_SimCtrlNimbra::position_to_color(Math_Vector3& position, Math_Vector3& color) {
    for (int i = 0; i < 3; ++i) color[i] = clamp01((position[i] * kColorScale + 1.0f) * 0.5f);
}

// Linear fog from 0.8 to 1.1 times the far plane, in the background colour: the far side of
// the globe fades into the sky.
void UTL_SimCtrlNimbra::enable_fog() {
    if (m_has_fog_distance) glFogi(GL_FOG_DISTANCE_MODE_NV, GL_EYE_RADIAL_NV);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    const GLfloat color[4] = {m_clear_color.m_x, m_clear_color.m_y, m_clear_color.m_z, 1.0f};
    glFogfv(GL_FOG_COLOR, color);
    glFogf(GL_FOG_DENSITY, 0.99f);
    glFogf(GL_FOG_START, 0.8f * m_far_plane);
    glFogf(GL_FOG_END, 1.1f * m_far_plane);
    glEnable(GL_FOG);
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::mouse_moved(int x, int y, int a, int b, unsigned int state) {
    m_mouse = UTL_Point(static_cast<float>(x), static_cast<float>(y));
    UTL_SimCtrlRoot::mouse_moved(x, y, a, b, state);
}

void UTL_SimCtrlNimbra::mouse_down(int x, int y, unsigned int flags) {
    m_mouse_down_event = true;
    m_mouse = UTL_Point(static_cast<float>(x), static_cast<float>(y));
    UTL_SimCtrlRoot::mouse_down(x, y, flags);
}

void UTL_SimCtrlNimbra::mouse_up(int x, int y, unsigned int flags) {
    m_mouse_up_event = true;
    m_mouse_up_shift = (flags & KEY_SHIFT) != 0;
    m_mouse = UTL_Point(static_cast<float>(x), static_cast<float>(y));
    UTL_SimCtrlRoot::mouse_up(x, y, flags);
}

void UTL_SimCtrlNimbra::mouse_dbl_clk(int x, int y, unsigned int flags) {
    m_mouse_dbl_clk_event = true;
    m_mouse = UTL_Point(static_cast<float>(x), static_cast<float>(y));
    UTL_SimCtrlRoot::mouse_dbl_clk(x, y, flags);
}

// Drag state over press, move and release:
//   press on the scene   -> dragging, not moved
//   move (any step)      -> camera turns by the step; a step of 3 px or more marks it moved
//   release, moved       -> flick: the last azimuth step beyond +-1.5 degrees starts a spin
//   release, not moved   -> click: pick the nearest locator under the pointer
void UTL_SimCtrlNimbra::mouse_move(const Math_Vector3& window, const Math_Vector3& origin,
                                   const Math_Vector3& dir) {
    m_mouse_window = window;
    unit(dir, m_ray_dir);
    if (finite(origin)) m_ray_origin = origin;

    if (!m_dragging) return;
    const float dx = window.m_x - m_drag_last_x;
    const float dy = window.m_y - m_drag_last_y;
    if (std::fabs(dx) >= kMovedPixels || std::fabs(dy) >= kMovedPixels) m_drag_moved = true;
    m_drag_last_x = window.m_x;
    m_drag_last_y = window.m_y;
    m_drag_yaw_step = kYawPerPixel * dx;
    m_drag_pitch_step = kPitchPerPixel * dy;
    rotate_camera(m_drag_yaw_step, m_drag_pitch_step);
}

void UTL_SimCtrlNimbra::mouse_up() {
    if (m_dragging && m_drag_moved) {
        if (m_drag_yaw_step > kFlickStep) {
            activate_rotate_button(1);
            m_cam_transition = false;
            m_rotate_mode = 2;
        } else if (m_drag_yaw_step < -kFlickStep) {
            activate_rotate_button(0);
            m_cam_transition = false;
            m_rotate_mode = 1;
        }
        m_drag_yaw_step = m_drag_pitch_step = 0.0f;
    } else if (m_dragging) {
        // With Shift, a click on another person shows the chain to them from the selected one.
        GFX_LocationHolder* hit = pick_loc_holder();
        auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(hit);
        GFX_Friend* from = selected_friend();
        if (m_mouse_up_shift && hf && hf->m_friend && from && from != hf->m_friend)
            show_chain(from, hf->m_friend);
        else if (hit) select_loc_holder(hit);
    }
    m_dragging = false;
    m_drag_moved = false;
}

// ---------------------------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::load_nimbra_texture(const char* path) {
    load_texture(&m_nimbra_texture, path, GL_CLAMP_TO_EDGE, false);
}

void UTL_SimCtrlNimbra::load_korvel_texture(const char* path) {
    load_texture(&m_korvel_texture, path, GL_CLAMP_TO_EDGE, false);
}

void UTL_SimCtrlNimbra::load_sphere_button_tex() {
    load_texture(&m_sphere_button_texture, "./data/config/sphere_button.tga", GL_CLAMP_TO_EDGE,
                 true);
}

void UTL_SimCtrlNimbra::load_billboard_texture(const char* path) {
    load_texture(&m_billboard_texture, path, GL_CLAMP_TO_EDGE, true);
}

void UTL_SimCtrlNimbra::load_color_ball_texture(const char* path) {
    load_texture(&m_color_ball_texture, path, GL_CLAMP_TO_EDGE, true);
}

void UTL_SimCtrlNimbra::load_widget_texture(const char* path) {
    load_texture(&m_widget_texture, path, GL_CLAMP_TO_EDGE, true);
}

void UTL_SimCtrlNimbra::load_top_bar_texture(const char* path) {
    load_texture(&m_top_bar_texture, path, GL_REPEAT, true);
}

void UTL_SimCtrlNimbra::load_locator_texture(const char* path) {
    load_texture(&m_locator_texture, path, GL_CLAMP_TO_EDGE, true);
}
