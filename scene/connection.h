// GFX_Connection: a dotted glowing line between two points; GFX_ConnectionFriends: the line of
// a friendship, which finds the locators of its two people by user id; GFX_DotBatch and
// GFX_DotSprites: the two ways the glow of all lines reaches OpenGL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "controller/color_theme.h"
#include "gfx/math.h"
#include "gfx/ogl_vertex_buffer.h"

class GFX_Connection;
class GFX_Frustum;
class GFX_LocationHolderFriend;
class OGL_DrawThrottle;
class UTL_SimCtrlNimbra;

// Camera-facing textured quads gathered into client-side arrays and drawn with glDrawArrays, a
// chunk at a time: tens of thousands of lines make millions of dots a frame, and one call per
// chunk costs the driver far less than a dozen calls per dot. Its storage is reserved once and
// reused every frame. The caller binds the texture and sets blending; flush() draws what is
// pending. Owned by its user (the controller keeps one for the glow). Main thread only.
class GFX_DotBatch {
public:
    static constexpr int k_default_capacity = 2048;  // dots per chunk

    explicit GFX_DotBatch(int capacity = k_default_capacity);
    GFX_DotBatch(const GFX_DotBatch&) = delete;
    GFX_DotBatch& operator=(const GFX_DotBatch&) = delete;

    // Appends one quad with corners centre -/+ right -/+ up (lower left first, counter-clockwise
    // like a billboard's) in one colour, texture (0,0) to (1,1); draws the chunk when it is full.
    void add(const Math_Vector3& centre, const Math_Vector3& right, const Math_Vector3& up,
             const Math_Vector3& color, float alpha);
    // The screen's unit axes in the world this frame (the camera's right and up), which every
    // dot faces; x and y until set.
    void set_axes(const Math_Vector3& right, const Math_Vector3& up) {
        m_right = right;
        m_up = up;
    }
    const Math_Vector3& right() const { return m_right; }
    const Math_Vector3& up() const { return m_up; }
    // Draws the pending dots as GL_QUADS and empties the batch; the client array state is
    // restored afterwards.
    void flush();

    // The view volume of the frame being drawn (borrowed; null for none): dots wholly outside it
    // cannot colour a pixel, so lines skip them before they reach the driver.
    void set_view(const GFX_Frustum* view) { m_view = view; }
    // Told of every chunk drawn (borrowed; null for none), so a renderer that works on threads
    // does not queue all of a frame's dots at once.
    void set_throttle(OGL_DrawThrottle* throttle) { m_throttle = throttle; }
    enum Where { OUTSIDE, PARTLY, INSIDE };
    // Where a sphere lies against the view volume; INSIDE when there is none.
    Where classify(const Math_Vector3& centre, float radius) const;
    // Counts dots a line left out for lying outside the view volume.
    void count_skipped(int n) { m_skipped += n; }

    int pending() const { return m_count; }
    int capacity() const { return m_capacity; }
    // Dots drawn by flush() since construction, for tests and figures.
    long long drawn() const { return m_drawn; }
    long long skipped() const { return m_skipped; }

private:
    // Position then colour with alpha, seven floats per corner; the texture coordinates are the
    // same for every quad and filled once.
    static constexpr int k_floats = 7;
    int m_capacity;
    int m_count = 0;
    long long m_drawn = 0;
    long long m_skipped = 0;
    const GFX_Frustum* m_view = nullptr;
    OGL_DrawThrottle* m_throttle = nullptr;
    Math_Vector3 m_right{1.0f, 0.0f, 0.0f};
    Math_Vector3 m_up{0.0f, 1.0f, 0.0f};
    std::vector<float> m_vertices;
    std::vector<float> m_tex_coords;
};

// The dots of every line kept between frames in two vertex buffers and drawn as point sprites,
// one vertex per dot sized on screen by its distance: highlighted dots (125 units) in one
// buffer, plain dots (90 units) in the other, one draw call each.
//
// Each frame update() looks at every line once and rewrites only what changed:
//   a line's ends moved, lines went away or found their ends late -> everything (a build)
//   lines' highlight or opacity changed (a selection) -> those lines' colours in the plain
//                                                        buffer and the highlighted buffer
//   the controller's theme changed -> the colours of every dot, not the positions
//   lines were added at the end -> their dots appended (a buffer that outgrows its room is
//                                  built again with a quarter to spare, so a run of batches
//                                  costs a few builds, not one each)
// so the per-frame cost follows the number of lines, never the number of dots, and the program
// keeps no copy of the dots: they are written through a small staging area.
// A highlighted line keeps its place in the plain buffer with its dots made transparent, so a
// selection never moves the plain dots. Every dot has one of the two sizes: a line's own
// dot size is not looked at (only a bare GFX_Connection could have another). Owned by the
// controller; main (GL) thread only, with the context that made the buffers current (the destructor
// deletes them).
class GFX_DotSprites {
public:
    // What update() did since construction, for tests and figures.
    struct Work {
        int builds = 0;           // both buffers written whole (a layout, lines gone)
        int selections = 0;       // highlight or opacity of lines changed
        int recolours = 0;        // every colour written for a new theme
        int appends = 0;          // frames that appended new lines
        int grown = 0;            // buffers built again because appended dots did not fit
        int fitted = 0;           // buffers built again to drop the room left when lines stopped
        long long positions = 0;  // dot positions written
        long long colours = 0;    // dot colours written
    };

    // Dot positions within reach of the origin on every axis are kept exactly enough (to
    // 1/32767 of it, far below a pixel); the controller passes a little more than its globe's
    // radius.
    explicit GFX_DotSprites(float reach = 8192.0f) : m_unit(reach / 32767.0f) {}
    GFX_DotSprites(const GFX_DotSprites&) = delete;
    GFX_DotSprites& operator=(const GFX_DotSprites&) = delete;

    // True when the current context has what the sprites need (vertex buffers, point sprites,
    // point parameters).
    static bool supported();

    // Lets every line find its ends (as drawing a quad would), then brings the buffers in line
    // with the lines and theme. False when the driver could not hold the buffers (the caller
    // draws quads instead); the next update then starts again from nothing.
    bool update(const std::vector<GFX_Connection*>& lines, const UTL_ColorTheme& theme);
    // One run of dots for draw_runs(): positions as three shorts in steps of unit, colours as
    // four bytes, either in a buffer (the pointers are offsets into it) or in client memory.
    struct Run {
        const OGL_VertexBuffer* buffer = nullptr;  // null: the pointers are client memory
        const void* positions = nullptr;
        const void* colours = nullptr;
        long long count = 0;
        float world_size = k_plain_size;
    };
    // Draws the runs in order as point sprites: the state, margin and throttling of draw().
    static void draw_runs(const Run* runs, int n, float unit, float pixels_per_unit, int margin,
                          OGL_DrawThrottle* throttle);

    // Draws the highlighted then the plain dots. The caller has bound the glow texture and set
    // blending; pixels_per_unit is what one unit at depth 1 spans on screen. margin (pixels):
    // the view is widened by that much on every side for the draw, with the picture unchanged,
    // so that a dot whose centre has just left the window still shows its inner part (OpenGL
    // drops a point whose centre is outside the view volume). Leaves the client array state as
    // it found it. The dots go out a throttle window at a time when a throttle is given
    // (borrowed, may be null).
    void draw(float pixels_per_unit, int margin, OGL_DrawThrottle* throttle = nullptr);

    long long plain_dots() const { return m_plain.used; }
    long long highlighted_dots() const { return m_highlighted.used; }
    // Bytes held by the two vertex buffers, room for more dots included.
    long long buffer_bytes() const;
    const Work& work() const { return m_work; }

    static constexpr float k_plain_size = 90.0f;
    static constexpr float k_highlighted_size = 125.0f;

private:
    // What a line looked like when its dots were written.
    struct Line {
        GFX_Connection* line = nullptr;  // Borrowed; compared, and used only while in the list.
        Math_Vector3 start;
        Math_Vector3 end;
        uint32_t colors[2] = {0, 0};  // the line's end colours, when it has them
        bool end_colors = false;
        float alpha = 0.0f;
        bool ends = false;  // both ends known; a line without them has no dots
        bool highlighted = false;
        bool changed = false;  // highlight or opacity changed in this update
        long long dots = 0;
        long long plain_at = 0;         // its first dot in the plain buffer
        long long highlighted_at = -1;  // in the highlighted buffer; -1 when not there
    };
    // One buffer: positions for capacity dots (three shorts each) then their colours (four
    // bytes each), so colours can be written without the positions.
    struct Range {
        OGL_VertexBuffer buffer;
        long long used = 0;
        long long capacity = 0;
    };
    class Writer;

    static Line look_at(GFX_Connection* line);
    // Writes every line that belongs in the range from the first dot on, in a buffer made anew
    // when it is too small or too large (with room to spare when growing). False when the driver
    // is out of memory.
    enum Room { FIT, KEEP, GROW };
    // KEEP reuses a buffer with at most a quarter to spare, FIT makes it exactly as large as
    // needed, GROW a quarter larger.
    bool build(Range& range, bool highlighted, Room room = KEEP);
    // Appends lines [from, end) that belong in the range; builds it again when they do not fit.
    bool append(Range& range, bool highlighted, size_t from);
    // Rewrites the colours of the range's dots: of every line, or only of the changed ones.
    void recolour_range(Range& range, bool highlighted, bool changed_only);
    void fail();

    std::vector<Line> m_lines;
    Range m_plain;
    Range m_highlighted;
    UTL_ColorTheme m_theme;
    bool m_built = false;
    int m_quiet_updates = 0;  // updates in a row that added no lines
    Work m_work;
    // Positions go to the buffers as three shorts in steps of m_unit world units (6 bytes a
    // dot instead of 12: the buffers live in the process itself under a software renderer).
    float m_unit;
    std::vector<int16_t> m_staged_positions;
    std::vector<uint8_t> m_staged_colours;
};

// Owned by the controller. Drawing writes the dots into the caller's batch; the caller binds the
// glow texture, gives the batch the frame's screen axes and flushes it. A line holds what it
// needs and nothing per dot: its ends, its colours and this frame's dot size and opacity.
// Main thread only.
class GFX_Connection {
public:
    explicit GFX_Connection(UTL_SimCtrlNimbra* controller);
    virtual ~GFX_Connection() = default;
    GFX_Connection(const GFX_Connection&) = delete;
    GFX_Connection& operator=(const GFX_Connection&) = delete;

    // The dots' colour where no controller colours them by their place on the globe.
    void set_color(const Math_Vector3& c) { m_color = c; }
    // Colours for the dots at the two ends, those between shading from the first to the second
    // (a community's hue, say), instead of the colour of each dot's place. Cheap: the next frame
    // draws them; nothing is rebuilt beyond the line's own dots.
    void set_end_colors(const Math_Vector3& at_start, const Math_Vector3& at_end);
    // Back to the colour of each dot's place.
    void clear_end_colors() { m_has_end_colors = false; }
    bool has_end_colors() const { return m_has_end_colors; }
    // The packed end colours (red in the low byte); meaningful with has_end_colors().
    const uint32_t* end_colors() const { return m_end_colors; }

    // The dots from m_start to m_end with this frame's size and opacity.
    virtual void draw(GFX_DotBatch& batch);
    // Brings m_start, m_end, the dot size and the opacity up to date for this frame; false when
    // the line has nothing to draw (an end is not known yet).
    virtual bool refresh() { return true; }
    // Drawn large and bright (the line of a selected person).
    virtual bool highlighted() const { return false; }

    // Number of dot intervals on a line of that length: one per full 90 units; 0 for a zero,
    // negative or non-finite length. Dots sit at k * length / n for k = 1 .. n - 1.
    static int dot_count(float length);
    // The colour of a dot at p, a fraction t of the way from m_start to m_end.
    Math_Vector3 dot_color(const Math_Vector3& p, float t) const;

    UTL_SimCtrlNimbra* m_controller;  // Borrowed.
    Math_Vector3 m_start;
    Math_Vector3 m_end;
    Math_Vector3 m_color{1.0f, 1.0f, 1.0f};
    float m_dot_size = 90.0f;  // side of a dot in world units, this frame
    float m_dot_alpha = 1.0f;  // opacity of the dots, this frame

protected:
    // Adds the dots between m_start and m_end, each coloured by its place on the globe.
    void draw_dots(GFX_DotBatch& batch);

private:
    uint32_t m_end_colors[2] = {0, 0};
    bool m_has_end_colors = false;
};

class GFX_ConnectionFriends : public GFX_Connection {
public:
    explicit GFX_ConnectionFriends(UTL_SimCtrlNimbra* controller);
    // Takes the line out of the lists of the locators it found.
    ~GFX_ConnectionFriends() override;

    void set_uids(const char* uid1, const char* uid2);
    // Forgets that end; called by a locator that is being deleted. The line looks again.
    void detach_holder(GFX_LocationHolderFriend* h);

    // Finds the ends while one is missing, then draws the dots between the two balls.
    void draw(GFX_DotBatch& batch) override;
    // Finds the ends while one is missing and takes the balls' centres as the ends.
    bool refresh() override;
    bool highlighted() const override { return m_highlighted; }

    std::string m_uid1;
    std::string m_uid2;
    GFX_LocationHolderFriend* m_holder1 = nullptr;  // Borrowed.
    GFX_LocationHolderFriend* m_holder2 = nullptr;  // Borrowed.
    bool m_highlighted = false;
    float m_alpha = 0.3f;  // opacity of the dots when not highlighted

private:
    void find_ends();
};
