// UTL_SimCtrlNimbra: the glow of the friendship lines, the last part of the 3D pass. While the
// camera moves, a budget of dots that follows the frame time; at rest, every dot. Also the two
// ways that draw every dot every frame: point sprites from vertex buffers, and quads.
#include "controller/sim_ctrl_nimbra.h"

#include "gfx/ogl_depth_tiles.h"
#include "gfx/ogl_point_sprites.h"
#include "gfx/ogl_render_target.h"
#include "gfx/ogl_texture.h"
#include "scene/camera.h"
#include "scene/connection.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

// Dots planned and drawn at a time when a frame draws every dot of every line, so the arrays
// they pass through stay small however many lines there are.
constexpr long long kFullDetailPiece = 65536;
// A frame at rest adds this many budgets of dots to the picture being drawn whole, and shows
// half a budget of the dots still missing, thinned.
constexpr long long kRefineFactor = 3;
// While the camera moves, the faint lines' dots are drawn into a layer this many times smaller
// each way than the window and smoothed up over it.
constexpr int kMovingShrink = 2;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

// The dots of all lines under one texture binding, blended over the locators with depth writes
// off so that they blend with each other in any order.
//
// NOTE: three ways draw the dots. The budgeted glow (GLOW_AUTO) plans each frame's dots on the
// CPU and streams them as point sprites: a moving frame draws what its budget allows, a frame at
// rest every dot, and no dot is kept between frames. GLOW_SPRITES keeps every dot in vertex
// buffers between frames and draws them all every frame: on a GPU the cheapest way to draw
// everything, on a software renderer the heaviest in memory. Both need vertex buffers (the
// sprites), point sprites, point parameters and a largest point at least as wide as the nearest
// dot; where one is missing (or NIMBRA_GLOW=quads asks, to compare) the dots are built as
// camera-facing quads every frame, which any OpenGL 1.1 draws.
void UTL_SimCtrlNimbra::draw_glow() {
    // The time since the last glow pass is the last frame's: it teaches the budget, when that
    // frame was drawn under it.
    const auto now = std::chrono::steady_clock::now();
    if (m_glow_budget_frame && m_glow_plan)
        m_glow_budget.frame_took(std::chrono::duration<double>(now - m_glow_frame_start).count(),
                                 m_glow_plan->figures().planned);
    m_glow_frame_start = now;
    m_glow_budget_frame = false;

    glEnable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    m_glow_drew_sprites = false;
    m_glow_drew_budget = false;
    m_glow_drew_coarse = false;
    m_glow_drew_whole = false;
    if (m_billboard_texture) {
        m_billboard_texture->apply();
        if (m_glow_path == GLOW_AUTO) m_glow_drew_budget = draw_glow_budgeted();
        if (!m_glow_drew_budget) {
            m_glow_drew_sprites = draw_glow_sprites();
            if (!m_glow_drew_sprites) draw_glow_quads();
            m_glow_drew_whole = true;
        }
    }
    glDisable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glDepthMask(GL_TRUE);
    glColor3f(1.0f, 1.0f, 1.0f);
}

bool UTL_SimCtrlNimbra::draw_glow_budgeted() {
    float pixels_per_unit = 0.0f;
    int margin = 0;
    if (!glow_sprite_view(pixels_per_unit, margin)) return false;
    if (!m_glow_plan) m_glow_plan.reset(new GFX_GlowPlan(1.25f * get_radius()));
    GFX_GlowPlan& plan = *m_glow_plan;
    const GFX_GlowPlan::Change change = plan.look(m_connections);
    const bool moved = glow_view_moved();
    const bool recoloured = m_color_theme != m_glow_theme;
    m_glow_theme = m_color_theme;

    GFX_GlowPlan::Camera camera;
    camera.pixels_per_unit = pixels_per_unit;
    camera.near_plane = m_near_plane;
    if (m_camera) {
        camera.eye = m_camera->m_eye;
        camera.forward = m_camera->m_center - m_camera->m_eye;
        const float length = camera.forward.length();
        if (length > 0.0f) camera.forward = camera.forward / length;
        camera.view = &m_frustum;
    }
    // What the people drawn so far hide need not be drawn. The window's depth is read at rest
    // (the picture being drawn whole holds only while it stays) and, on a software renderer,
    // while moving too: there the read costs less than the dots it saves (ego 107 at rest:
    // about 3 dots in 10 lie behind photos and balls). A GPU draws them faster than it is read.
    const bool moving = moved || recoloured || change == GFX_GlowPlan::CHANGED;
    if (!m_glow_depth) m_glow_depth.reset(new OGL_DepthTiles());
    if (moving && !(m_glow_software && m_glow_occlusion)) m_glow_depth->clear();
    else if (m_glow_depth->read() && m_glow_occlusion) camera.hidden_by = m_glow_depth.get();
    if (moving) {
        // Moving: the budget, spent where the eye looks; the picture at rest starts again.
        m_glow_cursor = GFX_GlowPlan::Cursor();
        m_glow_layer_started = false;
        // The budget counts dots drawn: the plan is asked for as many more as the last one
        // found hidden (up to four times as many, less a tenth for a view that hides fewer),
        // and planned again within the budget itself should this one hide fewer still.
        const long long budget = m_glow_budget.budget();
        const double share = camera.hidden_by ? std::max(0.25, m_glow_shown_share) : 1.0;
        const double ask = share < 1.0 ? 0.9 * static_cast<double>(budget) / share : budget;
        plan.plan_budget(camera, static_cast<long long>(ask));
        const GFX_GlowPlan::Figures& figures = plan.figures();
        if (figures.planned + figures.hidden > 0)
            m_glow_shown_share = static_cast<double>(figures.planned) /
                                 static_cast<double>(figures.planned + figures.hidden);
        if (share < 1.0 && figures.planned > std::max(budget, figures.highlighted))
            plan.plan_budget(camera, budget);
        if (!draw_glow_moving(pixels_per_unit, margin))
            plan.draw(pixels_per_unit, margin, &m_draw_throttle);
        m_glow_budget_frame = true;
        m_glow_layer_lines = plan.lines();
        m_glow_layer_highlighted = plan.figures().highlighted;
        return true;
    }
    if (change == GFX_GlowPlan::APPENDED) {
        // Lines arrived while the picture stands still: faint ones join it at the end of the
        // order every dot is drawn in; a highlighted one belongs before all faint dots, so the
        // picture starts again.
        if (plan.figures().highlighted != m_glow_layer_highlighted) {
            m_glow_cursor = GFX_GlowPlan::Cursor();
            m_glow_layer_started = false;
        } else if (m_glow_cursor.done()) {
            m_glow_cursor.phase = 1;
            m_glow_cursor.line = m_glow_layer_lines;
        }
        m_glow_layer_lines = plan.lines();
        m_glow_layer_highlighted = plan.figures().highlighted;
    }
    if (!draw_glow_layer(camera, pixels_per_unit, margin))
        draw_glow_whole(camera, pixels_per_unit, margin);
    return true;
}

// NOTE: a software renderer spends a moving frame's glow mostly filling the dots' pixels, and
// the faint lines' soft dots lose next to nothing drawn at half the resolution and smoothed up:
// a quarter of the fill. The highlighted lines, whose dots the eye follows, are drawn first and
// sharp into the window; the faint ones after them into the layer, which draw_over() lays over
// them as if they had been drawn there.
bool UTL_SimCtrlNimbra::draw_glow_moving(float pixels_per_unit, int margin) {
    if (m_glow_moving_failed || m_glow_layer_failed) return false;
    // A budget that holds every dot (a GPU's, soon) draws them all sharp into the window.
    const GFX_GlowPlan::Figures& planned = m_glow_plan->figures();
    if (planned.spacing == 0.0f && planned.lines_left_out == 0) return false;
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    OGL_RenderTarget* target =
        glow_target(m_glow_moving_layer, m_glow_moving_failed, viewport, kMovingShrink);
    if (!target) return false;
    OGL_RenderTarget& layer = *target;
    // Highlighted lines beyond the budget by themselves (the user's lines to thousands of
    // friends) go into the layer too: all of their dots, at the layer's resolution.
    GFX_GlowPlan& plan = *m_glow_plan;
    const bool sharp = planned.highlighted <= m_glow_budget.budget();
    if (sharp) plan.draw(pixels_per_unit, margin, &m_draw_throttle, GFX_GlowPlan::HIGHLIGHTED_DOTS);
    const GFX_GlowPlan::Dots in_layer = sharp ? GFX_GlowPlan::FAINT_DOTS : GFX_GlowPlan::ALL_DOTS;
    if (!layer.begin()) {
        // Still drawing into the window: the dots go there, sharp, from now on.
        m_glow_moving_failed = true;
        plan.draw(pixels_per_unit, margin, &m_draw_throttle, in_layer);
        return true;
    }
    OGL_RenderTarget::clear();
    OGL_RenderTarget::blend_into_layer();
    glViewport(0, 0, layer.width(), layer.height());
    plan.draw(pixels_per_unit / kMovingShrink, margin / kMovingShrink + 1, &m_draw_throttle,
              in_layer);
    OGL_RenderTarget::end();
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    layer.draw_over();
    m_glow_drew_coarse = true;
    return true;
}

OGL_RenderTarget* UTL_SimCtrlNimbra::glow_target(std::unique_ptr<OGL_RenderTarget>& target,
                                                 bool& failed, const GLint viewport[4],
                                                 int shrink) {
    if (failed) return nullptr;
    if (!target) {
        if (!OGL_RenderTarget::supported()) {
            failed = true;
            return nullptr;
        }
        target.reset(new OGL_RenderTarget());
    }
    if (!target->resize(viewport[2], viewport[3], shrink)) {
        failed = true;
        return nullptr;
    }
    return target.get();
}

bool UTL_SimCtrlNimbra::draw_glow_layer(const GFX_GlowPlan::Camera& camera, float pixels_per_unit,
                                        int margin) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (!glow_target(m_glow_layer, m_glow_layer_failed, viewport, 1)) return false;
    // NOTE: the layer's dots were hidden behind the locators of the frames that drew them; when
    // what lies under the glow changes without the camera moving (a photo arrives, a ball
    // fades in, a person glides), the layer no longer holds and the picture starts again.
    if (m_glow_layer_started && !m_glow_depth->same_depth(m_glow_layer_depth)) {
        m_glow_cursor = GFX_GlowPlan::Cursor();
        m_glow_layer_started = false;
    }
    if (!m_glow_layer_started) m_glow_layer_depth = *m_glow_depth;
    GFX_GlowPlan& plan = *m_glow_plan;
    const long long budget = m_glow_budget.budget();
    if (!m_glow_cursor.done()) {
        // The next piece, blended into the layer as it would be into the window, hidden where
        // the window's locators hide it.
        if (!m_glow_layer->begin()) {
            m_glow_layer_failed = true;
            return false;
        }
        if (!m_glow_layer_started) OGL_RenderTarget::clear();
        m_glow_layer_started = true;
        OGL_RenderTarget::blend_into_layer();
        plan.plan_full(m_glow_cursor, kRefineFactor * budget, camera.hidden_by);
        plan.draw(pixels_per_unit, margin, &m_draw_throttle);
        OGL_RenderTarget::end();
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    m_glow_layer->draw_over();
    if (!m_glow_cursor.done()) {
        // Until the layer holds every dot, the dots it lacks are shown thinned over it.
        plan.plan_rest(camera, m_glow_cursor, budget / 2);
        plan.draw(pixels_per_unit, margin, &m_draw_throttle);
    }
    m_glow_drew_whole = m_glow_cursor.done();
    return true;
}

void UTL_SimCtrlNimbra::draw_glow_whole(const GFX_GlowPlan::Camera& camera, float pixels_per_unit,
                                        int margin) {
    GFX_GlowPlan::Cursor cursor;
    while (!cursor.done()) {
        m_glow_plan->plan_full(cursor, kFullDetailPiece, camera.hidden_by);
        m_glow_plan->draw(pixels_per_unit, margin, &m_draw_throttle);
    }
    m_glow_cursor = cursor;
    m_glow_drew_whole = true;
}

bool UTL_SimCtrlNimbra::glow_view_moved() {
    std::array<float, 36> view{};
    glGetFloatv(GL_MODELVIEW_MATRIX, view.data());
    glGetFloatv(GL_PROJECTION_MATRIX, view.data() + 16);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    for (int i = 0; i < 4; ++i) view[32 + i] = static_cast<float>(viewport[i]);
    const bool moved = view != m_glow_view;
    m_glow_view = view;
    return moved;
}

bool UTL_SimCtrlNimbra::glow_sprite_view(float& pixels_per_unit, int& margin) {
    if (!OGL_PointSprites::supported()) return false;
    pixels_per_unit = OGL_PointSprites::pixels_per_unit();
    float smallest = 0.0f, largest = 0.0f;
    if (!(pixels_per_unit > 0.0f) || !OGL_PointSprites::size_range(smallest, largest)) return false;
    // The nearest a dot comes to the eye: the lines run inside the globe's sphere, the camera
    // comes no nearer its centre than its nearest distance to its target point allows, and
    // nothing nearer than the near plane is drawn. A window so large that a dot there would be
    // wider than the largest point the driver draws takes quads.
    float nearest = m_near_plane;
    if (m_camera) {
        const float eye_to_centre =
            std::min(m_camera->m_min_distance, m_camera->m_distance) - m_camera->m_center.length();
        nearest = std::max(eye_to_centre - get_radius(), m_near_plane);
    }
    const float widest = GFX_DotSprites::k_highlighted_size * pixels_per_unit / nearest;
    if (!(widest <= largest)) return false;
    // Edges: a point vanishes whole once its centre leaves the view, so the sprites are drawn
    // into a view wider by half the widest dot on every side (as far as the driver's largest
    // viewport allows), and a dot leaving the window slides out of it as a quad would.
    GLint viewport[4], largest_view[2];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largest_view);
    margin = static_cast<int>(std::ceil(widest * 0.5f)) + 1;
    margin = std::min(
        {margin, (largest_view[0] - viewport[2]) / 2, (largest_view[1] - viewport[3]) / 2});
    margin = std::max(margin, 0);
    return true;
}

bool UTL_SimCtrlNimbra::draw_glow_sprites() {
    if (m_glow_path == GLOW_QUADS || m_glow_sprites_failed) return false;
    if (!GFX_DotSprites::supported()) {
        m_glow_sprites_failed = true;
        return false;
    }
    float pixels_per_unit = 0.0f;
    int margin = 0;
    if (!glow_sprite_view(pixels_per_unit, margin)) return false;
    if (!m_glow_sprites) m_glow_sprites.reset(new GFX_DotSprites(1.25f * get_radius()));
    if (!m_glow_sprites->update(m_connections, m_color_theme)) {
        m_glow_sprites.reset();
        m_glow_sprites_failed = true;
        return false;
    }
    m_glow_sprites->draw(pixels_per_unit, margin, &m_draw_throttle);
    return true;
}

void UTL_SimCtrlNimbra::draw_glow_quads() {
    if (!m_glow_batch) m_glow_batch.reset(new GFX_DotBatch());
    // The view volume of this frame's camera; without a camera it was never set.
    m_glow_batch->set_view(m_camera ? &m_frustum : nullptr);
    m_glow_batch->set_throttle(&m_draw_throttle);
    m_glow_batch->set_axes(m_impostor_right, m_impostor_up);
    for (GFX_Connection* c : m_connections) c->draw(*m_glow_batch);
    m_glow_batch->flush();
}
