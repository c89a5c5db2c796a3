// nimbra_main: the program shared by both hosts. Reads what the command line names while the
// working directory is still the user's, moves to the resource folder, and runs the host with
// the controller and a local network fed the way the social service feeds it.
#include "service/demo_network.h"
#include "app/host.h"
#include "app/host_driver.h"
#include "app/options.h"
#include "app/resource_folder.h"
#include "app/snap_graph.h"
#include "controller/sim_ctrl_nimbra.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

void host_log(const std::string& message) { std::cerr << "nimbra: " << message << std::endl; }

// The people arrive between frames once the controller has started, like the service's
// answers after the login; the friendships follow batch by batch as the frame counter allows.
void attach_network(UTL_HostDriver& driver, UTL_Host& host, const UTL_SocialGraph& graph)
{
    auto people_sent = std::make_shared<bool>(false);
    driver.m_send_are_friends = [&driver, &graph](const std::vector<std::string>& a, const std::vector<std::string>& b) {
        if (driver.controller()) graph.answer_are_friends(*driver.controller(), a, b);
    };
    driver.m_between_frames = [&driver, &host, &graph, people_sent]() {
        if (*people_sent || !driver.started() || !driver.controller()) return;
        *people_sent = true;
        host.set_title("Nimbra | " + graph.me().name);
        graph.feed_people(*driver.controller());
        driver.request_are_friends();
    };
}

int nimbra_main(int argc, char** argv, UTL_Host& host, const std::string& program)
{
    UTL_HostOptions options;
    std::string error;
    if (!parse_command_line(argc, argv, options, error)) {
        std::cerr << program << ": " << error << "\nTry '" << program << " --help' for more information.\n";
        return 2;
    }
    if (options.help) {
        std::cout << usage_text(program);
        return 0;
    }
    if (options.version) {
        std::cout << version_text(program);
        return 0;
    }

    // The network to show, read before the working directory changes.
    UTL_SocialGraph graph;
    if (options.graph_file.empty()) {
        graph = make_demo_network();
    } else {
        std::string warning;
        if (!read_snap_ego_network(options.graph_file, options.has_ego, options.ego, graph, error, warning)) {
            std::cerr << program << ": " << error << "\n";
            return 1;
        }
        if (!warning.empty()) std::cerr << program << ": " << warning << "\n";
    }

    const char* env = std::getenv("NIMBRA_DATA");
    const std::string folder = find_resource_folder(absolute_path(options.data_dir), absolute_path(env ? env : ""),
                                                    executable_dir(), error);
    if (folder.empty()) {
        std::cerr << program << ": " << error << "\n";
        return 1;
    }
    // The surface first, as the platform creates it before the program's set-up; the host
    // also reads what it names (a script) relative to the user's directory.
    if (!host.open(options)) return 1;
    if (chdir(folder.c_str()) != 0) {
        std::cerr << program << ": cannot enter the resource folder " << folder << ": " << std::strerror(errno) << "\n";
        host.close();
        return 1;
    }

    UTL_HostDriver driver(new UTL_SimCtrlNimbra());
    driver.m_batch_frames = options.batch_frames;
    attach_network(driver, host, graph);
    const int status = host.run(driver);

    // Teardown: the network's source, the loop (already stopped), the controller with the
    // context current, then the surface.
    driver.m_send_are_friends = nullptr;
    driver.m_between_frames = nullptr;
    host.make_current();
    driver.destroy_controller();
    host.close();
    return status;
}
