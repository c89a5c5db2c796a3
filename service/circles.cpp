// UTL_Circles: the friend graph handed to igraph's Leiden method in a canonical order, its
// communities gathered, sorted and named.
#include "service/circles.h"

#include <igraph/igraph.h>

#include <algorithm>
#include <mutex>
#include <numeric>

namespace {

// NOTE: the seed is fixed so that the same friends give the same circles on every run.
constexpr igraph_uint_t kSeed = 20;
// How far the Leiden method lets a person move to a worse community by chance (igraph's
// advice for modularity: small).
constexpr double kRandomness = 0.01;

bool g_failed = false;

// igraph's default handler aborts the program; here a failure (out of memory, in practice)
// frees what igraph allocated so far and is remembered, so the caller falls back.
void on_error(const char*, const char*, int, igraph_error_t) {
    g_failed = true;
    IGRAPH_FINALLY_FREE();
}

// One call's hold on igraph's globals: the handler above and a generator of our own, seeded,
// the previous ones put back afterwards; one call at a time.
std::mutex g_igraph_calls;

class IgraphCall {
public:
    IgraphCall() : m_hold(g_igraph_calls) {
        g_failed = false;
        m_error = igraph_set_error_handler(on_error);
        m_warning = igraph_set_warning_handler(igraph_warning_handler_ignore);
        m_previous_rng = igraph_rng_default();
        m_have_rng = igraph_rng_init(&m_rng, &igraph_rngtype_pcg32) == IGRAPH_SUCCESS;
        if (m_have_rng) {
            igraph_rng_seed(&m_rng, kSeed);
            igraph_rng_set_default(&m_rng);
        }
    }
    ~IgraphCall() {
        if (m_have_rng) {
            igraph_rng_set_default(m_previous_rng);
            igraph_rng_destroy(&m_rng);
        }
        igraph_set_warning_handler(m_warning);
        igraph_set_error_handler(m_error);
    }
    IgraphCall(const IgraphCall&) = delete;
    IgraphCall& operator=(const IgraphCall&) = delete;
    bool ok() const { return m_have_rng && !g_failed; }

private:
    std::lock_guard<std::mutex> m_hold;
    igraph_error_handler_t* m_error;
    igraph_warning_handler_t* m_warning;
    igraph_rng_t* m_previous_rng;
    igraph_rng_t m_rng;
    bool m_have_rng = false;
};

// Leiden on modularity over the people of order (a permutation of the graph's numbers): the
// community of order[i] in membership[i]. False when igraph failed.
bool leiden(const UTL_FriendGraph& graph, const std::vector<int>& order,
            std::vector<int>& membership) {
    const int n = graph.size();
    std::vector<int> position(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) position[static_cast<size_t>(order[static_cast<size_t>(i)])] = i;
    // Each friendship once, as (smaller, larger) positions, sorted: the order of arrival
    // leaves no trace.
    std::vector<std::pair<int, int>> pairs;
    pairs.reserve(static_cast<size_t>(graph.friendships()));
    for (int a = 0; a < n; ++a)
        for (int b : graph.friends_of(a))
            if (a < b) {
                const int pa = position[static_cast<size_t>(a)];
                const int pb = position[static_cast<size_t>(b)];
                pairs.emplace_back(std::min(pa, pb), std::max(pa, pb));
            }
    std::sort(pairs.begin(), pairs.end());

    IgraphCall call;
    if (!call.ok()) return false;
    igraph_vector_int_t edges, members;
    igraph_vector_t weights;
    igraph_t g;
    bool ok = igraph_vector_int_init(&edges, static_cast<igraph_integer_t>(2 * pairs.size())) ==
              IGRAPH_SUCCESS;
    if (!ok) return false;
    for (size_t i = 0; i < pairs.size(); ++i) {
        VECTOR(edges)[2 * i] = pairs[i].first;
        VECTOR(edges)[2 * i + 1] = pairs[i].second;
    }
    ok = igraph_create(&g, &edges, n, IGRAPH_UNDIRECTED) == IGRAPH_SUCCESS;
    igraph_vector_int_destroy(&edges);
    if (!ok) return false;
    // Modularity is Leiden's quality with each person weighed by their number of friends and a
    // resolution of 1 / (2 m).
    ok = igraph_vector_init(&weights, n) == IGRAPH_SUCCESS;
    if (ok) {
        for (int i = 0; i < n; ++i) VECTOR(weights)
        [i] = static_cast<double>(graph.friends_of(order[static_cast<size_t>(i)]).size());
        ok = igraph_vector_int_init(&members, n) == IGRAPH_SUCCESS;
        if (ok) {
            igraph_integer_t count = 0;
            igraph_real_t quality = 0;
            const double resolution = 1.0 / (2.0 * static_cast<double>(pairs.size()));
            ok = igraph_community_leiden(&g, nullptr, &weights, resolution, kRandomness, false, -1,
                                         &members, &count, &quality) == IGRAPH_SUCCESS &&
                 call.ok();
            if (ok) {
                membership.assign(static_cast<size_t>(n), 0);
                for (int i = 0; i < n; ++i)
                    membership[static_cast<size_t>(i)] = static_cast<int>(VECTOR(members)[i]);
            }
            igraph_vector_int_destroy(&members);
        }
        igraph_vector_destroy(&weights);
    }
    igraph_destroy(&g);
    return ok;
}

// The connected components, should igraph fail: coarser than communities, but still every
// friend in exactly one.
void components(const UTL_FriendGraph& graph, const std::vector<int>& order,
                std::vector<int>& membership) {
    const int n = graph.size();
    std::vector<int> label(static_cast<size_t>(n), -1);
    int next = 0;
    for (int start : order) {
        if (label[static_cast<size_t>(start)] >= 0) continue;
        std::vector<int> stack{start};
        label[static_cast<size_t>(start)] = next;
        while (!stack.empty()) {
            const int p = stack.back();
            stack.pop_back();
            for (int f : graph.friends_of(p))
                if (label[static_cast<size_t>(f)] < 0) {
                    label[static_cast<size_t>(f)] = next;
                    stack.push_back(f);
                }
        }
        ++next;
    }
    membership.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        membership[static_cast<size_t>(i)] =
            label[static_cast<size_t>(order[static_cast<size_t>(i)])];
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Finding
// ---------------------------------------------------------------------------------------------

UTL_Circles UTL_Circles::find(const UTL_FriendGraph& graph) {
    UTL_Circles out;
    out.m_graph_version = graph.version();
    const int n = graph.size();
    if (n == 0) return out;

    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return graph.uid(a) < graph.uid(b); });
    std::vector<int> membership;
    if (graph.friendships() == 0 || !leiden(graph, order, membership))
        components(graph, order, membership);

    // Communities by their label; the people without a friendship go to one circle of their
    // own instead of one circle each.
    int labels = 0;
    for (int m : membership) labels = std::max(labels, m + 1);
    std::vector<UTL_Circle> found(static_cast<size_t>(labels));
    UTL_Circle alone;
    for (int i = 0; i < n; ++i) {
        const int person = order[static_cast<size_t>(i)];
        if (graph.friends_of(person).empty()) alone.m_members.push_back(person);
        else
            found[static_cast<size_t>(membership[static_cast<size_t>(i)])].m_members.push_back(
                person);
    }

    // The namesake: the most friends within the circle, then in all, then the smallest uid.
    std::vector<int> label(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        label[static_cast<size_t>(order[static_cast<size_t>(i)])] =
            membership[static_cast<size_t>(i)];
    auto inside = [&](int p) {
        int k = 0;
        for (int f : graph.friends_of(p))
            k += label[static_cast<size_t>(f)] == label[static_cast<size_t>(p)];
        return k;
    };
    for (UTL_Circle& c : found) {
        if (c.m_members.empty()) continue;
        std::sort(c.m_members.begin(), c.m_members.end());
        int best = -1, best_inside = -1;
        for (int p : c.m_members) {
            const int k = inside(p);
            const bool better = best < 0 || k > best_inside ||
                                (k == best_inside &&
                                 (graph.friends_of(p).size() > graph.friends_of(best).size() ||
                                  (graph.friends_of(p).size() == graph.friends_of(best).size() &&
                                   graph.uid(p) < graph.uid(best))));
            if (better) best = p, best_inside = k;
        }
        c.m_namesake = best;
        out.m_circles.push_back(std::move(c));
    }
    std::sort(out.m_circles.begin(), out.m_circles.end(),
              [&](const UTL_Circle& a, const UTL_Circle& b) {
                  if (a.size() != b.size()) return a.size() > b.size();
                  return graph.uid(a.m_namesake) < graph.uid(b.m_namesake);
              });
    if (!alone.m_members.empty()) {
        std::sort(alone.m_members.begin(), alone.m_members.end());
        out.m_circles.push_back(std::move(alone));
    }
    out.m_circle_of.assign(static_cast<size_t>(n), -1);
    for (size_t k = 0; k < out.m_circles.size(); ++k)
        for (int p : out.m_circles[k].m_members)
            out.m_circle_of[static_cast<size_t>(p)] = static_cast<int>(k);
    return out;
}

int UTL_Circles::circle_of(int person) const {
    if (person < 0 || person >= people()) return -1;
    return m_circle_of[static_cast<size_t>(person)];
}
