// nimbra-service: the social service as a program of its own, answering on a port until it is
// interrupted; serves the demo network or a network read from an edge-list file.
#include "service/demo_network.h"
#include "service/social_service.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void usage(FILE* to) {
    std::fprintf(to,
                 "Usage: nimbra-service [--port N] [--address A] [--graph FILE [--ego UID]]\n"
                 "                      [--people FILE] [--api-key K] [--secret S]\n"
                 "Answers Nimbra's REST calls at http://A:N/restserver.php (default\n"
                 "127.0.0.1:8080). Without --graph it serves the built-in demo network; with it\n"
                 "the ego network of UID (default: the person with the most friends) of an\n"
                 "edge list (\"a b\" or \"a,b\" per line). --people names them: CSV lines\n"
                 "uid,name,pic,pic_square. Stops on Ctrl-C.\n");
}

}  // namespace

int main(int argc, char** argv) {
    int port = 8080;
    std::string address = "127.0.0.1", graph, ego, people;
    std::string api_key = kNimbraApiKey, secret = kNimbraSecret;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "nimbra-service: %s needs a value\n", arg.c_str());
            usage(stderr);
            return 2;
        }
        std::string value = argv[++i];
        if (arg == "--port") {
            char* end = nullptr;
            long n = std::strtol(value.c_str(), &end, 10);
            if (!end || *end || n < 0 || n > 65535) {
                std::fprintf(stderr, "nimbra-service: bad port %s\n", value.c_str());
                return 2;
            }
            port = static_cast<int>(n);
        } else if (arg == "--address") {
            address = value;
        } else if (arg == "--graph") {
            graph = value;
        } else if (arg == "--ego") {
            ego = value;
        } else if (arg == "--people") {
            people = value;
        } else if (arg == "--api-key") {
            api_key = value;
        } else if (arg == "--secret") {
            secret = value;
        } else {
            std::fprintf(stderr, "nimbra-service: unknown option %s\n", arg.c_str());
            usage(stderr);
            return 2;
        }
    }

    UTL_SocialNetwork network;
    std::string error, warning;
    if (graph.empty()) {
        network = make_demo_network();
    } else if (!network.read_edge_list(graph, error, warning)) {
        std::fprintf(stderr, "nimbra-service: %s\n", error.c_str());
        return 1;
    }
    if (!warning.empty()) std::fprintf(stderr, "nimbra-service: %s\n", warning.c_str());
    if (!people.empty()) {
        warning.clear();
        if (!network.read_people(people, error, warning)) {
            std::fprintf(stderr, "nimbra-service: %s\n", error.c_str());
            return 1;
        }
        if (!warning.empty()) std::fprintf(stderr, "nimbra-service: %s\n", warning.c_str());
    }
    if (!graph.empty() && !(ego.empty() ? network.choose_ego() : network.set_ego(ego))) {
        std::fprintf(stderr, "nimbra-service: no person %s with friends in %s\n", ego.c_str(),
                     graph.c_str());
        return 1;
    }

    // Ctrl-C and kill are taken by sigwait below instead of ending the process mid-answer.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    UTL_SocialService service(std::move(network), api_key, secret);
    if (service.start(address, port) < 0) {
        std::fprintf(stderr, "nimbra-service: cannot listen on %s:%d\n", address.c_str(), port);
        return 1;
    }
    const UTL_ServicePerson* me = service.network().ego();
    std::printf("nimbra-service: %s, user %s (%s) with %zu friends\n", service.rest_url().c_str(),
                me->m_uid.c_str(), me->m_name.c_str(), service.network().friends().size());
    std::printf("nimbra-service: login token %s\n", service.standing_token().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop_signals, &signal);
    service.stop();
    return 0;
}
