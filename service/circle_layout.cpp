// UTL_CircleLayout: regions for the circles by halving the places, the circles' people placed
// in their regions, then swaps of places that shorten the lines.
// Sections: Vector helpers · Nearest places · Regions · Swaps · Within a circle · The arrangement.
#include "service/circle_layout.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

namespace {

using Point = UTL_CircleLayout::Point;

constexpr int kNeighbours = 12;     // places looked at around the middle of a person's friends
constexpr int kMaxPasses = 60;      // over everyone, at most
constexpr double kEnough = 0.0002;  // a pass that shortens the lines by less than this share ends
constexpr double kTiny = 1e-12;
constexpr size_t kTradesTried = 16;  // of the places where a person alone gains the most
constexpr size_t kLeafGroup = 12;    // people; a larger group is split into its own circles

// ---------------------------------------------------------------------------------------------
// Vector helpers
// ---------------------------------------------------------------------------------------------

Point operator+(const Point& a, const Point& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Point operator-(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Point operator*(const Point& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double dot(const Point& a, const Point& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double length(const Point& a) { return std::sqrt(dot(a, a)); }
double distance(const Point& a, const Point& b) { return length(a - b); }

// The direction of the mean of some places; the mean itself when it is (nearly) zero.
Point middle(const std::vector<Point>& places, const std::vector<int>& which) {
    Point sum{0, 0, 0};
    for (int i : which) sum = sum + places[static_cast<size_t>(i)];
    const double len = length(sum);
    return len > kTiny ? sum * (1.0 / len) : sum;
}

// The direction in which the places spread the most: the covariance's largest eigenvector, by
// power iteration from a fixed start (any direction will do for an evenly covered sphere).
Point widest_axis(const std::vector<Point>& places, const std::vector<int>& which) {
    Point mean{0, 0, 0};
    for (int i : which) mean = mean + places[static_cast<size_t>(i)];
    mean = mean * (1.0 / static_cast<double>(std::max<size_t>(which.size(), 1)));
    double c[3][3] = {};
    for (int i : which) {
        const Point d = places[static_cast<size_t>(i)] - mean;
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k)
                c[r][k] += d[static_cast<size_t>(r)] * d[static_cast<size_t>(k)];
    }
    Point v{0.8017, 0.5345, 0.2673};
    for (int it = 0; it < 40; ++it) {
        Point w{0, 0, 0};
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k)
                w[static_cast<size_t>(r)] += c[r][k] * v[static_cast<size_t>(k)];
        const double len = length(w);
        if (!(len > kTiny)) break;
        v = w * (1.0 / len);
    }
    return v;
}

// ---------------------------------------------------------------------------------------------
// Nearest places
// ---------------------------------------------------------------------------------------------

// The places in a grid of cubes over [-1, 1]^3 of about twice their spacing, so the cubes
// around a point hold its nearest places.
class PlaceGrid {
public:
    PlaceGrid(const std::vector<Point>& places, const std::vector<int>& which) : m_places(places) {
        const double spacing =
            std::sqrt(4.0 * M_PI / static_cast<double>(std::max<size_t>(which.size(), 1)));
        m_side = std::max(1, std::min(256, static_cast<int>(std::ceil(2.0 / (2.0 * spacing)))));
        m_start.assign(static_cast<size_t>(m_side) * m_side * m_side + 1, 0);
        for (int i : which) ++m_start[cell_of(places[static_cast<size_t>(i)]) + 1];
        for (size_t k = 1; k < m_start.size(); ++k) m_start[k] += m_start[k - 1];
        m_items.resize(which.size());
        std::vector<int> fill(m_start.begin(), m_start.end() - 1);
        for (int i : which)
            m_items[static_cast<size_t>(fill[cell_of(places[static_cast<size_t>(i)])]++)] = i;
    }

    // The place nearest to a point (a place among those given; -1 when there are none).
    int nearest(const Point& p) const {
        int best = -1;
        double best_d = 1e300;
        for (int reach = 1; reach <= m_side && best < 0; reach *= 2)
            visit(p, reach, [&](int i) {
                const double d = distance(p, m_places[static_cast<size_t>(i)]);
                if (d < best_d || (d == best_d && i < best)) best_d = d, best = i;
            });
        return best;
    }

    // Up to k places nearest to place i, i itself left out, nearest first.
    void neighbours(int i, int k, std::vector<int>& out) const {
        const Point& p = m_places[static_cast<size_t>(i)];
        std::vector<std::pair<double, int>> found;
        visit(p, 1, [&](int j) {
            if (j != i) found.emplace_back(distance(p, m_places[static_cast<size_t>(j)]), j);
        });
        const size_t keep = std::min(found.size(), static_cast<size_t>(k));
        std::partial_sort(found.begin(), found.begin() + static_cast<long>(keep), found.end());
        out.clear();
        for (size_t n = 0; n < keep; ++n) out.push_back(found[n].second);
    }

private:
    int axis_cell(double x) const {
        const int c = static_cast<int>((x + 1.0) * 0.5 * m_side);
        return std::max(0, std::min(m_side - 1, c));
    }
    size_t cell_of(const Point& p) const {
        return (static_cast<size_t>(axis_cell(p[0])) * m_side + axis_cell(p[1])) * m_side +
               axis_cell(p[2]);
    }
    template <class F>
    void visit(const Point& p, int reach, F f) const {
        const int cx = axis_cell(p[0]), cy = axis_cell(p[1]), cz = axis_cell(p[2]);
        for (int x = std::max(0, cx - reach); x <= std::min(m_side - 1, cx + reach); ++x)
            for (int y = std::max(0, cy - reach); y <= std::min(m_side - 1, cy + reach); ++y)
                for (int z = std::max(0, cz - reach); z <= std::min(m_side - 1, cz + reach); ++z) {
                    const size_t c = (static_cast<size_t>(x) * m_side + y) * m_side + z;
                    for (int n = m_start[c]; n < m_start[c + 1]; ++n)
                        f(m_items[static_cast<size_t>(n)]);
                }
    }

    const std::vector<Point>& m_places;
    int m_side = 1;
    std::vector<int> m_start;
    std::vector<int> m_items;
};

// ---------------------------------------------------------------------------------------------
// Regions
// ---------------------------------------------------------------------------------------------

// The circles in a row where each follows the one it shares the most friendships with, so that
// halving the row keeps friendly circles together. The circle of the people alone goes last.
std::vector<int> circle_row(const UTL_FriendGraph& graph, const UTL_Circles& circles) {
    const auto& all = circles.circles();
    const int k = static_cast<int>(all.size());
    std::vector<std::unordered_map<int, long long>> between(static_cast<size_t>(k));
    for (int a = 0; a < graph.size(); ++a)
        for (int b : graph.friends_of(a)) {
            const int ca = circles.circle_of(a), cb = circles.circle_of(b);
            if (a < b && ca != cb && ca >= 0 && cb >= 0) {
                ++between[static_cast<size_t>(ca)][cb];
                ++between[static_cast<size_t>(cb)][ca];
            }
        }
    std::vector<int> row;
    std::vector<long long> to_row(static_cast<size_t>(k), 0);  // friendships with the row so far
    std::vector<bool> placed(static_cast<size_t>(k), false);
    for (int c = 0; c < k; ++c)
        if (all[static_cast<size_t>(c)].alone()) placed[static_cast<size_t>(c)] = true;
    int last = -1;
    for (;;) {
        int next = -1;
        long long next_last = -1, next_row = -1;
        for (int c = 0; c < k; ++c) {
            if (placed[static_cast<size_t>(c)]) continue;
            long long with_last = 0;
            if (last >= 0) {
                auto it = between[static_cast<size_t>(last)].find(c);
                if (it != between[static_cast<size_t>(last)].end()) with_last = it->second;
            }
            // Circles come largest first, so the first of equals is the largest.
            if (with_last > next_last ||
                (with_last == next_last && to_row[static_cast<size_t>(c)] > next_row)) {
                next = c;
                next_last = with_last;
                next_row = to_row[static_cast<size_t>(c)];
            }
        }
        if (next < 0) break;
        placed[static_cast<size_t>(next)] = true;
        row.push_back(next);
        for (const auto& [c, n] : between[static_cast<size_t>(next)])
            to_row[static_cast<size_t>(c)] += n;
        last = next;
    }
    for (int c = 0; c < k; ++c)
        if (all[static_cast<size_t>(c)].alone()) row.push_back(c);
    return row;
}

struct Halving {
    const std::vector<Point>& places;
    const std::vector<int>& row;            // circles
    const std::vector<int>& sizes;          // people of each circle
    std::vector<std::vector<int>>& region;  // places of each circle

    // Shares places among the circles row[lo, hi). The run of circles at the start of the row
    // goes to the half nearer `before` (the region before them, if any) and away from `after`.
    void split(std::vector<int> which, size_t lo, size_t hi, const Point* before,
               const Point* after) {
        if (hi - lo == 1) {
            region[static_cast<size_t>(row[lo])] = std::move(which);
            return;
        }
        long long total = 0;
        for (size_t i = lo; i < hi; ++i) total += sizes[static_cast<size_t>(row[i])];
        size_t cut = lo + 1;
        long long first = sizes[static_cast<size_t>(row[lo])], best_first = first;
        for (size_t i = lo + 1; i < hi; ++i) {
            if (std::llabs(2 * first - total) < std::llabs(2 * best_first - total)) {
                best_first = first;
                cut = i;
            }
            first += sizes[static_cast<size_t>(row[i])];
        }

        const Point axis = widest_axis(places, which);
        std::vector<std::pair<double, int>> along;
        along.reserve(which.size());
        for (int i : which) along.emplace_back(dot(places[static_cast<size_t>(i)], axis), i);
        std::sort(along.begin(), along.end());
        const size_t n_first = static_cast<size_t>(best_first);
        std::vector<int> low, high;
        for (size_t n = 0; n < along.size(); ++n)
            (n < n_first ? low : high).push_back(along[n].second);
        // The same halving from the other end of the axis.
        std::vector<int> low2, high2;
        for (size_t n = 0; n < along.size(); ++n)
            (n < along.size() - n_first ? high2 : low2).push_back(along[n].second);

        auto misfit = [&](const std::vector<int>& a, const std::vector<int>& b) {
            double s = 0;
            const Point ma = middle(places, a), mb = middle(places, b);
            if (before) s += distance(ma, *before) - distance(mb, *before);
            if (after) s += distance(mb, *after) - distance(ma, *after);
            return s;
        };
        if ((before || after) && misfit(low2, high2) < misfit(low, high)) {
            low.swap(low2);
            high.swap(high2);
        }
        const Point m_low = middle(places, low), m_high = middle(places, high);
        split(std::move(low), lo, cut, before, &m_high);
        split(std::move(high), cut, hi, &m_low, after);
    }
};

// ---------------------------------------------------------------------------------------------
// Swaps
// ---------------------------------------------------------------------------------------------

struct Swapper {
    const UTL_FriendGraph& graph;
    const UTL_Circles& circles;
    const std::vector<Point>& places;
    std::vector<int>& place_of;
    std::vector<int>& person_at;  // -1 for a place nobody of the graph holds
    std::vector<Point> at;        // each person's place, kept beside place_of for speed

    // How much the lines of p lengthen when p moves from place a to place b, q's lines left
    // out (negative: shorten).
    double move_change(int p, const Point& a, const Point& b, int q) const {
        double change = 0;
        for (int f : graph.friends_of(p)) {
            if (f == q) continue;
            const Point& x = at[static_cast<size_t>(f)];
            change += distance(b, x) - distance(a, x);
        }
        return change;
    }

    void trade(int p, int q) {
        std::swap(place_of[static_cast<size_t>(p)], place_of[static_cast<size_t>(q)]);
        std::swap(at[static_cast<size_t>(p)], at[static_cast<size_t>(q)]);
        person_at[static_cast<size_t>(place_of[static_cast<size_t>(p)])] = p;
        person_at[static_cast<size_t>(place_of[static_cast<size_t>(q)])] = q;
    }

    // Everyone in turn looks at the places around the middle of their friends and around their
    // own place, and trades with the person of their own circle there with whom the lines
    // shorten the most. A pass looks again only at people who moved or whose friends moved in
    // the pass before; passes go on while they shorten the lines by a noticeable share.
    void run(const PlaceGrid& grid, const std::vector<std::vector<int>>& near) {
        const int n = graph.size();
        at.resize(static_cast<size_t>(n));
        for (int p = 0; p < n; ++p)
            at[static_cast<size_t>(p)] =
                places[static_cast<size_t>(place_of[static_cast<size_t>(p)])];
        const double total = UTL_CircleLayout::mean_line_length(graph, place_of, places) *
                             static_cast<double>(graph.friendships());
        std::vector<char> look(static_cast<size_t>(n), 1), next(static_cast<size_t>(n), 0);
        std::vector<std::pair<double, int>> moves;
        std::vector<int> seen(places.size(), -1);
        for (int pass = 0; pass < kMaxPasses; ++pass) {
            double gained = 0;
            for (int p = 0; p < n; ++p) {
                if (!look[static_cast<size_t>(p)] || graph.friends_of(p).empty()) continue;
                Point sum{0, 0, 0};
                for (int f : graph.friends_of(p)) sum = sum + at[static_cast<size_t>(f)];
                const double len = length(sum);
                if (!(len > kTiny)) continue;
                const int centre = grid.nearest(sum * (1.0 / len));
                if (centre < 0) continue;
                // First what p alone would gain at each candidate place, then the full trade
                // for the few best of them.
                const Point a = at[static_cast<size_t>(p)];
                moves.clear();
                auto consider = [&](int place) {
                    if (seen[static_cast<size_t>(place)] == p) return;
                    seen[static_cast<size_t>(place)] = p;
                    const int q = person_at[static_cast<size_t>(place)];
                    if (q < 0 || q == p || circles.circle_of(q) != circles.circle_of(p)) return;
                    moves.emplace_back(move_change(p, a, places[static_cast<size_t>(place)], q), q);
                };
                consider(centre);
                for (int place : near[static_cast<size_t>(centre)]) consider(place);
                for (int place : near[static_cast<size_t>(place_of[static_cast<size_t>(p)])])
                    consider(place);
                const size_t keep = std::min(moves.size(), kTradesTried);
                std::partial_sort(moves.begin(), moves.begin() + static_cast<long>(keep),
                                  moves.end());
                int best = -1;
                double best_change = -kTiny;
                for (size_t k = 0; k < keep; ++k) {
                    const int q = moves[k].second;
                    const double change =
                        moves[k].first + move_change(q, at[static_cast<size_t>(q)], a, p);
                    if (change < best_change) best_change = change, best = q;
                }
                if (best < 0) continue;
                trade(p, best);
                gained -= best_change;
                for (int who : {p, best}) {
                    next[static_cast<size_t>(who)] = 1;
                    for (int f : graph.friends_of(who)) next[static_cast<size_t>(f)] = 1;
                }
            }
            look.swap(next);
            std::fill(next.begin(), next.end(), 0);
            if (gained < kEnough * total) break;
        }
    }
};

// ---------------------------------------------------------------------------------------------
// Within a circle
// ---------------------------------------------------------------------------------------------

// The friendships among some people of the graph, as a graph of their own (same uids).
UTL_FriendGraph among(const UTL_FriendGraph& graph, const std::vector<int>& people,
                      std::vector<int>& number_in) {
    UTL_FriendGraph sub;
    for (int p : people) number_in[static_cast<size_t>(p)] = sub.add_person(graph.uid(p));
    for (int p : people)
        for (int f : graph.friends_of(p))
            if (p < f && number_in[static_cast<size_t>(f)] >= 0)
                sub.add_friendship(number_in[static_cast<size_t>(p)],
                                   number_in[static_cast<size_t>(f)]);
    return sub;
}

// Places a group of people on a region of as many places. A large group is split into the
// circles within it, which get regions of their own by the same halving, and so on down: who
// shares a smaller circle sits closer. A small group (or one without circles within it) puts
// its best-connected people in the middle.
void place_group(const UTL_FriendGraph& graph, const std::vector<int>& people,
                 const std::vector<int>& where, const std::vector<Point>& places,
                 std::vector<int>& place_of, std::vector<int>& person_at) {
    if (people.size() > kLeafGroup) {
        std::vector<int> number_in(static_cast<size_t>(graph.size()), -1);
        const UTL_FriendGraph sub = among(graph, people, number_in);
        const UTL_Circles inner = UTL_Circles::find(sub);
        if (inner.circles().size() > 1) {
            std::vector<int> sizes;
            for (const UTL_Circle& c : inner.circles()) sizes.push_back(c.size());
            const std::vector<int> row = circle_row(sub, inner);
            std::vector<std::vector<int>> region(inner.circles().size());
            Halving{places, row, sizes, region}.split(where, 0, row.size(), nullptr, nullptr);
            for (size_t c = 0; c < inner.circles().size(); ++c) {
                std::vector<int> members;
                for (int q : inner.circles()[c].m_members)
                    members.push_back(graph.find(sub.uid(q)));
                place_group(graph, members, region[c], places, place_of, person_at);
            }
            return;
        }
    }
    const Point centre = middle(places, where);
    std::vector<std::pair<double, int>> by_distance;
    for (int i : where)
        by_distance.emplace_back(distance(places[static_cast<size_t>(i)], centre), i);
    std::sort(by_distance.begin(), by_distance.end());
    std::vector<int> order = people;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return graph.friends_of(a).size() > graph.friends_of(b).size();
    });
    for (size_t k = 0; k < order.size() && k < by_distance.size(); ++k) {
        place_of[static_cast<size_t>(order[k])] = by_distance[k].second;
        person_at[static_cast<size_t>(by_distance[k].second)] = order[k];
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The arrangement
// ---------------------------------------------------------------------------------------------

std::vector<int> UTL_CircleLayout::arrange(const UTL_FriendGraph& graph, const UTL_Circles& circles,
                                           const std::vector<Point>& places, int reserved) {
    const int n = graph.size();
    if (reserved < 0 || n == 0 || circles.people() != n ||
        places.size() < static_cast<size_t>(reserved) + static_cast<size_t>(n))
        return {};
    std::vector<int> free(static_cast<size_t>(n));
    std::iota(free.begin(), free.end(), reserved);

    // Regions.
    const auto& all = circles.circles();
    std::vector<int> sizes;
    for (const UTL_Circle& c : all) sizes.push_back(c.size());
    const std::vector<int> row = circle_row(graph, circles);
    std::vector<std::vector<int>> region(all.size());
    Halving{places, row, sizes, region}.split(free, 0, row.size(), nullptr, nullptr);

    std::vector<int> place_of(static_cast<size_t>(n), -1);
    std::vector<int> person_at(places.size(), -1);
    for (size_t c = 0; c < all.size(); ++c)
        place_group(graph, all[c].m_members, region[c], places, place_of, person_at);

    // Swaps.
    const PlaceGrid grid(places, free);
    std::vector<std::vector<int>> near(places.size());
    for (int i : free) grid.neighbours(i, kNeighbours, near[static_cast<size_t>(i)]);
    Swapper{graph, circles, places, place_of, person_at, {}}.run(grid, near);
    return place_of;
}

double UTL_CircleLayout::mean_line_length(const UTL_FriendGraph& graph,
                                          const std::vector<int>& place_of,
                                          const std::vector<Point>& places) {
    double sum = 0;
    long long lines = 0;
    for (int a = 0; a < graph.size(); ++a)
        for (int b : graph.friends_of(a))
            if (a < b) {
                sum += distance(places[static_cast<size_t>(place_of[static_cast<size_t>(a)])],
                                places[static_cast<size_t>(place_of[static_cast<size_t>(b)])]);
                ++lines;
            }
    return lines ? sum / static_cast<double>(lines) : 0.0;
}
