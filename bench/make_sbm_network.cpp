// Writes the benchmarks' 5,000-friend network as an edge list: usage make_sbm_network FILE
// [SEED]; then nimbra --graph FILE --ego 0 shows it.
#include "sbm_network.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_sbm_network FILE [SEED]\n");
        return 2;
    }
    SbmParameters p;
    if (argc == 3) p.seed = std::strtoull(argv[2], nullptr, 10);
    const SbmNetwork net = make_sbm_network(p);
    if (!write_sbm_edge_list(net, p, argv[1])) {
        std::fprintf(stderr, "make_sbm_network: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %d friends, %zu friendships between them, %zu lines with the user's\n",
                argv[1], net.friends, net.friendships.size(),
                net.friendships.size() + static_cast<size_t>(net.friends));
    return 0;
}
