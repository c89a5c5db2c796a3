// GFX_Connection and GFX_ConnectionFriends: the dotted line between two points and the
// friendship line that finds, and keeps in step with, the locators of its two people;
// GFX_DotBatch: the arrays their dots are drawn from as quads; GFX_DotSprites: the buffers they
// are kept in between frames and drawn from as point sprites.
#include "scene/connection.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/frustum.h"
#include "gfx/ogl_draw_throttle.h"
#include "gfx/ogl_point_sprites.h"
#include "scene/friend.h"
#include "scene/location_holder.h"

namespace {

constexpr float k_dot_spacing = 90.0f;
constexpr float k_dot_size = 90.0f;
constexpr float k_highlighted_dot_size = 125.0f;
// Added to the radius of what is tested against the view volume, so rounding in the planes
// can never leave out a dot that touches the screen.
constexpr float k_view_margin = 10.0f;
// Far more intervals than a line across the globe has (about 123); beyond it the length can
// only come from broken positions, and converting it to int would overflow.
constexpr float k_max_intervals = 1.0e6f;

// Dots the sprite buffers stage before handing them to the driver.
constexpr long long k_stage_dots = 8192;
// The smallest buffer made, in dots, and the most dots kept (4 GB of buffer): more can only come
// from broken positions.
constexpr long long k_min_capacity = 4096;
constexpr long long k_max_dots = 1LL << 28;
// Updates without new lines after which the sprite buffers give back their spare room.
constexpr int k_settled_updates = 50;
constexpr size_t k_position_bytes = 3 * sizeof(int16_t);
constexpr size_t k_colour_bytes = 4;

uint8_t to_byte(float c) {
    if (!(c > 0.0f)) return 0;  // also NaN
    return c >= 1.0f ? 255 : static_cast<uint8_t>(c * 255.0f + 0.5f);
}

uint32_t pack(const Math_Vector3& c) {
    return uint32_t(to_byte(c.m_x)) | uint32_t(to_byte(c.m_y)) << 8 |
           uint32_t(to_byte(c.m_z)) << 16;
}

Math_Vector3 unpack(uint32_t c) {
    return Math_Vector3(float(c & 255u), float((c >> 8) & 255u), float((c >> 16) & 255u)) / 255.0f;
}

// The locator still shows the person of that uid.
bool shows(const GFX_LocationHolderFriend* h, const std::string& uid) {
    return h->m_friend != nullptr && h->m_friend->m_uid == uid;
}

}  // namespace

// --- Construction and destruction ----------------------------------------------------------

GFX_DotBatch::GFX_DotBatch(int capacity) : m_capacity(capacity > 0 ? capacity : 1) {
    m_vertices.resize(static_cast<size_t>(m_capacity) * 4 * k_floats);
    m_tex_coords.reserve(static_cast<size_t>(m_capacity) * 8);
    for (int i = 0; i < m_capacity; ++i)
        m_tex_coords.insert(m_tex_coords.end(), {0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f});
}

GFX_Connection::GFX_Connection(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}

GFX_ConnectionFriends::GFX_ConnectionFriends(UTL_SimCtrlNimbra* controller)
    : GFX_Connection(controller) {}

GFX_ConnectionFriends::~GFX_ConnectionFriends() {
    // The locators may outlive the line (clear_connections alone): leave no pointer to it.
    if (m_holder1) m_holder1->detach_connection(this);
    if (m_holder2) m_holder2->detach_connection(this);
}

void GFX_Connection::set_end_colors(const Math_Vector3& at_start, const Math_Vector3& at_end) {
    m_end_colors[0] = pack(at_start);
    m_end_colors[1] = pack(at_end);
    m_has_end_colors = true;
}

void GFX_ConnectionFriends::set_uids(const char* uid1, const char* uid2) {
    m_uid1 = uid1 ? uid1 : "";
    m_uid2 = uid2 ? uid2 : "";
}

void GFX_ConnectionFriends::detach_holder(GFX_LocationHolderFriend* h) {
    if (m_holder1 == h) m_holder1 = nullptr;
    if (m_holder2 == h) m_holder2 = nullptr;
}

// --- Per-frame update ----------------------------------------------------------------------

bool GFX_ConnectionFriends::refresh() {
    if (!m_controller) return false;
    find_ends();
    if (!m_holder1 || !m_holder2) return false;
    // The ball centres, read every frame so the line follows a new layout.
    m_start = m_holder1->m_position;
    m_end = m_holder2->m_position;
    m_dot_size = m_highlighted ? k_highlighted_dot_size : k_dot_size;
    m_dot_alpha = m_highlighted ? 1.0f : m_alpha;
    return true;
}

void GFX_ConnectionFriends::find_ends() {
    // Re-points one end: out of the old locator's list, into the new one's, at most once each.
    auto relink = [this](GFX_LocationHolderFriend*& end, GFX_LocationHolderFriend* found) {
        if (found == end) return;
        if (end) end->detach_connection(this);
        if (found) found->m_connections.push_back(this);
        end = found;
    };
    // An end whose locator now shows somebody else (the layout moved people) is looked for again.
    if (m_holder1 && !shows(m_holder1, m_uid1)) relink(m_holder1, nullptr);
    if (m_holder2 && !shows(m_holder2, m_uid2)) relink(m_holder2, nullptr);
    if (m_holder1 && m_holder2) return;

    GFX_LocationHolderFriend* h1 = nullptr;
    GFX_LocationHolderFriend* h2 = nullptr;
    m_controller->find_locators(m_uid1.c_str(), m_uid2.c_str(), &h1, &h2);
    relink(m_holder1, h1);
    relink(m_holder2, h2);
}

// --- Drawing -------------------------------------------------------------------------------

void GFX_DotBatch::add(const Math_Vector3& centre, const Math_Vector3& right,
                       const Math_Vector3& up, const Math_Vector3& color, float alpha) {
    if (m_count == m_capacity) flush();
    float* v = &m_vertices[static_cast<size_t>(m_count) * 4 * k_floats];
    // NOTE: the same operations in the same order as GFX_Billboard::update_vertex_position, so
    // the corners come out bit for bit as a billboard's would.
    const Math_Vector3 corners[4] = {centre - right - up, centre + right - up, centre + right + up,
                                     centre - right + up};
    for (const Math_Vector3& c : corners) {
        v[0] = c.m_x;
        v[1] = c.m_y;
        v[2] = c.m_z;
        v[3] = color.m_x;
        v[4] = color.m_y;
        v[5] = color.m_z;
        v[6] = alpha;
        v += k_floats;
    }
    ++m_count;
}

void GFX_DotBatch::flush() {
    if (m_count == 0) return;
    // The frame leaves a normal array enabled for the meshes; the dots have none.
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_INDEX_ARRAY);
    glDisableClientState(GL_EDGE_FLAG_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    const GLsizei stride = k_floats * sizeof(float);
    glVertexPointer(3, GL_FLOAT, stride, m_vertices.data());
    glColorPointer(4, GL_FLOAT, stride, m_vertices.data() + 3);
    glTexCoordPointer(2, GL_FLOAT, 0, m_tex_coords.data());
    glDrawArrays(GL_QUADS, 0, 4 * m_count);
    glPopClientAttrib();
    if (m_throttle) m_throttle->count(2LL * m_count);
    m_drawn += m_count;
    m_count = 0;
}

GFX_DotBatch::Where GFX_DotBatch::classify(const Math_Vector3& centre, float radius) const {
    if (!m_view) return INSIDE;
    Where where = INSIDE;
    for (int i = 0; i < GFX_Frustum::PLANE_COUNT; ++i) {
        // NOTE: a NaN plane (a degenerate camera) fails both tests and culls nothing.
        const float distance = m_view->m_plane_norm[i].dot(centre) + m_view->m_plane_d[i];
        if (distance > radius) return OUTSIDE;
        if (distance > -radius) where = PARTLY;
    }
    return where;
}

void GFX_Connection::draw(GFX_DotBatch& batch) { draw_dots(batch); }

void GFX_Connection::draw_dots(GFX_DotBatch& batch) {
    const Math_Vector3 d = m_end - m_start;
    const float length = d.length();
    const int n = dot_count(length);
    if (n <= 1) return;
    const Math_Vector3 u = d / length;
    const float step = length / static_cast<float>(n);
    // Size and screen axes are the same for every dot of the line.
    const Math_Vector3 right = batch.right() * (0.5f * m_dot_size);
    const Math_Vector3 up = batch.up() * (0.5f * m_dot_size);
    // A sphere round a dot holds its corners; one round the segment holds all its dots. A line
    // wholly in view needs no test per dot, one wholly out of view none at all.
    const float dot_radius = 0.75f * m_dot_size + k_view_margin;
    const GFX_DotBatch::Where where =
        batch.classify(m_start + d * 0.5f, 0.5f * length + dot_radius);
    if (where == GFX_DotBatch::OUTSIDE) {
        batch.count_skipped(n - 1);
        return;
    }
    for (int k = 1; k < n; ++k) {
        Math_Vector3 p = m_start + u * (static_cast<float>(k) * step);
        if (where == GFX_DotBatch::PARTLY &&
            batch.classify(p, dot_radius) == GFX_DotBatch::OUTSIDE) {
            batch.count_skipped(1);
            continue;
        }
        // The dots shade from one end's colour to the other's.
        batch.add(p, right, up, dot_color(p, static_cast<float>(k) / static_cast<float>(n)),
                  m_dot_alpha);
    }
}

void GFX_ConnectionFriends::draw(GFX_DotBatch& batch) {
    if (refresh()) draw_dots(batch);
}

// --- Helpers -------------------------------------------------------------------------------

Math_Vector3 GFX_Connection::dot_color(const Math_Vector3& p, float t) const {
    if (m_has_end_colors) {
        const Math_Vector3 a = unpack(m_end_colors[0]), b = unpack(m_end_colors[1]);
        return a + (b - a) * t;
    }
    Math_Vector3 color = m_color;
    Math_Vector3 place = p;
    if (m_controller) m_controller->position_to_color(place, color);
    return color;
}

int GFX_Connection::dot_count(float length) {
    if (!(length > 0.0f) || !std::isfinite(length)) return 0;
    const float intervals = length / k_dot_spacing;
    if (intervals >= k_max_intervals) return 0;
    return static_cast<int>(intervals);
}

// --- GFX_DotSprites ------------------------------------------------------------------------

// Streams dots into a range's buffer from a dot index on, positions, colours or both, through
// the owner's staging arrays; hands them over when the stage is full, on a jump and at the end.
class GFX_DotSprites::Writer {
public:
    Writer(GFX_DotSprites& owner, Range& range, bool positions, bool colours)
        : m_owner(owner), m_range(range), m_positions(positions), m_colours(colours) {
        m_owner.m_staged_positions.resize(k_stage_dots * 3);
        m_steps_per_unit = 1.0f / m_owner.m_unit;
        m_owner.m_staged_colours.resize(k_stage_dots * 4);
    }
    ~Writer() { flush(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void seek(long long at) {
        if (at == m_at + m_count) return;
        flush();
        m_at = at;
    }
    void add(const Math_Vector3& p, const uint8_t rgba[4]) {
        int16_t* v = &m_owner.m_staged_positions[static_cast<size_t>(m_count) * 3];
        v[0] = to_steps(p.m_x);
        v[1] = to_steps(p.m_y);
        v[2] = to_steps(p.m_z);
        std::copy(rgba, rgba + 4, &m_owner.m_staged_colours[static_cast<size_t>(m_count) * 4]);
        if (++m_count == k_stage_dots) flush();
    }
    void flush() {
        if (m_count == 0) return;
        const auto at = static_cast<size_t>(m_at), n = static_cast<size_t>(m_count);
        if (m_positions) {
            m_range.buffer.write(at * k_position_bytes, m_owner.m_staged_positions.data(),
                                 n * k_position_bytes);
            m_owner.m_work.positions += m_count;
        }
        if (m_colours) {
            const size_t colours_at = static_cast<size_t>(m_range.capacity) * k_position_bytes;
            m_range.buffer.write(colours_at + at * k_colour_bytes, m_owner.m_staged_colours.data(),
                                 n * k_colour_bytes);
            m_owner.m_work.colours += m_count;
        }
        m_at += m_count;
        m_count = 0;
    }

private:
    // A coordinate in steps of the owner's unit, rounded; beyond the reach (only broken
    // positions) clamped.
    int16_t to_steps(float c) const {
        const float steps = std::round(c * m_steps_per_unit);
        if (!(steps > -32767.0f)) return -32767;  // also NaN
        return steps < 32767.0f ? static_cast<int16_t>(steps) : int16_t(32767);
    }

    GFX_DotSprites& m_owner;
    Range& m_range;
    float m_steps_per_unit = 1.0f;
    bool m_positions;
    bool m_colours;
    long long m_at = 0;
    long long m_count = 0;
};

namespace {

// The dots of a line at the same places, in the same order and the same colours as the quads
// draw them (GFX_Connection::draw_dots), with one opacity.
template <typename Add>
void line_dots(GFX_Connection& line, const Math_Vector3& start, const Math_Vector3& end,
               float alpha, Add add) {
    const Math_Vector3 d = end - start;
    const float length = d.length();
    const int n = GFX_Connection::dot_count(length);
    if (n <= 1) return;
    const Math_Vector3 u = d / length;
    const float step = length / static_cast<float>(n);
    uint8_t rgba[4] = {0, 0, 0, to_byte(alpha)};
    for (int k = 1; k < n; ++k) {
        Math_Vector3 p = start + u * (static_cast<float>(k) * step);
        const Math_Vector3 color = line.dot_color(p, static_cast<float>(k) / static_cast<float>(n));
        rgba[0] = to_byte(color.m_x);
        rgba[1] = to_byte(color.m_y);
        rgba[2] = to_byte(color.m_z);
        add(p, rgba);
    }
}

// A highlighted line's dots in the plain buffer are transparent: the highlighted buffer draws
// them, and the line keeps its place for when the selection moves on.
float opacity(bool in_highlighted_range, bool line_highlighted, float alpha) {
    return in_highlighted_range || !line_highlighted ? alpha : 0.0f;
}

}  // namespace

bool GFX_DotSprites::supported() {
    return OGL_VertexBuffer::supported() && OGL_PointSprites::supported();
}

GFX_DotSprites::Line GFX_DotSprites::look_at(GFX_Connection* line) {
    Line now;
    now.line = line;
    now.ends = line->refresh();
    if (!now.ends) return now;
    now.start = line->m_start;
    now.end = line->m_end;
    now.highlighted = line->highlighted();
    now.alpha = line->m_dot_alpha;
    now.end_colors = line->has_end_colors();
    if (now.end_colors) std::copy(line->end_colors(), line->end_colors() + 2, now.colors);
    const int n = GFX_Connection::dot_count((now.end - now.start).length());
    now.dots = n > 1 ? n - 1 : 0;
    return now;
}

bool GFX_DotSprites::update(const std::vector<GFX_Connection*>& lines,
                            const UTL_ColorTheme& theme) {
    // What changed since the dots were written, line by line.
    bool rebuild = !m_built || lines.size() < m_lines.size();
    bool selection = false;
    const size_t kept = std::min(m_lines.size(), lines.size());
    m_lines.resize(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        Line now = look_at(lines[i]);
        Line& was = m_lines[i];
        if (i < kept) {
            if (now.line != was.line || now.ends != was.ends || now.start != was.start ||
                now.end != was.end) {
                rebuild = true;
            } else if (now.highlighted != was.highlighted || now.alpha != was.alpha ||
                       now.end_colors != was.end_colors || now.colors[0] != was.colors[0] ||
                       now.colors[1] != was.colors[1]) {
                now.changed = true;
                selection = true;
            }
            now.plain_at = was.plain_at;
            now.highlighted_at = was.highlighted_at;
        }
        was = now;
    }
    const bool recolour = theme != m_theme;
    m_theme = theme;

    bool ok = true;
    if (rebuild) {
        ++m_work.builds;
        ok = build(m_plain, false) && build(m_highlighted, true);
    } else {
        if (kept < m_lines.size()) {
            ++m_work.appends;
            ok = append(m_plain, false, kept);
            // A new selection writes the highlighted buffer whole below.
            if (ok && !selection) ok = append(m_highlighted, true, kept);
        }
        if (ok && recolour) {
            ++m_work.recolours;
            recolour_range(m_plain, false, false);
            if (!selection) recolour_range(m_highlighted, true, false);
        }
        if (ok && selection) {
            ++m_work.selections;
            if (!recolour) recolour_range(m_plain, false, true);
            ok = build(m_highlighted, true);
        }
    }
    // Once lines have stopped arriving for a while, the room kept for more goes back: a second
    // of frames without new lines, and more than a sixteenth to spare.
    m_quiet_updates = kept < m_lines.size() || rebuild ? 0 : m_quiet_updates + 1;
    if (ok && m_quiet_updates == k_settled_updates) {
        for (auto& r : {std::make_pair(&m_plain, false), std::make_pair(&m_highlighted, true)}) {
            Range& range = *r.first;
            if (ok && range.capacity > k_min_capacity &&
                range.capacity - range.used > range.used / 16) {
                ++m_work.fitted;
                ok = build(range, r.second, FIT);
            }
        }
    }
    for (Line& l : m_lines) l.changed = false;
    if (!ok) {
        fail();
        return false;
    }
    m_built = true;
    return true;
}

bool GFX_DotSprites::build(Range& range, bool highlighted, Room room) {
    long long needed = 0;
    for (const Line& l : m_lines)
        if (l.ends && (!highlighted || l.highlighted)) needed += l.dots;
    if (needed > k_max_dots) return false;
    // NOTE: room costs memory (the driver keeps the whole buffer, in the process itself for a
    // software renderer), so a buffer is made to fit, with a quarter more only when appended
    // lines outgrew it: lines still arriving then grow it a few times, not once a batch.
    const long long roomy = std::max(needed + needed / 4, k_min_capacity);
    const long long fitting = std::max(needed, k_min_capacity);
    if (range.capacity < needed || range.capacity > roomy || range.buffer.size() == 0 ||
        (room == FIT && range.capacity > fitting + 1)) {
        // Even, so that the colours behind the positions start on a four-byte boundary.
        long long capacity = room == GROW ? roomy : fitting;
        capacity += capacity % 2;
        range.capacity = 0;
        range.used = 0;
        if (!range.buffer.allocate(static_cast<size_t>(capacity) *
                                   (k_position_bytes + k_colour_bytes)))
            return false;
        range.capacity = capacity;
    }
    Writer writer(*this, range, true, true);
    long long at = 0;
    for (Line& l : m_lines) {
        if (highlighted) l.highlighted_at = -1;
        if (!l.ends || (highlighted && !l.highlighted)) continue;
        (highlighted ? l.highlighted_at : l.plain_at) = at;
        at += l.dots;
        line_dots(*l.line, l.start, l.end, opacity(highlighted, l.highlighted, l.alpha),
                  [&](const Math_Vector3& p, const uint8_t* rgba) { writer.add(p, rgba); });
    }
    writer.flush();
    range.used = at;
    return true;
}

bool GFX_DotSprites::append(Range& range, bool highlighted, size_t from) {
    long long extra = 0;
    for (size_t i = from; i < m_lines.size(); ++i)
        if (m_lines[i].ends && (!highlighted || m_lines[i].highlighted)) extra += m_lines[i].dots;
    if (extra == 0) return true;
    if (range.used + extra > range.capacity) {
        ++m_work.grown;
        return build(range, highlighted, GROW);
    }
    Writer writer(*this, range, true, true);
    writer.seek(range.used);
    for (size_t i = from; i < m_lines.size(); ++i) {
        Line& l = m_lines[i];
        if (!l.ends || (highlighted && !l.highlighted)) continue;
        (highlighted ? l.highlighted_at : l.plain_at) = range.used;
        range.used += l.dots;
        line_dots(*l.line, l.start, l.end, opacity(highlighted, l.highlighted, l.alpha),
                  [&](const Math_Vector3& p, const uint8_t* rgba) { writer.add(p, rgba); });
    }
    return true;
}

void GFX_DotSprites::recolour_range(Range& range, bool highlighted, bool changed_only) {
    Writer writer(*this, range, false, true);
    for (Line& l : m_lines) {
        if (!l.ends || (changed_only && !l.changed)) continue;
        const long long at = highlighted ? l.highlighted_at : l.plain_at;
        if (at < 0) continue;
        writer.seek(at);
        line_dots(*l.line, l.start, l.end, opacity(highlighted, l.highlighted, l.alpha),
                  [&](const Math_Vector3& p, const uint8_t* rgba) { writer.add(p, rgba); });
    }
}

long long GFX_DotSprites::buffer_bytes() const {
    return (m_plain.capacity + m_highlighted.capacity) *
           static_cast<long long>(k_position_bytes + k_colour_bytes);
}

void GFX_DotSprites::fail() {
    m_lines.clear();
    m_built = false;
    m_plain.used = m_highlighted.used = 0;
}

void GFX_DotSprites::draw(float pixels_per_unit, int margin, OGL_DrawThrottle* throttle) {
    // NOTE: highlighted dots first. Blending depends on the order, and the quads draw the lines
    // in the order they were added, where the user's (highlighted) lines come before all others.
    Run runs[2];
    const std::pair<const Range*, float> ranges[2] = {{&m_highlighted, k_highlighted_size},
                                                      {&m_plain, k_plain_size}};
    for (int i = 0; i < 2; ++i) {
        const Range& range = *ranges[i].first;
        runs[i].buffer = &range.buffer;
        runs[i].positions = nullptr;
        // Offsets into the bound buffer: the colours follow room for capacity positions.
        runs[i].colours =
            reinterpret_cast<const void*>(static_cast<size_t>(range.capacity) * k_position_bytes);
        runs[i].count = range.used;
        runs[i].world_size = ranges[i].second;
    }
    draw_runs(runs, 2, m_unit, pixels_per_unit, margin, throttle);
}

void GFX_DotSprites::draw_runs(const Run* runs, int n, float unit, float pixels_per_unit,
                               int margin, OGL_DrawThrottle* throttle) {
    long long total = 0;
    for (int i = 0; i < n; ++i) total += runs[i].count;
    if (total == 0) return;
    GLint viewport[4];
    GLint mode = GL_MODELVIEW;
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    const GLint w = viewport[2], h = viewport[3];
    const bool pad = margin > 0 && w > 0 && h > 0;
    if (pad) {
        // The same picture in a view wider by margin pixels on every side: the projection is
        // narrowed by as much as the viewport is widened.
        GLfloat projection[16];
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glScalef(static_cast<float>(w) / static_cast<float>(w + 2 * margin),
                 static_cast<float>(h) / static_cast<float>(h + 2 * margin), 1.0f);
        glMultMatrixf(projection);
        glViewport(viewport[0] - margin, viewport[1] - margin, w + 2 * margin, h + 2 * margin);
    }

    OGL_PointSprites::begin();
    // Fragments the blending would leave unchanged (the glow texture's empty corners, the
    // transparent dots of highlighted lines) are dropped before they reach it: the same picture,
    // less work for a renderer that blends in software.
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    // The frame leaves its normal and texture coordinate arrays enabled for the meshes; the
    // dots have neither.
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_INDEX_ARRAY);
    glDisableClientState(GL_EDGE_FLAG_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    // Positions are stored in steps of unit.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glScalef(unit, unit, unit);
    for (int i = 0; i < n; ++i) {
        const Run& run = runs[i];
        if (run.count == 0) continue;
        OGL_PointSprites::set_world_size(run.world_size, pixels_per_unit);
        if (run.buffer) run.buffer->bind();
        glVertexPointer(3, GL_SHORT, 0, run.positions);
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, run.colours);
        const long long step = throttle && throttle->active() ? throttle->window() : run.count;
        for (long long first = 0; first < run.count; first += step) {
            const long long count = std::min(step, run.count - first);
            glDrawArrays(GL_POINTS, static_cast<GLint>(first), static_cast<GLsizei>(count));
            if (throttle) throttle->count(count);
        }
        if (run.buffer) run.buffer->unbind();
    }
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    OGL_PointSprites::end();

    if (pad) {
        glViewport(viewport[0], viewport[1], w, h);
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
    }
    glMatrixMode(static_cast<GLenum>(mode));
}
