// nimbra-service: the social service as a program of its own, answering on a port until it is
// interrupted; serves the demo network or a network read from a graph file.
#include "service/data_lines.h"
#include "service/demo_network.h"
#include "service/graph_file.h"
#include "service/social_service.h"

#include <CLI/CLI.hpp>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <csignal>
#include <cstdio>
#include <string>

namespace {

// True when every address the name stands for is this machine's loopback (127.0.0.0/8, ::1):
// then nobody else can reach the service.
bool loopback_only(const std::string& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    bool loopback = true;
    for (addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
            loopback = loopback && (ntohl(in->sin_addr.s_addr) >> 24) == 127;
        } else if (a->ai_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a->ai_addr);
            loopback = loopback && IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr);
        } else {
            loopback = false;
        }
    }
    freeaddrinfo(found);
    return loopback;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 8080;
    std::string address = "127.0.0.1", graph, ego, people;
    bool mutual_only = false;
    std::string api_key = kNimbraApiKey, secret = kNimbraSecret;

    CLI::App app(
        "Answers Nimbra's REST calls at http://ADDRESS:PORT/restserver.php. Without --graph it\n"
        "serves the built-in demo network; with it, the ego network of one person of a graph\n"
        "file. Stops on Ctrl-C.",
        "nimbra-service");
    app.get_formatter()->column_width(20);
    app.set_help_flag("-h,--help", "show this help and exit");
    app.add_option("--port", port, "the port to listen on (default 8080)")
        ->type_name("N")
        ->check(CLI::Range(0, 65535).description(""));
    app.add_option("--address", address, "the address to listen on (default 127.0.0.1)")
        ->type_name("A");
    app.add_option("--graph", graph, "GraphML, GEXF, GML, Pajek or an edge list (\"a b\", \"a,b\")")
        ->type_name("FILE");
    app.add_option("--ego", ego, "the user of --graph (default: who has the most friends)")
        ->type_name("UID");
    app.add_option("--people", people, "names and photos: CSV lines uid,name,pic,pic_square")
        ->type_name("FILE");
    app.add_flag("--mutual-only", mutual_only,
                 "of a directed graph, only the pairs that point both ways")
        ->disable_flag_override();
    app.add_option("--api-key", api_key, "the application's key (default: Nimbra's own)")
        ->type_name("K");
    app.add_option("--secret", secret, "the application's secret (default: Nimbra's own)")
        ->type_name("S");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::printf("%s", app.help().c_str());
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr,
                     "nimbra-service: %s\nTry 'nimbra-service --help' for more information.\n",
                     e.what());
        return 2;
    }
    if ((!ego.empty() || mutual_only) && graph.empty()) {
        std::fprintf(stderr, "nimbra-service: --ego and --mutual-only need --graph\n");
        return 2;
    }

    UTL_SocialNetwork network;
    std::string error, warning;
    std::vector<std::string> warnings;
    if (graph.empty()) {
        network = make_demo_network();
        if (!people.empty() && network.read_people(people, error, warning)) {
            warnings = split_lines(warning);
        }
    } else {
        UTL_GraphFile::load({graph, people, ego, mutual_only, {}}, network, error, warnings);
    }
    for (const std::string& w : warnings) std::fprintf(stderr, "nimbra-service: %s\n", w.c_str());
    if (!error.empty()) {
        std::fprintf(stderr, "nimbra-service: %s\n", error.c_str());
        return 1;
    }

    // Ctrl-C and kill are taken by sigwait below instead of ending the process mid-answer.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    UTL_SocialService service(std::move(network), api_key, secret);
    if (service.standing_token().empty()) {
        std::fprintf(stderr, "nimbra-service: the system gives no random numbers for a token\n");
        return 1;
    }
    if (service.start(address, port) < 0) {
        std::fprintf(stderr, "nimbra-service: %s\n", service.start_error().c_str());
        return 1;
    }
    const std::string cut = service.cut_warning();
    if (!cut.empty()) std::fprintf(stderr, "nimbra-service: warning: %s\n", cut.c_str());
    if (!loopback_only(address)) {
        std::fprintf(stderr,
                     "nimbra-service: warning: listening on %s, not only on this machine: anyone "
                     "who reaches it can log in with the printed token (or with the application's "
                     "built-in key) and read the network it serves\n",
                     address.c_str());
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
