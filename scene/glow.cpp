// GFX_GlowBudget and GFX_GlowPlan: how many dots a moving frame draws, and which.
#include "scene/glow.h"

#include <algorithm>
#include <cmath>

#include "gfx/frustum.h"
#include "gfx/ogl_depth_tiles.h"
#include "scene/connection.h"

namespace {

// Far more dots than any budget: the budget's ceiling.
constexpr long long k_most_dots = 1LL << 31;
// A dot's reach round its centre for the view test: its corners, plus rounding in the planes.
constexpr float k_dot_reach = 0.75f * GFX_GlowPlan::k_highlighted_size + 10.0f;

uint8_t to_byte(float c) {
    if (!(c > 0.0f)) return 0;  // also NaN
    return c >= 1.0f ? 255 : static_cast<uint8_t>(c * 255.0f + 0.5f);
}

enum Where { OUTSIDE, PARTLY, INSIDE };

// Where a sphere lies against the view volume; INSIDE without one.
Where classify(const GFX_Frustum* view, const Math_Vector3& centre, float radius) {
    if (!view) return INSIDE;
    Where where = INSIDE;
    for (int i = 0; i < GFX_Frustum::PLANE_COUNT; ++i) {
        // NOTE: a NaN plane (a degenerate camera) fails both tests and culls nothing.
        const float distance = view->m_plane_norm[i].dot(centre) + view->m_plane_d[i];
        if (distance > radius) return OUTSIDE;
        if (distance > -radius) where = PARTLY;
    }
    return where;
}

// A thinned dot that stands for more opacity than one dot can carry is drawn this much wider
// (in its own run), with its opacity spread over the larger area: the glow keeps its brightness
// and the gaps between thinned dots close, where full opacity alone left the picture grainy and
// dim (ego 107 while turning: 6.5 % from full detail, 4.7 % with them wider).
constexpr float kWideThinned = 1.4f;

// Every step-th dot: the largest power of two that keeps dots spacing pixels apart at least
// want pixels apart. Powers of two, so a line thinned further keeps a subset of what it showed.
int thinning_step(float want, float spacing) {
    if (!(spacing > 0.0f)) return 1 << 20;
    int step = 1;
    while (step < (1 << 20) && spacing * static_cast<float>(2 * step) <= want) step *= 2;
    return step;
}

// Dots a line of dots keeps at every step-th one: never none, so a short line still shows.
long long kept(int dots, int step) {
    if (dots <= 0) return 0;
    const int k = dots / step;
    return k > 0 ? k : 1;
}

}  // namespace

// --- GFX_GlowBudget --------------------------------------------------------------------------

GFX_GlowBudget::GFX_GlowBudget(bool software)
    : m_floor(software ? k_software_floor : k_hardware_floor), m_budget(m_floor) {}

void GFX_GlowBudget::frame_took(double seconds, long long dots) {
    if (!(seconds > 0.0) || !std::isfinite(seconds)) return;
    const double ratio = k_target_seconds / seconds;
    double next = static_cast<double>(m_budget);
    if (ratio < 1.0) {
        next *= std::max(0.5, ratio);  // slow: back off quickly
    } else if (static_cast<double>(dots) >= 0.9 * next) {
        next *= std::min(1.5, ratio);  // quick and the budget was used: grow, a little at a time
    }
    set_budget(static_cast<long long>(next));
}

void GFX_GlowBudget::set_floor(long long dots) {
    m_floor = std::max(dots, 1LL);
    set_budget(m_budget);
}

void GFX_GlowBudget::set_budget(long long dots) {
    m_budget = std::min(std::max(dots, m_floor), k_most_dots);
}

// --- GFX_GlowPlan: construction and looking at the lines --------------------------------------

float GFX_GlowPlan::run_size(int run) {
    return run == kHighlightedRun ? k_highlighted_size
           : run == kPlainRun     ? k_plain_size
                                  : k_plain_size * kWideThinned;
}

GFX_GlowPlan::GFX_GlowPlan(float reach) : m_unit(reach / 32767.0f) {}

GFX_GlowPlan::Line GFX_GlowPlan::look_at(GFX_Connection* line) {
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

GFX_GlowPlan::Change GFX_GlowPlan::look(const std::vector<GFX_Connection*>& lines) {
    Change change = lines.size() < m_lines.size() ? CHANGED : NOTHING;
    const size_t kept_lines = std::min(lines.size(), m_lines.size());
    m_lines.resize(lines.size());
    long long all = 0, highlighted = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line now = look_at(lines[i]);
        Line& was = m_lines[i];
        if (i >= kept_lines) {
            if (change == NOTHING) change = APPENDED;
        } else if (now.line != was.line || now.ends != was.ends || now.start != was.start ||
                   now.end != was.end || now.alpha != was.alpha ||
                   now.highlighted != was.highlighted || now.end_colors != was.end_colors ||
                   now.colors[0] != was.colors[0] || now.colors[1] != was.colors[1]) {
            change = CHANGED;
        }
        was = now;
        all += now.dots;
        if (now.highlighted) highlighted += now.dots;
    }
    m_figures.all = all;
    m_figures.highlighted = highlighted;
    return change;
}

// --- Planning ----------------------------------------------------------------------------------

void GFX_GlowPlan::begin_plan() {
    for (int r = 0; r < kRuns; ++r) {
        m_positions[r].clear();
        m_colours[r].clear();
    }
    m_steps.assign(m_lines.size(), 0);
    m_figures.planned = 0;
    m_figures.spacing = 0.0f;
    m_figures.lines_left_out = 0;
    m_figures.hidden = 0;
}

void GFX_GlowPlan::plan_budget(const Camera& camera, long long budget) {
    begin_plan();
    long long whole = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& l = m_lines[i];
        if (!l.ends || !l.highlighted || l.dots == 0) continue;
        const Math_Vector3 d = l.end - l.start;
        if (classify(camera.view, l.start + d * 0.5f, 0.5f * d.length() + k_dot_reach) == OUTSIDE)
            continue;
        m_steps[i] = 1;
        whole += l.dots;
        add_line(i, true, 1, &camera);
    }
    plan_thinned(camera, 0, budget - whole);
}

void GFX_GlowPlan::plan_rest(const Camera& camera, const Cursor& cursor, long long budget) {
    begin_plan();
    if (cursor.done()) return;
    long long whole = 0;
    if (cursor.phase == 0) {
        for (size_t i = cursor.line; i < m_lines.size(); ++i) {
            const Line& l = m_lines[i];
            if (!l.ends || !l.highlighted || l.dots == 0) continue;
            m_steps[i] = 1;
            whole += l.dots;
            add_line(i, true, 1, &camera);
        }
    }
    plan_thinned(camera, cursor.phase == 0 ? 0 : cursor.line, budget - whole);
}

void GFX_GlowPlan::plan_thinned(const Camera& camera, size_t from, long long budget) {
    // The faint lines in view, with the spacing of their dots on screen.
    m_candidates.clear();
    long long total = 0;
    for (size_t i = from; i < m_lines.size(); ++i) {
        const Line& l = m_lines[i];
        if (!l.ends || l.highlighted || l.dots == 0) continue;
        const Math_Vector3 d = l.end - l.start;
        const float length = d.length();
        const Math_Vector3 middle = l.start + d * 0.5f;
        if (classify(camera.view, middle, 0.5f * length + k_dot_reach) == OUTSIDE) continue;
        const float depth = std::max((middle - camera.eye).dot(camera.forward), camera.near_plane);
        const float spacing =
            length / static_cast<float>(l.dots + 1) * camera.pixels_per_unit / depth;
        m_candidates.push_back({static_cast<uint32_t>(i), l.dots, spacing, depth});
        total += l.dots;
    }

    float want = 0.0f;  // 0: every dot
    if (total > 0 && budget <= 0) {
        // Nothing left for them (the highlighted lines took it all): every faint line goes, as
        // the search and the sort below would find, without them (a hundred thousand lines).
        m_figures.spacing = k_widest_spacing;
        m_figures.lines_left_out += m_candidates.size();
        for (const Candidate& c : m_candidates) m_steps[c.line] = 0;
        return;
    }
    if (total > budget) {
        auto count = [this](float spacing) {
            long long n = 0;
            for (const Candidate& c : m_candidates)
                n += kept(c.dots, thinning_step(spacing, c.spacing));
            return n;
        };
        // The least spacing that fits, found on a log scale; past the widest, lines go.
        want = k_widest_spacing;
        if (count(want) <= budget) {
            float lo = 1.0f, hi = k_widest_spacing;
            for (int k = 0; k < 14; ++k) {
                const float mid = std::sqrt(lo * hi);
                (count(mid) <= budget ? hi : lo) = mid;
            }
            want = hi;
        }
        m_figures.spacing = want;
    }
    for (const Candidate& c : m_candidates)
        m_steps[c.line] = want > 0.0f ? thinning_step(want, c.spacing) : 1;

    if (want > 0.0f && want >= k_widest_spacing) {
        // Even at the widest spacing the lines do not fit: the nearest go first.
        std::sort(m_candidates.begin(), m_candidates.end(),
                  [](const Candidate& a, const Candidate& b) { return a.depth < b.depth; });
        long long used = 0;
        for (const Candidate& c : m_candidates) {
            const long long n = kept(c.dots, m_steps[c.line]);
            if (used + n > budget) {
                m_steps[c.line] = 0;
                ++m_figures.lines_left_out;
                continue;
            }
            used += n;
        }
    }
    for (size_t i = from; i < m_lines.size(); ++i)
        if (m_steps[i] > 0 && !m_lines[i].highlighted) add_line(i, false, m_steps[i], &camera);
}

void GFX_GlowPlan::plan_full(Cursor& cursor, long long budget, const OGL_DepthTiles* hidden_by) {
    begin_plan();
    Camera occlusion_only;
    occlusion_only.hidden_by = hidden_by;
    while (!cursor.done() && (m_figures.planned == 0 || m_figures.planned < budget)) {
        if (cursor.line >= m_lines.size()) {
            ++cursor.phase;
            cursor.line = 0;
            continue;
        }
        const Line& l = m_lines[cursor.line];
        const bool highlighted = cursor.phase == 0;
        if (l.ends && l.highlighted == highlighted && l.dots > 0) {
            m_steps[cursor.line] = 1;
            add_line(cursor.line, highlighted, 1, &occlusion_only);
        }
        ++cursor.line;
    }
}

// --- Dots ------------------------------------------------------------------------------------

void GFX_GlowPlan::add_line(size_t i, bool highlighted_run, int step, const Camera* camera) {
    const Line& l = m_lines[i];
    // NOTE: the same operations in the same order as the sprite buffers' dots, so that a dot of
    // a full-detail plan is the same dot, bit for bit.
    const Math_Vector3 d = l.end - l.start;
    const float length = d.length();
    const int n = GFX_Connection::dot_count(length);
    if (n <= 1) return;
    const Math_Vector3 u = d / length;
    const float spacing = length / static_cast<float>(n);
    const int dots = n - 1;
    const int shown = dots / step;
    // Thinned dots carry the opacity of the dots they stand for; beyond what one dot can carry,
    // wider.
    float alpha = l.alpha;
    int run = highlighted_run ? kHighlightedRun : kPlainRun;
    if (step > 1) {
        const float carried =
            alpha * static_cast<float>(dots) / static_cast<float>(shown > 0 ? shown : 1);
        if (carried > 1.0f && !highlighted_run) {
            run = kWideRun;
            alpha = std::min(1.0f, carried / (kWideThinned * kWideThinned));
        } else {
            alpha = std::min(1.0f, carried);
        }
    }
    uint8_t rgba[4] = {0, 0, 0, to_byte(alpha)};
    const bool partly =
        camera && classify(camera->view, l.start + d * 0.5f, 0.5f * length + k_dot_reach) != INSIDE;
    const OGL_DepthTiles* hidden_by = camera ? camera->hidden_by : nullptr;
    const float size = run_size(run);
    // The dots lie evenly along the line, and so do their clip coordinates: one step apiece.
    float clip_start[4] = {}, clip_step[4] = {};
    if (hidden_by) {
        hidden_by->to_clip(l.start, 1.0f, clip_start);
        hidden_by->to_clip(u * spacing, 0.0f, clip_step);
    }
    auto add = [&](int k) {
        const float along = static_cast<float>(k);
        const Math_Vector3 p = l.start + u * (along * spacing);
        if (partly && classify(camera->view, p, k_dot_reach) == OUTSIDE) return;
        if (hidden_by) {
            const float clip[4] = {
                clip_start[0] + along * clip_step[0], clip_start[1] + along * clip_step[1],
                clip_start[2] + along * clip_step[2], clip_start[3] + along * clip_step[3]};
            if (hidden_by->hides_clip(clip, size)) {
                ++m_figures.hidden;
                return;
            }
        }
        const Math_Vector3 c = l.line->dot_color(p, static_cast<float>(k) / static_cast<float>(n));
        rgba[0] = to_byte(c.m_x);
        rgba[1] = to_byte(c.m_y);
        rgba[2] = to_byte(c.m_z);
        add_dot(run, p, rgba);
    };
    if (shown == 0) {
        add(n / 2);  // a short line keeps its middle dot
        return;
    }
    for (int k = step; k <= dots; k += step) add(k);
}

void GFX_GlowPlan::add_dot(int r, const Math_Vector3& p, const uint8_t rgba[4]) {
    m_positions[r].push_back(to_steps(p.m_x));
    m_positions[r].push_back(to_steps(p.m_y));
    m_positions[r].push_back(to_steps(p.m_z));
    m_colours[r].insert(m_colours[r].end(), rgba, rgba + 4);
    ++m_figures.planned;
}

// A coordinate in steps of the unit, rounded as the sprite buffers round it; beyond the reach
// (only broken positions) clamped.
int16_t GFX_GlowPlan::to_steps(float c) const {
    const float steps = std::round(c * (1.0f / m_unit));
    if (!(steps > -32767.0f)) return -32767;  // also NaN
    return steps < 32767.0f ? static_cast<int16_t>(steps) : int16_t(32767);
}

long long GFX_GlowPlan::planned_on(size_t line) const {
    if (line >= m_lines.size() || line >= m_steps.size() || m_steps[line] == 0) return 0;
    return kept(m_lines[line].dots, m_steps[line]);
}

// --- Drawing ---------------------------------------------------------------------------------

void GFX_GlowPlan::draw(float pixels_per_unit, int margin, OGL_DrawThrottle* throttle,
                        Dots which) const {
    GFX_DotSprites::Run runs[kRuns];
    for (int r = 0; r < kRuns; ++r) {
        const bool wanted =
            which == ALL_DOTS || (which == HIGHLIGHTED_DOTS) == (r == kHighlightedRun);
        runs[r].positions = m_positions[r].data();
        runs[r].colours = m_colours[r].data();
        runs[r].count = wanted ? static_cast<long long>(m_colours[r].size() / 4) : 0;
        runs[r].world_size = run_size(r);
    }
    GFX_DotSprites::draw_runs(runs, kRuns, m_unit, pixels_per_unit, margin, throttle);
}
