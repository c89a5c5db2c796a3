// GFX_GlowPlan: the dots one frame of the glow draws. While the camera moves, a budget of them
// spent where the eye looks; at rest, every dot in the order the full-detail glow draws them, a
// piece at a time. GFX_GlowBudget: how many dots a moving frame may draw, from the frame time.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/math.h"

class GFX_Connection;
class GFX_Frustum;
class OGL_DepthTiles;
class OGL_DrawThrottle;

// The number of dots a moving frame may draw, following the measured frame time: it shrinks
// while frames take longer than the target and grows while they are quicker, so a GPU soon draws
// every dot and a software renderer what fits. It never falls below a floor chosen for the
// renderer, where the glow would stop reading as lines. Plain data; any thread.
class GFX_GlowBudget {
public:
    static constexpr double k_target_seconds = 1.0 / 30.0;
    // NOTE: llvmpipe on two cores sets up about a million small textured points a second and
    // fills the rest of a frame with the people; 150,000 dots keep the glow dense enough to read
    // (a twentieth of the 5,000-friend network's dots) at about a tenth of a second.
    static constexpr long long k_software_floor = 250000;
    static constexpr long long k_hardware_floor = 1000000;

    explicit GFX_GlowBudget(bool software = true);

    long long budget() const { return m_budget; }
    long long floor() const { return m_floor; }
    // One frame took seconds (from its start to the next one's) and drew dots of the budget.
    void frame_took(double seconds, long long dots);
    // Sets the budget outright (tests, benchmarks); the floor still holds.
    void set_budget(long long dots);
    // A floor of another size (tests with small networks).
    void set_floor(long long dots);

private:
    long long m_floor;
    long long m_budget;
};

// Owned by the controller; main thread only (draw() needs the context current). It keeps what
// every line looked like at the last look(), 48 bytes a line, and the dots of one plan: nothing
// per dot survives a frame.
class GFX_GlowPlan {
public:
    // Where the eye is and what a unit spans on screen.
    struct Camera {
        Math_Vector3 eye;
        Math_Vector3 forward;       // unit, along the view
        float pixels_per_unit = 0;  // what one unit at depth 1 spans on screen
        float near_plane = 1.0f;
        const GFX_Frustum* view = nullptr;  // borrowed; null: everything is in view
        // What the window shows already, read after the people were drawn (borrowed): dots
        // hidden behind it are left out of every plan. Null: nothing is known to hide them.
        const OGL_DepthTiles* hidden_by = nullptr;
    };
    // A place in the full-detail order: the highlighted lines, then every line's plain dots.
    struct Cursor {
        int phase = 0;  // 0: highlighted lines, 1: plain dots, 2: done
        size_t line = 0;
        bool done() const { return phase >= 2; }
    };
    // What the last plan drew.
    struct Figures {
        long long all = 0;          // every dot of every line at full detail
        long long highlighted = 0;  // of them on highlighted lines (always drawn whole)
        long long planned = 0;      // dots this plan holds
        float spacing = 0.0f;       // least on-screen spacing of thinned lines, pixels (0: none)
        size_t lines_left_out = 0;  // in-view faint lines the budget left out, the farthest
        long long hidden = 0;       // dots the plan left out because they were hidden
    };

    // Positions are kept as the sprite buffers keep them: in steps of reach / 32767.
    explicit GFX_GlowPlan(float reach = 8192.0f);

    // Looks at every line once this frame, letting each find its ends. Answers what changed
    // since the last look: NOTHING, APPENDED (lines added at the end, the others as they were)
    // or CHANGED (ends, opacity, highlight or colours of a line, or lines gone).
    enum Change { NOTHING, APPENDED, CHANGED };
    Change look(const std::vector<GFX_Connection*>& lines);

    // The dots of a moving frame: every dot of the highlighted lines; of the others, those that
    // fit in what the budget leaves, thinned so that no line's dots come closer on screen than
    // it takes, with opacity raised by as much as they were thinned, the nearest lines first.
    void plan_budget(const Camera& camera, long long budget);
    // Every dot from cursor on in the full-detail order, at least one line's and at most about
    // budget dots (whole lines); moves the cursor past them. Dots hidden_by hides are left out
    // and do not count.
    void plan_full(Cursor& cursor, long long budget, const OGL_DepthTiles* hidden_by = nullptr);
    // What a picture still being drawn whole lacks beyond cursor, thinned to the budget as in
    // plan_budget(): the highlighted lines not drawn yet whole, and the faint lines not drawn
    // yet.
    void plan_rest(const Camera& camera, const Cursor& cursor, long long budget);

    // Draws the planned dots: highlighted, then plain, as point sprites (the glow texture bound,
    // blending set by the caller). margin as GFX_DotSprites::draw. Drawing the highlighted
    // dots, then the faint ones, gives the same picture as drawing all.
    enum Dots { ALL_DOTS, HIGHLIGHTED_DOTS, FAINT_DOTS };
    void draw(float pixels_per_unit, int margin, OGL_DrawThrottle* throttle,
              Dots which = ALL_DOTS) const;

    const Figures& figures() const { return m_figures; }
    size_t lines() const { return m_lines.size(); }
    // Dots the last plan holds on each line (tests): highlighted and plain together.
    long long planned_on(size_t line) const;

    static constexpr float k_plain_size = 90.0f;
    static constexpr float k_highlighted_size = 125.0f;
    // Thinned lines keep their dots at least this far apart on screen before lines are left out.
    static constexpr float k_widest_spacing = 96.0f;

private:
    // A line as the last look saw it.
    struct Line {
        Math_Vector3 start;
        Math_Vector3 end;
        GFX_Connection* line = nullptr;  // borrowed; used only while it is in the list
        uint32_t colors[2] = {0, 0};
        float alpha = 0.0f;
        int dots = 0;  // at full detail
        bool ends = false;
        bool highlighted = false;
        bool end_colors = false;
    };
    // What plan_budget() works out for a faint line in view.
    struct Candidate {
        uint32_t line;
        int dots;
        float spacing;  // pixels between its dots on screen at full detail
        float depth;
    };

    static Line look_at(GFX_Connection* line);
    void begin_plan();
    void plan_thinned(const Camera& camera, size_t from, long long budget);
    // Adds every step-th dot of line i (the middle one when it has fewer) at raised opacity.
    void add_line(size_t i, bool highlighted_run, int step, const Camera* camera);
    void add_dot(int run, const Math_Vector3& p, const uint8_t rgba[4]);
    int16_t to_steps(float c) const;

    float m_unit;
    std::vector<Line> m_lines;
    std::vector<Candidate> m_candidates;
    std::vector<int> m_steps;  // per line of the last plan: 0 left out, else every step-th dot
    // The dots of one plan in runs of one size: highlighted, plain, and thinned dots drawn wider.
    enum { kHighlightedRun, kPlainRun, kWideRun, kRuns };
    static float run_size(int run);           // the world size of its dots
    std::vector<int16_t> m_positions[kRuns];  // three shorts a dot
    std::vector<uint8_t> m_colours[kRuns];    // four bytes a dot
    Figures m_figures;
};
