// The stochastic-block-model network of the benchmarks and the edge list the program reads.
#include "sbm_network.h"

#include <cstdio>

namespace {

// splitmix64: small, fast and the same everywhere (the standard library's distributions are
// not), so the network is the same on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1), 53 bits.
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [0, n).
    int below(int n) { return static_cast<int>(uniform() * n); }

private:
    std::uint64_t m_state;
};

}  // namespace

SbmNetwork make_sbm_network(const SbmParameters& p) {
    SbmNetwork net;
    const int groups = p.groups > 0 ? p.groups : 1;
    const int size = p.group_size > 0 ? p.group_size : 1;
    net.friends = groups * size;
    Random random(p.seed);

    // Every group gets exactly group_size friends, in an order shuffled by the seed.
    net.group.resize(static_cast<size_t>(net.friends));
    for (int i = 0; i < net.friends; ++i) net.group[static_cast<size_t>(i)] = i / size;
    for (int i = net.friends - 1; i > 0; --i)
        std::swap(net.group[i], net.group[random.below(i + 1)]);

    for (int a = 1; a <= net.friends; ++a) {
        const int ga = net.group[static_cast<size_t>(a - 1)];
        for (int b = a + 1; b <= net.friends; ++b) {
            const double chance = net.group[static_cast<size_t>(b - 1)] == ga ? p.p_in : p.p_out;
            if (random.uniform() < chance) net.friendships.emplace_back(a, b);
        }
    }
    return net;
}

bool write_sbm_edge_list(const SbmNetwork& net, const SbmParameters& p, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::fprintf(f,
                 "# Stochastic block model: %d groups of %d friends, p_in %g, p_out %g, seed %llu\n"
                 "# The user is person 0: %d friends, %zu friendships between them\n",
                 p.groups, p.group_size, p.p_in, p.p_out, static_cast<unsigned long long>(p.seed),
                 net.friends, net.friendships.size());
    for (int i = 1; i <= net.friends; ++i) std::fprintf(f, "0 %d\n", i);
    for (const auto& e : net.friendships) std::fprintf(f, "%d %d\n", e.first, e.second);
    const bool ok = std::fflush(f) == 0 && !std::ferror(f);
    return std::fclose(f) == 0 && ok;
}
