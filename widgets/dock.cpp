// GFX_Dock and its thumbnails: easing, scroll limits, layout, magnification, the ruler, press,
// drag and click, and drawing.
#include "widgets/dock.h"

#include "controller/color_theme.h"
#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_texture.h"
#include "scene/foto.h"
#include "scene/friend.h"
#include "widgets/widget.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

// Sizes move this share of the way to their targets per update.
constexpr float SIZE_KEEP = 0.66999996f;
constexpr float SIZE_TAKE = 0.33f;
// The scroll moves a tenth of the way to its target per update, at most this far.
constexpr float SCROLL_EASE = 0.1f;
constexpr float SCROLL_STEP_MAX = 128.0f;
// Thumbnails this many steps or more from the pointer do not swell.
constexpr int MAGNIFY_REACH = 6;
// The photo lies this far inside its thumbnail's frame.
constexpr float PHOTO_INSET = 4.0f;

UTL_ColorTheme theme_of(const UTL_SimCtrlNimbra* controller) {
    return controller ? controller->m_color_theme : UTL_ColorTheme();
}

void begin_flat_overlay() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
}

void end_flat_overlay() {
    glEnable(GL_LIGHTING);
    glDisable(GL_BLEND);
}

}  // namespace

// ==== GFX_WidgetDocked ======================================================================

// --- Construction --------------------------------------------------------------------------

GFX_WidgetDocked::GFX_WidgetDocked(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}

// --- Per-frame update ----------------------------------------------------------------------

void GFX_WidgetDocked::update() {
    m_width = SIZE_KEEP * m_width + SIZE_TAKE * m_target_width;
    m_height = SIZE_KEEP * m_height + SIZE_TAKE * m_target_height;
}

// --- Drawing -------------------------------------------------------------------------------

void GFX_WidgetDocked::draw() {
    const UTL_ColorTheme theme = theme_of(m_controller);
    GFX_Widget::apply_texture(m_controller ? m_controller->m_widget_texture : nullptr);
    begin_flat_overlay();
    glColor4fv((m_selected ? theme.m_button_color_sel : theme.m_button_color).data());
    GFX_Widget::draw_textured_quad(m_left, m_right, m_top, m_bottom);
    end_flat_overlay();
}

// --- Input ---------------------------------------------------------------------------------

bool GFX_WidgetDocked::mouse_down(float x, float y) {
    m_pressed = is_inside(x, y);
    return m_pressed;
}

bool GFX_WidgetDocked::mouse_up(float x, float y) {
    const bool click = m_pressed && is_inside(x, y);
    m_pressed = false;
    return click;
}

// --- Helpers -------------------------------------------------------------------------------

void GFX_WidgetDocked::set_width(float width) {
    m_width = width;
    m_target_width = width;
}

void GFX_WidgetDocked::set_height(float height) {
    m_height = height;
    m_target_height = height;
}

void GFX_WidgetDocked::get_rect(float& left, float& right, float& top, float& bottom) const {
    left = m_left;
    right = m_right;
    top = m_top;
    bottom = m_bottom;
}

void GFX_WidgetDocked::set_rect(float left, float right, float top, float bottom) {
    m_left = left;
    m_right = right;
    m_top = top;
    m_bottom = bottom;
}

bool GFX_WidgetDocked::is_inside(float x, float y) const {
    return m_left - 1.0f <= x && x <= m_right + 1.0f && m_bottom - 1.0f <= y && y <= m_top + 1.0f;
}

// ==== GFX_WidgetDockedFriend ================================================================

GFX_WidgetDockedFriend::GFX_WidgetDockedFriend(UTL_SimCtrlNimbra* controller, GFX_Friend* f)
    : GFX_WidgetDocked(controller), m_friend(f) {}

void GFX_WidgetDockedFriend::draw() {
    GFX_WidgetDocked::draw();
    if (!m_friend) return;
    GFX_Foto* foto = m_friend->m_foto_square ? m_friend->m_foto_square : m_friend->m_foto;
    if (!foto) return;
    const float left = m_left + PHOTO_INSET;
    const float right = m_right - PHOTO_INSET;
    const float top = m_top - PHOTO_INSET;
    const float bottom = m_bottom + PHOTO_INSET;
    if (right <= left || top <= bottom) return;  // a thumbnail too small to hold a photo

    const bool own = m_friend->m_foto_square ? m_friend->m_has_foto_square : m_friend->m_has_foto;
    if (own) {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glDisable(GL_BLEND);
    } else {
        // The placeholder takes the colour of a person's name.
        const UTL_ColorTheme theme = theme_of(m_controller);
        const Math_Vector3& tint =
            m_selected ? theme.m_locator_text_color_sel : theme.m_locator_text_color;
        glColor4f(tint.m_x, tint.m_y, tint.m_z, 1.0f);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    foto->draw_quad(left, right, top, bottom);
    glDisable(GL_BLEND);
}

// ==== GFX_Dock ==============================================================================

// --- Construction and destruction ----------------------------------------------------------

GFX_Dock::GFX_Dock(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}

GFX_Dock::~GFX_Dock() { clear(); }

bool GFX_Dock::load_ruler_texture(const char* path) {
    if (m_ruler_texture) m_ruler_texture->unload();  // the context is current: we upload next
    delete m_ruler_texture;
    OGL_Texture2D* texture = new OGL_Texture2D();
    texture->read_from_file(path);
    texture->set_wrap_mode(GL_REPEAT);
    m_ruler_texture = texture;
    return texture->load();
}

void GFX_Dock::add_widget(GFX_WidgetDocked* widget) {
    if (!widget) return;
    widget->set_width(m_widget_size);
    widget->set_height(m_widget_size);
    m_widgets.push_back(widget);
}

void GFX_Dock::clear() {
    // The ruler's OpenGL texture, if any, goes with the context.
    delete m_ruler_texture;
    m_ruler_texture = nullptr;
    for (GFX_WidgetDocked* widget : m_widgets) delete widget;
    m_widgets.clear();
    m_clicked_widget = nullptr;
}

// --- Per-frame update ----------------------------------------------------------------------

void GFX_Dock::update(float) {
    for (GFX_WidgetDocked* widget : m_widgets) widget->update();

    const float step =
        std::clamp((m_scroll_target - m_scroll) * SCROLL_EASE, -SCROLL_STEP_MAX, SCROLL_STEP_MAX);
    m_scroll += step;
    const float limit = scroll_limit();
    if (m_scroll < 0.0f) {
        m_scroll = 0.0f;
        m_scroll_target = 0.0f;
    }
    if (m_scroll > limit) {
        m_scroll = limit;
        m_scroll_target = limit;
    }

    layout();
    update_ruler();
}

float GFX_Dock::scroll_limit() const {
    float width, height;
    view_size(width, height);
    float view_length;
    if (is_column()) {
        view_length = height;
    } else if (is_row()) {
        view_length = width;
    } else {
        return 0.0f;
    }
    const float n = float(m_widgets.size());
    const float limit = (n + 1.0f) * m_widget_size + m_widget_size_max - view_length;
    // NOTE: the limit above leaves out the one-pixel gaps, which outgrow its slack past about
    // 118 thumbnails and would cut the end of a long friend list off. So it is never less than
    // the whole run at rest (margin, thumbnails and gaps) plus room for a magnified thumbnail.
    const float run =
        m_margin + 2.0f + n * (m_widget_size + 1.0f) - 1.0f + (m_widget_size_max - m_widget_size);
    return std::max({limit, run - view_length, 0.0f});
}

void GFX_Dock::layout() {
    float W, H;
    view_size(W, H);
    bool first_selected = true;
    float left = 0.0f, right = 0.0f, top = 0.0f, bottom = 0.0f;
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        GFX_WidgetDocked* widget = m_widgets[i];
        const float w = widget->m_width;
        const float h = widget->m_height;
        // Each thumbnail starts one pixel beyond the one before it.
        switch (m_orientation) {
            case LEFT_COLUMN:
                left = 2.0f + m_ruler_width;
                top = i == 0 ? H - 2.0f - m_margin + m_scroll : bottom - 1.0f;
                right = left + w;
                bottom = top - h;
                break;
            case RIGHT_COLUMN:
                right = W - 2.0f - m_ruler_width;
                top = i == 0 ? H - 2.0f - m_margin + m_scroll : bottom - 1.0f;
                left = right - w;
                bottom = top - h;
                break;
            case TOP_ROW:
                left = i == 0 ? m_margin - m_scroll + 2.0f : right + 1.0f;
                top = H - 2.0f - m_ruler_width;
                right = left + w;
                bottom = top - h;
                break;
            case BOTTOM_ROW:
                left = i == 0 ? m_margin - m_scroll + 2.0f : right + 1.0f;
                bottom = 2.0f + m_ruler_width;
                right = left + w;
                top = bottom + h;
                break;
            default:
                return;  // no edge to lay out along
        }
        widget->set_rect(left, right, top, bottom);

        if (widget->m_selected && first_selected) {
            first_selected = false;
            if (m_scroll_to_selected) {
                if (is_column()) {
                    if (bottom < 0.0f) {
                        m_scroll_target = m_scroll - bottom;
                    } else if (top > H) {
                        m_scroll_target = m_scroll - (top - H);
                    }
                } else {
                    if (left < 0.0f) {
                        m_scroll_target = m_scroll + left;
                    } else if (right > W) {
                        m_scroll_target = m_scroll + (right - W);
                    }
                }
            }
        }
    }
    // A one-shot request: with no selected thumbnail there is nothing to bring into view.
    m_scroll_to_selected = false;
}

void GFX_Dock::update_ruler() {
    m_ruler_rect = Rect();
    bool first = true;
    for_each_ruler_cell([&](float left, float right, float top, float bottom) {
        if (first) {
            m_ruler_rect = Rect{left, right, top, bottom};
            first = false;
            return;
        }
        m_ruler_rect.m_left = std::min(m_ruler_rect.m_left, left);
        m_ruler_rect.m_right = std::max(m_ruler_rect.m_right, right);
        m_ruler_rect.m_top = std::max(m_ruler_rect.m_top, top);
        m_ruler_rect.m_bottom = std::min(m_ruler_rect.m_bottom, bottom);
    });
    if (first && (is_column() || is_row())) {
        // No cells: an empty strip at the start of the run.
        float W, H;
        view_size(W, H);
        if (is_column()) {
            const float left = m_orientation == LEFT_COLUMN ? 1.0f : W - 1.0f - m_ruler_width;
            const float top = H - 1.0f - m_margin + m_scroll;
            m_ruler_rect = Rect{left, left + m_ruler_width, top, top};
        } else {
            const float bottom = m_orientation == BOTTOM_ROW ? 1.0f : H - 1.0f - m_ruler_width;
            const float left = m_margin - m_scroll + 1.0f;
            m_ruler_rect = Rect{left, left, bottom + m_ruler_width, bottom};
        }
    }
}

// --- Drawing -------------------------------------------------------------------------------

// NOTE: only the thumbnails in the window are drawn: a drawn thumbnail loads its photo, and a
// dock of thousands of friends, most of them scrolled out of sight, would otherwise hold a
// texture for each of them.
void GFX_Dock::draw() {
    float W, H;
    view_size(W, H);
    for (GFX_WidgetDocked* widget : m_widgets) {
        if (widget->m_top < 0.0f || widget->m_bottom > H || widget->m_right < 0.0f ||
            widget->m_left > W)
            continue;
        widget->draw();
    }
    if (m_ruler_width > 0.0f) draw_ruler();
}

void GFX_Dock::draw_ruler() {
    const UTL_ColorTheme theme = theme_of(m_controller);
    GFX_Widget::apply_texture(m_ruler_texture);
    begin_flat_overlay();
    glColor4fv((m_ruler_drag ? theme.m_button_color_sel : theme.m_button_color).data());
    for_each_ruler_cell(GFX_Widget::draw_textured_quad);
    end_flat_overlay();
}

// --- Input ---------------------------------------------------------------------------------

bool GFX_Dock::mouse_move(float x, float y) {
    if (m_pressed) {
        const float before = m_scroll;
        // The run follows the pointer: up for a column, sideways for a row.
        if (is_column()) {
            m_scroll += y - m_last_y;
        } else if (is_row()) {
            m_scroll -= x - m_last_x;
        }
        m_scroll_target = m_scroll;  // no easing while dragging
        m_drag_distance += std::fabs(m_scroll - before);
        m_last_x = x;
        m_last_y = y;
    }
    if (!m_ruler_drag) {
        for (size_t i = 0; i < m_widgets.size(); ++i) {
            if (m_widgets[i]->is_inside(x, y)) {
                increase_size(int(i));
                return true;
            }
        }
    }
    for (GFX_WidgetDocked* widget : m_widgets) {
        widget->m_target_width = m_widget_size;
        widget->m_target_height = m_widget_size;
    }
    return m_ruler_drag;
}

bool GFX_Dock::mouse_down(float x, float y) {
    // A new press ends whatever drag a lost release left behind.
    m_ruler_drag = false;
    for (GFX_WidgetDocked* widget : m_widgets) {
        if (widget->mouse_down(x, y)) {
            begin_press(x, y);
            return true;
        }
    }
    if (is_inside_ruler(x, y)) {
        m_ruler_drag = true;
        begin_press(x, y);
        return true;
    }
    return false;
}

bool GFX_Dock::mouse_up(float x, float y) {
    m_pressed = false;
    m_ruler_drag = false;
    // Every thumbnail hears the release so none stays pressed.
    GFX_WidgetDocked* released_on = nullptr;
    for (GFX_WidgetDocked* widget : m_widgets) {
        if (widget->mouse_up(x, y) && !released_on) released_on = widget;
    }
    if (released_on && m_drag_distance < CLICK_DRAG_LIMIT) {
        m_clicked_widget = released_on;
        return true;
    }
    return false;
}

// --- Helpers -------------------------------------------------------------------------------

void GFX_Dock::increase_size(int index) {
    for (size_t j = 0; j < m_widgets.size(); ++j) {
        const long d = long(j) - long(index);
        float size = m_widget_size;
        if (std::labs(d) < MAGNIFY_REACH) {
            size += (m_widget_size_max - m_widget_size) * float(std::exp(-double(d * d) / 2.42));
        }
        m_widgets[j]->m_target_width = size;
        m_widgets[j]->m_target_height = size;
    }
}

bool GFX_Dock::is_inside_ruler(float x, float y) const {
    if (m_ruler_width <= 0.0f) return false;
    return m_ruler_rect.m_left - 1.0f <= x && x <= m_ruler_rect.m_right + 1.0f &&
           m_ruler_rect.m_bottom - 1.0f <= y && y <= m_ruler_rect.m_top + 1.0f;
}

void GFX_Dock::view_size(float& width, float& height) const {
    width = m_controller ? float(m_controller->m_view_width) : 0.0f;
    height = m_controller ? float(m_controller->m_view_height) : 0.0f;
}

void GFX_Dock::begin_press(float x, float y) {
    m_pressed = true;
    m_last_x = x;
    m_last_y = y;
    m_drag_distance = 0.0f;
}

template <typename Visit>
void GFX_Dock::for_each_ruler_cell(Visit visit) const {
    float W, H;
    view_size(W, H);
    // Each cell is as long as its thumbnail plus the gap, so the cells meet.
    switch (m_orientation) {
        case LEFT_COLUMN:
        case RIGHT_COLUMN: {
            const float left = m_orientation == LEFT_COLUMN ? 1.0f : W - 1.0f - m_ruler_width;
            float top = H - 1.0f - m_margin + m_scroll;
            for (const GFX_WidgetDocked* widget : m_widgets) {
                const float bottom = top - (widget->m_height + 1.0f);
                visit(left, left + m_ruler_width, top, bottom);
                top = bottom;
            }
            break;
        }
        case TOP_ROW:
        case BOTTOM_ROW: {
            const float bottom = m_orientation == BOTTOM_ROW ? 1.0f : H - 1.0f - m_ruler_width;
            float left = m_margin - m_scroll + 1.0f;
            for (const GFX_WidgetDocked* widget : m_widgets) {
                const float right = left + (widget->m_width + 1.0f);
                visit(left, right, bottom + m_ruler_width, bottom);
                left = right;
            }
            break;
        }
        default:
            break;
    }
}
