// nimbra_main: the program shared by both hosts. Reads what the command line names while the
// working directory is still the user's, moves to the resource folder, and runs the host with
// the controller and the source that fetches the people and their friendships.
#include "app/host.h"
#include "app/host_driver.h"
#include "app/options.h"
#include "app/resource_folder.h"
#include "app/saved_network.h"
#include "app/url_opener.h"
#include "controller/sim_ctrl_nimbra.h"
#include "sources/bluesky_source.h"
#include "sources/mastodon_source.h"
#include "sources/service_source.h"

#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

namespace {

// Failures in a row after which an offscreen run stops waiting: waits of 1, 2, 4 ... 60 s.
constexpr int kOffscreenAttempts = 8;
// Answers taken in one turn of the work done while the renderer draws (about 30 µs each).
constexpr int kAnswersPerWait = 32;

bool has_people(const UTL_SimCtrlNimbra* c) { return c && (c->m_myself || !c->m_friends.empty()); }

// The source the command line names, not yet started: a Mastodon or Bluesky network, the embedded
// service with the demo or a graph file, or another service that speaks its protocol. Files are
// named relative to the user's directory, which changes before the source is ticked.
std::unique_ptr<UTL_NetworkSource> make_source(const UTL_HostOptions& options,
                                               UTL_NetworkSource::TitleCallback title) {
    if (!options.mastodon.empty()) {
        UTL_MastodonSourceOptions mastodon;
        mastodon.m_account = options.mastodon;
        std::string unused;
        for (const std::string& r : options.mastodon_resolve) mastodon.add_resolve(r, unused);
        const char* token = std::getenv("NIMBRA_MASTODON_TOKEN");
        mastodon.m_token = !options.mastodon_token.empty() ? options.mastodon_token
                           : token                         ? token
                                                           : "";
        mastodon.m_refresh = options.refresh;
        if (options.offscreen()) {
            mastodon.m_print_status = true;
            mastodon.m_give_up_after = kOffscreenAttempts;
        }
        return std::make_unique<UTL_MastodonSource>(static_cast<UTL_SimCtrlNimbra*>(nullptr),
                                                    std::move(title), mastodon);
    }
    if (!options.bluesky.empty()) {
        UTL_BlueskySourceOptions bluesky;
        bluesky.read_environment();
        bluesky.m_actor = options.bluesky;
        if (!options.bluesky_host.empty()) bluesky.m_host = options.bluesky_host;
        bluesky.m_refresh = options.refresh;
        if (options.offscreen()) {
            bluesky.m_print_status = true;
            bluesky.m_give_up_after = kOffscreenAttempts;
        }
        return std::make_unique<UTL_BlueskySource>(static_cast<UTL_SimCtrlNimbra*>(nullptr),
                                                   std::move(title), bluesky);
    }
    UTL_ServiceSourceOptions source;
    source.read_environment();
    if (!options.service_url.empty()) source.m_service_url = options.service_url;
    if (!options.api_key.empty()) source.m_api_key = options.api_key;
    if (!options.secret.empty()) source.m_secret = options.secret;
    if (!options.auth_token.empty()) source.m_auth_token = options.auth_token;
    if (!options.graph_file.empty()) source.m_graph_file = absolute_path(options.graph_file);
    if (!options.people_file.empty()) source.m_people_file = absolute_path(options.people_file);
    if (options.has_ego) source.m_ego = options.ego;
    source.m_mutual_only = options.mutual_only;
    source.m_batch_interval_s = options.batch_interval;
    if (options.offscreen()) {
        // No person watches an offscreen run: it says on standard error what it waits for,
        // and a service that stays away ends it after about two minutes of waits instead of
        // holding a script for ever.
        source.m_print_status = true;
        source.m_give_up_after = kOffscreenAttempts;
    }
    return std::make_unique<UTL_ServiceSource>(static_cast<UTL_SimCtrlNimbra*>(nullptr),
                                               std::move(title), source);
}

}  // namespace

void host_log(const std::string& message) { std::cerr << "nimbra: " << message << std::endl; }

int nimbra_main(int argc, char** argv, UTL_Host& host, const std::string& program) {
    // NOTE: glibc gives every thread that allocates an arena of its own and keeps what is freed
    // there; with the renderer's, the photo worker's and the service's threads that is tens of
    // megabytes held for nothing. Two arenas are plenty for threads that mostly wait.
    mallopt(M_ARENA_MAX, 2);
    UTL_HostOptions options;
    std::string error;
    if (!parse_command_line(argc, argv, options, error)) {
        std::cerr << program << ": " << error << "\nTry '" << program
                  << " --help' for more information.\n";
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

    // A file that cannot be written is told now, not after a long run.
    const std::string save_path = absolute_path(options.save_graph);
    if (!save_path.empty()) {
        const std::string folder = save_path.substr(0, save_path.rfind('/') + 1);
        if (access(folder.c_str(), W_OK) != 0) {
            std::cerr << program << ": cannot save the network to " << save_path << ": "
                      << std::strerror(errno) << "\n";
            return 1;
        }
    }

    // Started before the window opens, so a graph file that cannot be read is told at once;
    // the answers wait for the controller.
    std::unique_ptr<UTL_NetworkSource> source =
        make_source(options, [&host](const std::string& t) { host.set_title(t); });
    if (!source->start(error)) {
        std::cerr << program << ": " << error << "\n";
        return 1;
    }

    const char* env = std::getenv("NIMBRA_DATA");
    const std::string folder = find_resource_folder(
        absolute_path(options.data_dir), absolute_path(env ? env : ""), executable_dir(), error);
    if (folder.empty()) {
        std::cerr << program << ": " << error << "\n";
        return 1;
    }
    // The surface first, as the platform creates it before the program's set-up; the host
    // also reads what it names (a script) relative to the user's directory.
    if (!host.open(options)) return 1;
    if (chdir(folder.c_str()) != 0) {
        std::cerr << program << ": cannot enter the resource folder " << folder << ": "
                  << std::strerror(errno) << "\n";
        host.close();
        return 1;
    }

    UTL_HostDriver driver(new UTL_SimCtrlNimbra());
    // The photos: local paths only from a local source, decided here where the source is known.
    driver.controller()->m_foto_settings =
        photo_settings(options, source->local_photos(), source->fresh_photos());
    // The maker logo opens the About page with the desktop's opener; the controller itself
    // makes no platform calls.
    driver.controller()->m_open_url = [](const std::string& page) { open_url(page); };
    if (options.layout == "circles")
        driver.controller()->set_layout(UTL_SimCtrlNimbra::LAYOUT_CIRCLES);
    // The answers reach the controller between frames once it has started.
    source->set_controller(driver.controller());
    driver.m_between_frames = [&driver, &source]() {
        if (!driver.started()) return;
        source->tick();
        driver.controller()->m_status_line.set_text(source->status_text());
    };
    // NOTE: a few answers at a time, so the renderer, which has only a window or two of work
    // queued, is never kept waiting for long.
    // NIMBRA_ANSWERS=between-frames takes them between frames only, to compare.
    const char* answers = std::getenv("NIMBRA_ANSWERS");
    if (!answers || std::strcmp(answers, "between-frames") != 0) {
        driver.m_while_drawing = [&driver, &source]() {
            if (driver.started()) source->tick_while_drawing(kAnswersPerWait);
        };
    }
    driver.m_loaded = [&source]() { return source->finished(); };
    int status = host.run(driver);
    // A picture or a timing of an empty globe is no result.
    if (status == 0 && options.offscreen() && !has_people(driver.controller())) {
        std::cerr << program << ": no people arrived: " << source->failure_text();
        if (!source->finished()) std::cerr << " (--until-loaded waits for them)";
        std::cerr << "\n";
        status = 1;
    }

    // The network as it is shown now; an empty globe leaves an earlier file as it was.
    if (!save_path.empty() && has_people(driver.controller())) {
        const UTL_SavedNetwork network =
            UTL_SavedNetwork::of(*driver.controller(), source->fresh_photos());
        if (!network.write_graphml(save_path, error)) {
            std::cerr << program << ": cannot save the network to " << save_path << ": " << error
                      << "\n";
            status = 1;
        }
    }

    // Teardown: the network's source, the loop (already stopped), the controller with the
    // context current, then the surface.
    driver.m_between_frames = nullptr;
    driver.m_while_drawing = nullptr;
    source->shutdown();
    host.make_current();
    driver.destroy_controller();
    host.close();
    return status;
}
