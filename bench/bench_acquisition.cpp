// The acquisition of real ego networks of the SNAP Facebook graph (person 0: 347 friends,
// person 107: 1045 friends and 545,490 pairs to ask) through the embedded service over HTTP.
//   1. The real program, nimbra-offscreen at 1280x800 with --until-loaded: from launch to the
//      first frame that shows every person and every line, as a ratio to the time of one frame
//      with everything in, measured in the same run (so the figure means the same on a loaded
//      machine).
//   2. The acquisition alone into the controller, without drawing: launch to people and lines.
//   3. The service alone: the answer time for one full batch.
#include "sources/service_source.h"
#include "controller/sim_ctrl_nimbra.h"
#include "service/signature.h"
#include "service/social_service.h"

#include <httplib.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

std::string graph_file() { return std::string(NIMBRA_SHARED_DATA_DIR) + "/facebook_combined.txt"; }

// Runs the program with args; its standard output and error, and when "Everything is in"
// first appeared on the error stream (ms after the start, -1 never).
struct ProgramRun {
    std::string out, err;
    double everything_in_ms = -1.0;
    int status = -1;
};

ProgramRun run_program(std::vector<std::string> args) {
    ProgramRun run;
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return run;
    const Clock::time_point start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        std::vector<char*> argv{const_cast<char*>(NIMBRA_OFFSCREEN_PROGRAM)};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    int fds[2] = {out[0], err[0]};
    char buffer[4096];
    while (fds[0] >= 0 || fds[1] >= 0) {
        pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
        poll(p, 2, 1000);
        for (int k = 0; k < 2; ++k) {
            if (fds[k] < 0 || !(p[k].revents & (POLLIN | POLLHUP))) continue;
            ssize_t got = read(fds[k], buffer, sizeof(buffer));
            if (got <= 0) {
                close(fds[k]);
                fds[k] = -1;
                continue;
            }
            (k == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(got));
            if (k == 1 && run.everything_in_ms < 0 &&
                run.err.find("Everything is in") != std::string::npos) {
                run.everything_in_ms = ms_between(start, Clock::now());
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// 1. Launch to the whole globe, drawn, against the frame time of the same run.
void run_whole_globe(const char* ego) {
    ProgramRun run = run_program({"--graph", graph_file(), "--ego", ego, "--size", "1280x800",
                                  "--until-loaded", "--frames", "5", "--bench"});
    std::smatch head, launch, steady;
    const bool ok =
        run.status == 0 &&
        std::regex_search(run.out, head, std::regex("(\\d+) people, (\\d+) lines")) &&
        std::regex_search(
            run.out, launch,
            std::regex("launch to everything in: ([0-9.]+) s, shown by frame (\\d+)")) &&
        std::regex_search(
            run.out, steady,
            std::regex("frames with everything in \\([^)]*\\): \\d+, mean ([0-9.]+) ms"));
    if (!ok) {
        std::printf("ego %s: the program did not finish as expected (status %d)\n%s%s", ego,
                    run.status, run.out.c_str(), run.err.c_str());
        return;
    }
    const double launch_s = std::stod(launch[1]);
    const double frame_s = std::stod(steady[1]) / 1000.0;
    std::printf(
        "ego %-4s %5s people %6s lines: whole globe shown %.2f s after launch (frame %s); a "
        "frame with everything in %.3f s; ratio %.1f frames (the status line said "
        "\"Everything is in\" %.2f s after the fork)\n",
        ego, head[1].str().c_str(), head[2].str().c_str(), launch_s, launch[2].str().c_str(),
        frame_s, frame_s > 0 ? launch_s / frame_s : 0.0, run.everything_in_ms / 1000.0);
}

// 2. The acquisition alone: start() to the last friendship, frames back to back, no drawing.
void run_model_only(const char* ego) {
    UTL_SimCtrlNimbra controller;  // not started: the model only, no drawing
    UTL_ServiceSourceOptions options;
    options.m_graph_file = graph_file();
    options.m_ego = ego;
    options.m_keep_session = false;
    UTL_ServiceSource acquisition(&controller, nullptr, options);

    Clock::time_point launch = Clock::now();
    std::string error;
    if (!acquisition.start(error)) {
        std::printf("cannot start: %s\n", error.c_str());
        return;
    }
    Clock::time_point people = launch;
    long frames = 0;
    bool people_seen = false;
    while (!acquisition.finished()) {
        acquisition.tick();
        ++frames;
        if (!people_seen && acquisition.people_loaded()) {
            people = Clock::now();
            people_seen = true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        if (ms_between(launch, Clock::now()) > 600000) {
            std::printf("gave up after 10 minutes\n");
            return;
        }
    }
    Clock::time_point done = Clock::now();
    size_t friends = controller.m_friends.size();
    std::printf(
        "ego %-4s without drawing: %6.0f ms to %zu people, then %6.0f ms and %ld frames to %zu "
        "lines (%zu batches)\n",
        ego, ms_between(launch, people), friends + 1, ms_between(people, done), frames,
        controller.m_connections.size(), acquisition.sent_batches().size());
}

// 3. The service alone: a signed call for the first full batch of ego 107, many times.
void run_service_batch() {
    UTL_SocialNetwork network;
    std::string error, warning;
    if (!network.read_edge_list(graph_file(), error, warning) || !network.set_ego("107")) {
        std::printf("cannot read %s\n", graph_file().c_str());
        return;
    }
    const std::vector<std::string> friends = network.friends();
    UTL_SocialService service(std::move(network), kNimbraApiKey, kNimbraSecret);
    if (service.start("127.0.0.1", 0) < 0) return;

    // Whole rows until past 800 pairs, as the application asks.
    std::string a, b;
    size_t pairs = 0;
    for (size_t i = 0; pairs <= 800; ++i) {
        for (size_t j = i + 1; j < friends.size(); ++j, ++pairs) {
            if (pairs > 0) {
                a += ',';
                b += ',';
            }
            a += friends[i];
            b += friends[j];
        }
    }
    std::map<std::string, std::string> fields{{"method", "auth.getSession"},
                                              {"auth_token", service.standing_token()},
                                              {"api_key", kNimbraApiKey},
                                              {"v", "1.0"},
                                              {"call_id", "1"}};
    fields["sig"] = request_signature(fields, kNimbraSecret);
    httplib::Client client("127.0.0.1", service.port());
    httplib::Params form(fields.begin(), fields.end());
    auto session = client.Post("/restserver.php", form);
    UTL_ServiceAnswer answer;
    answer.parse(session ? session->body : "", "auth_getSession_response");
    std::string key = answer.root_element().child_value("session_key");

    std::vector<double> times;
    for (int k = 0; k < 200; ++k) {
        std::map<std::string, std::string> call{{"method", "facebook.friends.areFriends"},
                                                {"uids1", a},
                                                {"uids2", b},
                                                {"api_key", kNimbraApiKey},
                                                {"v", "1.0"},
                                                {"session_key", key},
                                                {"call_id", std::to_string(k + 2)}};
        call["sig"] = request_signature(call, kNimbraSecret);
        httplib::Params p(call.begin(), call.end());
        Clock::time_point t = Clock::now();
        auto res = client.Post("/restserver.php", p);
        times.push_back(ms_between(t, Clock::now()));
        if (!res || res->body.find("<friends_areFriends_response") == std::string::npos) {
            std::printf("bad batch answer\n");
            return;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "service, one batch of %zu pairs over HTTP: median %.2f ms, 95th percentile %.2f ms, "
        "fastest %.2f ms (200 calls)\n",
        pairs, times[times.size() / 2], times[times.size() * 95 / 100], times.front());
}

}  // namespace

int main() {
    unsigned cores = std::thread::hardware_concurrency();
    std::printf("Ego networks of %s on %u cores\n", graph_file().c_str(), cores);
    for (const char* ego : {"0", "107"}) run_whole_globe(ego);
    for (const char* ego : {"0", "107"}) run_model_only(ego);
    run_service_batch();
    return 0;
}
