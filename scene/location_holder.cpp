// GFX_LocationHolder and GFX_LocationHolderFriend: placing a locator's ball and frame, the
// frame's side easing, and drawing ball, frame, photo and name.
#include "scene/location_holder.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "controller/color_theme.h"
#include "controller/sim_ctrl_nimbra.h"
#include "gfx/glyph_atlas.h"
#include "gfx/ogl_texture.h"
#include "gfx/text.h"
#include "photos/texture_foto.h"
#include "scene/billboard.h"
#include "scene/connection.h"
#include "scene/foto.h"
#include "scene/friend.h"
#include "util/image.h"

namespace {

// A long name may shrink to this fraction of its height before it is cut.
constexpr float kMinNameScale = 0.6f;
// Names whose letters would show fewer pixels high than this are not drawn.
constexpr float kMinNamePixels = 4.0f;

float sign(float v) { return v > 0.0f ? 1.0f : (v < 0.0f ? -1.0f : 0.0f); }

// Moves an eased side factor a quarter of the way to its target; a factor above 1 has never
// been placed and jumps straight there.
float ease_side(float offset, float target) {
    return offset > 1.0f ? target : 0.75f * offset + 0.25f * target;
}

// NOTE: binds texture 0 first. A texture whose file did not read never uploads and its apply()
// binds nothing; without this the quad would be textured with whatever was bound last (a
// photo, the font sheet) instead of showing its plain colour.
void apply_or_untextured(OGL_Texture* texture) {
    glBindTexture(GL_TEXTURE_2D, 0);
    if (texture) texture->apply();
}

// The globe's direction of a longitude and latitude in degrees (+y north, longitude 0 along
// +x, 90 along +z), and back.
Math_Vector3 direction_of(float longitude, float latitude) {
    const double lon = double(longitude) * M_PI / 180.0, lat = double(latitude) * M_PI / 180.0;
    return Math_Vector3(static_cast<float>(std::cos(lon) * std::cos(lat)),
                        static_cast<float>(std::sin(lat)),
                        static_cast<float>(std::sin(lon) * std::cos(lat)));
}

void angles_of(const Math_Vector3& d, float& longitude, float& latitude) {
    const double y = std::max(-1.0, std::min(1.0, double(d.m_y)));
    latitude = static_cast<float>(std::asin(y) * 180.0 / M_PI);
    longitude = static_cast<float>(std::atan2(double(d.m_z), double(d.m_x)) * 180.0 / M_PI);
}

}  // namespace

// --- Construction and destruction ----------------------------------------------------------

GFX_LocationHolder::GFX_LocationHolder(UTL_SimCtrlNimbra* controller)
    : m_controller(controller), m_billboard(new GFX_Billboard(Math_Vector3(), 1000.0f, 1000.0f)) {}

GFX_LocationHolder::~GFX_LocationHolder() { delete m_billboard; }

GFX_LocationHolderFriend::GFX_LocationHolderFriend(UTL_SimCtrlNimbra* controller)
    : GFX_LocationHolder(controller) {}

GFX_LocationHolderFriend::~GFX_LocationHolderFriend() {
    for (GFX_ConnectionFriends* c : m_connections) c->detach_holder(this);
    m_connections.clear();
    // The controller's index of locators by uid must not hand this one out again.
    if (m_controller) ++m_controller->m_layout_version;
}

void GFX_LocationHolder::set_billboard_size(float width, float height) {
    if (!m_billboard) return;
    m_billboard->m_width = width;
    m_billboard->m_height = height;
}

void GFX_LocationHolder::set_impostor_orientation(const Math_Vector3& up,
                                                  const Math_Vector3& right) {
    if (m_billboard) m_billboard->set_impostor_orientation(up, right);
}

void GFX_LocationHolderFriend::set_connections_highlighted(bool on) {
    for (GFX_ConnectionFriends* c : m_connections) c->m_highlighted = on;
}

void GFX_LocationHolderFriend::detach_connection(GFX_ConnectionFriends* c) {
    auto it = std::find(m_connections.begin(), m_connections.end(), c);
    if (it != m_connections.end()) m_connections.erase(it);
}

// --- Per-frame update ----------------------------------------------------------------------

void GFX_LocationHolder::glide_to(float longitude, float latitude, float seconds) {
    m_glide_from = direction_of(m_longitude, m_latitude);
    m_glide_to = direction_of(longitude, latitude);
    m_glide_longitude = longitude;
    m_glide_latitude = latitude;
    m_glide_time = 0.0f;
    m_glide_seconds = seconds;
    if (!(seconds > 0.0f) || (longitude == m_longitude && latitude == m_latitude)) {
        m_glide_seconds = 0.0f;
        m_longitude = longitude;
        m_latitude = latitude;
    }
}

// Along the great circle from the old place to the new, by an eased share of the way (slow at
// both ends); places on opposite sides of the globe go round through a quarter turn from the
// old place, since any great circle joins them.
bool GFX_LocationHolder::update_glide(float dt) {
    if (!gliding()) return false;
    m_glide_time += std::max(dt, 0.0f);
    if (!(m_glide_time < m_glide_seconds)) {
        m_glide_seconds = 0.0f;
        m_longitude = m_glide_longitude;
        m_latitude = m_glide_latitude;
        return true;
    }
    const float t = m_glide_time / m_glide_seconds;
    const double s = t * t * (3.0 - 2.0 * t);
    const Math_Vector3& a = m_glide_from;
    double cosine = std::max(-1.0, std::min(1.0, double(a.dot(m_glide_to))));
    Math_Vector3 b = m_glide_to;
    double angle = std::acos(cosine);
    if (cosine < -0.9999) {
        // Any direction square to the old place will do.
        b = a.cross(std::fabs(a.m_y) < 0.9f ? Math_Vector3(0, 1, 0) : Math_Vector3(1, 0, 0));
        b.normalize();
        b = a * static_cast<float>(std::cos(M_PI * s)) + b * static_cast<float>(std::sin(M_PI * s));
        angles_of(b, m_longitude, m_latitude);
        return true;
    }
    Math_Vector3 d;
    if (angle < 1e-6) {
        d = a + (b - a) * static_cast<float>(s);
    } else {
        const double sa = std::sin(angle);
        d = a * static_cast<float>(std::sin((1.0 - s) * angle) / sa) +
            b * static_cast<float>(std::sin(s * angle) / sa);
    }
    angles_of(d, m_longitude, m_latitude);
    return true;
}

void GFX_LocationHolder::compute_position() {
    if (m_controller) m_position = m_controller->compute_position(m_longitude, m_latitude);
    place_billboard();
}

void GFX_LocationHolder::place_billboard() {
    if (!m_billboard) return;
    GFX_Billboard& b = *m_billboard;
    // The side is the sign of the ball's direction on each screen axis; the length of the
    // position does not change a sign, so it is not normalised (a zero position gives 0).
    m_offset_up = ease_side(m_offset_up, sign(m_position.dot(b.m_up)));
    m_offset_right = ease_side(m_offset_right, sign(m_position.dot(b.m_right)));

    // The frame's inner corner sits 0.75 ball sizes from the centre along both axes, at the
    // rim of the ball, on the side away from the globe's centre on screen.
    b.m_position = m_position;
    b.m_position += b.m_up * ((0.5f * b.m_height + 0.75f * m_ball_size) * m_offset_up);
    b.m_position += b.m_right * ((0.5f * b.m_width + 0.75f * m_ball_size) * m_offset_right);
    b.update_vertex_position();
    b.shift_vertex_position();
}

// --- Drawing -------------------------------------------------------------------------------

Math_Vector3 GFX_LocationHolder::ball_color() const {
    if (!m_controller) return Math_Vector3(1.0f, 1.0f, 1.0f);
    Math_Vector3 color = m_controller->m_color_theme.m_connection_color;
    m_controller->locator_color(this, color);
    return color;
}

void GFX_LocationHolder::draw_ball() {
    if (!m_controller) return;
    Math_Vector3 color = ball_color();
    m_controller->draw_ball(m_position, color, m_ball_size);
}

bool GFX_LocationHolder::place() {
    if (!m_controller) return false;
    compute_position();
    // The ball, the frame beside it and the name in front of it lie within this of the ball.
    float reach = 1.5f * m_ball_size;
    if (m_billboard) {
        const GFX_Billboard& b = *m_billboard;
        reach += (b.m_position - m_position).length() +
                 0.5f * std::sqrt(b.m_width * b.m_width + b.m_height * b.m_height);
    }
    // With room to spare, so that rounding never decides whether a visible pixel is drawn.
    m_in_view = m_controller->in_view(m_position, 1.25f * reach + m_ball_size);
    return m_in_view;
}

void GFX_LocationHolder::emit_frame() {
    if (!m_controller || !m_billboard) return;
    const UTL_ColorTheme& theme = m_controller->m_color_theme;
    m_billboard->m_color =
        m_selected ? theme.m_locator_billboard_color_sel : theme.m_locator_billboard_color;
    // Arranged by circles, a frame takes the hue of its person's circle.
    if (!m_selected) m_controller->frame_color(this, m_billboard->m_color);
    m_billboard->draw();
}

void GFX_LocationHolder::draw() {
    if (!place()) return;
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    apply_or_untextured(m_controller->m_color_ball_texture);
    draw_ball();

    glDisable(GL_LIGHTING);
    apply_or_untextured(m_controller->m_locator_texture);
    glBegin(GL_QUADS);
    emit_frame();
    glEnd();
}

void GFX_LocationHolderFriend::draw() {
    GFX_LocationHolder::draw();
    if (!m_friend || !m_controller || !m_billboard || !m_in_view) return;
    const PhotoQuad q = photo_quad();
    if (q.texture) {
        glDisable(GL_LIGHTING);
        if (q.own) {
            glDisable(GL_BLEND);
        } else {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        q.texture->enable();
        draw_photo(q);
        q.texture->disable();
        glEnable(GL_LIGHTING);
    }
    if (!m_selected && q.own) return;
    GFX_GlyphAtlas* atlas = m_controller->m_glyph_atlas;
    if (atlas) atlas->begin_billboard_lines();
    draw_name(q.own);
    if (atlas) atlas->end_billboard_lines();
}

GFX_LocationHolderFriend::PhotoQuad GFX_LocationHolderFriend::photo_quad() const {
    PhotoQuad q;
    if (!m_friend || !m_billboard) return q;
    const GFX_Billboard& b = *m_billboard;
    // The large photo only on the selected locator; everywhere else the square one.
    GFX_Foto* photo;
    float scale;
    if (m_selected && m_friend->m_foto) {
        photo = m_friend->m_foto;
        q.own = m_friend->m_has_foto;
        scale = 0.675f;
    } else {
        photo = m_friend->m_foto_square;
        q.own = m_friend->m_has_foto_square;
        scale = m_selected ? 0.675f : 0.9f;
    }
    if (!photo) return q;
    OGL_TextureFoto* texture = photo->get_texture();
    if (!texture || !texture->has_pixels()) return q;
    q.texture = texture;
    int image_width = 0, image_height = 0;
    if (const GFX_Image* image = texture->get_image()) {
        image_width = static_cast<int>(image->m_width);
        image_height = static_cast<int>(image->m_height);
    }
    float a, bh;
    photo_extent(scale, image_width, image_height, a, bh);
    const Math_Vector3 M =
        (b.m_vertices[0] + b.m_vertices[1] + b.m_vertices[2] + b.m_vertices[3]) * 0.25f;
    const Math_Vector3 rw = b.m_right * (a * b.m_width);
    const Math_Vector3 uh = b.m_up * (bh * b.m_height);
    const Math_Vector3 front = b.m_right.cross(b.m_up) * 10.0f;  // in front of the frame
    q.corners[0] = M - rw - uh + front;
    q.corners[1] = M + rw - uh + front;
    q.corners[2] = M + rw + uh + front;
    q.corners[3] = M - rw + uh + front;
    return q;
}

void GFX_LocationHolderFriend::draw_photo(const PhotoQuad& q) const {
    if (!q.texture || !m_controller) return;
    if (q.own) {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    } else {
        // The question-mark placeholder, tinted like the name and blended by its alpha.
        const UTL_ColorTheme& theme = m_controller->m_color_theme;
        const Math_Vector3& c =
            m_selected ? theme.m_locator_text_color_sel : theme.m_locator_text_color;
        glColor3f(c.m_x, c.m_y, c.m_z);
    }
    q.texture->draw_quad_in_state(q.corners[0], q.corners[1], q.corners[2], q.corners[3]);
}

void GFX_LocationHolderFriend::draw_name(bool own) {
    // A locator that is not selected and shows the person's own photo has no name.
    if (!m_friend || !m_controller || !m_billboard || (!m_selected && own)) return;
    const std::string& name = m_friend->m_name;
    if (name.empty()) return;
    const UTL_ColorTheme& theme = m_controller->m_color_theme;
    const GFX_Billboard& b = *m_billboard;
    const Math_Vector3 M =
        (b.m_vertices[0] + b.m_vertices[1] + b.m_vertices[2] + b.m_vertices[3]) * 0.25f;
    const Math_Vector3 U = b.m_up;
    const Math_Vector3 R = b.m_right;
    const Math_Vector3 N = R.cross(U);
    const float W = b.m_width;
    const float H = b.m_height;
    const Math_Vector3 color =
        m_selected ? theme.m_locator_text_color_sel : theme.m_locator_text_color;
    float cw, ch;
    name_extent(W, H, name.size(), cw, ch);
    if (GFX_GlyphAtlas* atlas = m_controller->m_glyph_atlas) {
        // Names in any script, ch high and centred like the bitmap font's; a name wider than
        // 0.9 W is drawn smaller, down to kMinNameScale of that height, and cut beyond. The
        // glyphs are rendered at about the size they show on screen, which keeps small names
        // sharp without mipmaps.
        const float on_screen = ch * m_controller->pixels_per_unit(M);
        // Letters a few pixels high are a smudge, not a name; thousands of them would cost
        // more than everything else the people need.
        if (on_screen < kMinNamePixels) return;
        const int px = GFX_GlyphAtlas::size_for(on_screen);
        const float scale = ch / static_cast<float>(px);
        const float max_width = 0.9f * W;
        const float layout_width = max_width / (scale * kMinNameScale);
        if (m_name_generation != atlas->generation() || m_name_px != px ||
            m_name_max_width != layout_width || m_name_laid_out != name) {
            m_name_line = atlas->layout(name, px, layout_width);
            // Read after the layout, which may itself have emptied the texture to make room.
            m_name_generation = atlas->generation();
            m_name_px = px;
            m_name_max_width = layout_width;
            m_name_laid_out = name;
        }
        const GFX_TextLine& line = m_name_line;
        const float s = line.m_width * scale > max_width ? max_width / line.m_width : scale;
        const Math_Vector3 middle = M - U * (0.825f * 0.5f * H) + N * 20.0f;
        const Math_Vector3 origin = middle - U * (0.5f * (line.m_ascent - line.m_descent) * s) -
                                    R * (0.5f * line.m_width * s);
        atlas->draw_billboard_line(line, origin, R, U, s, color);
        return;
    }
    GFX_Text* text = m_controller->m_text;
    if (!text) return;
    const Math_Vector3 origin = M - U * (0.825f * 0.5f * H) - U * (0.5f * ch) -
                                R * (cw * static_cast<float>(name.size()) * 0.5f) + N * 20.0f;
    apply_or_untextured(nullptr);  // a font sheet that did not read binds nothing either
    text->apply();
    text->draw(origin, R, U, cw, ch, name.c_str(), color);
}

// --- Input ---------------------------------------------------------------------------------

bool GFX_LocationHolder::line_collide(const Math_Vector3& origin, const Math_Vector3& dir,
                                      float range, float& t) const {
    return m_billboard && m_billboard->line_collide(origin, dir, range, t);
}

// --- Helpers -------------------------------------------------------------------------------

void GFX_LocationHolderFriend::photo_extent(float scale, int image_width, int image_height,
                                            float& a, float& b) {
    // Without an image (not downloaded, or nothing decoded) the rectangle is the default one.
    if (image_width <= 0 || image_height <= 0) {
        a = 0.45f;
        b = 0.5f * scale;
        return;
    }
    const float w = static_cast<float>(image_width);
    const float h = static_cast<float>(image_height);
    // The photo keeps its aspect: height scale * H unless its width would pass 0.9 * W.
    const float r = scale * w / h;
    if (r <= 0.9001f) {
        a = 0.5f * r;
        b = 0.5f * scale;
    } else {
        a = 0.45f;
        b = 0.5f * 0.9f * h / w;
    }
}

void GFX_LocationHolderFriend::name_extent(float width, float height, std::size_t n, float& cw,
                                           float& ch) {
    ch = 0.25f * height * 0.55f;
    cw = 0.5f * ch;
    if (n > 0) cw = std::min(cw, 0.9f * width / static_cast<float>(n));
}
