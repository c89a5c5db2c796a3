// GFX_Widget: anchored placement, hit test and the flat textured quad every overlay control
// draws.
#include "widgets/widget.h"

#include "gfx/ogl_texture.h"

#include <GL/gl.h>

namespace {

// Keeps a point on the nominal left or bottom edge outside the rectangle.
constexpr float EDGE_EPSILON = 0.0001f;

// The screen point a location names; the origin without a screen or for an unknown location.
void anchor_origin(const GFX_WidgetScreen* screen, GFX_Widget::Location location, float& ox,
                   float& oy) {
    ox = 0.0f;
    oy = 0.0f;
    if (!screen) return;
    const float w = screen->m_width;
    const float h = screen->m_height;
    switch (location) {
        case GFX_Widget::TOP_LEFT:
            oy = h;
            break;
        case GFX_Widget::TOP_RIGHT:
            ox = w;
            oy = h;
            break;
        case GFX_Widget::BOTTOM_LEFT:
            break;
        case GFX_Widget::BOTTOM_RIGHT:
            ox = w;
            break;
        case GFX_Widget::MIDDLE_LEFT:
            oy = h / 2.0f;
            break;
        case GFX_Widget::MIDDLE_RIGHT:
            ox = w;
            oy = h / 2.0f;
            break;
        case GFX_Widget::TOP_CENTER:
            ox = w / 2.0f;
            oy = h;
            break;
        case GFX_Widget::BOTTOM_CENTER:
            ox = w / 2.0f;
            break;
        case GFX_Widget::CENTER:
            ox = w / 2.0f;
            oy = h / 2.0f;
            break;
        default:
            break;
    }
}

}  // namespace

// --- Construction and destruction ----------------------------------------------------------

GFX_Widget::GFX_Widget(GFX_WidgetScreen* screen, float x, float y, float width, float height,
                       Location location, const Math_Vector4& color)
    : m_screen(screen),
      m_color(color),
      m_location(location),
      m_x(x),
      m_y(y),
      m_width(width),
      m_height(height) {}

GFX_Widget::~GFX_Widget() { clear(); }

bool GFX_Widget::load_texture(const char* path) {
    if (m_texture) m_texture->unload();  // the context is current: we are about to upload
    clear();
    OGL_Texture2D* texture = new OGL_Texture2D();
    texture->read_from_file(path);
    texture->set_wrap_mode(GL_REPEAT);
    m_texture = texture;
    return texture->load();
}

void GFX_Widget::clear() {
    // The OpenGL texture, if any, goes with the context.
    delete m_texture;
    m_texture = nullptr;
}

// --- Per-frame update ----------------------------------------------------------------------

void GFX_Widget::update(float) {}

// --- Drawing -------------------------------------------------------------------------------

void GFX_Widget::draw() { draw_rect(m_color); }

void GFX_Widget::draw_rect(const Math_Vector4& color) {
    float left, right, top, bottom;
    compute_rect(left, right, top, bottom);
    apply_texture(m_texture);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    glColor4fv(color.data());
    draw_textured_quad(left, right, top, bottom);
    glEnable(GL_LIGHTING);
    glDisable(GL_BLEND);
}

void GFX_Widget::draw_textured_quad(float left, float right, float top, float bottom) {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(left, bottom, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(right, bottom, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(right, top, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(left, top, 0.0f);
    glEnd();
}

void GFX_Widget::apply_texture(OGL_Texture* texture) {
    if (texture) {
        texture->apply();
        if (texture->get_name() != 0 && glIsTexture(texture->get_name())) {
            glEnable(texture->get_target());
            return;
        }
    }
    glDisable(GL_TEXTURE_2D);
}

// --- Input ---------------------------------------------------------------------------------

bool GFX_Widget::mouse_move(float, float) { return false; }

bool GFX_Widget::mouse_down(float, float) { return false; }

bool GFX_Widget::mouse_up(float, float) { return false; }

// --- Helpers -------------------------------------------------------------------------------

void GFX_Widget::compute_rect(float& left, float& right, float& top, float& bottom) {
    float ox, oy;
    anchor_origin(m_screen, m_location, ox, oy);
    left = ox + m_x + EDGE_EPSILON;
    right = ox + m_x + m_width;
    bottom = oy + m_y + EDGE_EPSILON;
    top = oy + m_y + m_height;
}

bool GFX_Widget::is_inside(float x, float y) {
    float left, right, top, bottom;
    compute_rect(left, right, top, bottom);
    return left <= x && x <= right && bottom <= y && y <= top;
}
