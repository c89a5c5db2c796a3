// The acquisition of a real ego network: person 107 of the SNAP Facebook graph (1045 friends,
// 545,490 pairs to ask) through the embedded service over HTTP into the controller, with the
// pacing at its shortest (a batch in every frame). Prints the time from launch to every person
// on the globe and from there to every friendship, with frames back to back and at the real
// 50 frames per second, and the service's answer time for one full batch.
#include "app/acquisition.h"
#include "controller/sim_ctrl_nimbra.h"
#include "service/signature.h"
#include "service/social_service.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

std::string graph_file() { return std::string(NIMBRA_SHARED_DATA_DIR) + "/facebook_combined.txt"; }

// One launch: the acquisition from start() to its last friendship. frame_ms 0: frames back to
// back, otherwise one frame every frame_ms milliseconds as the host's timer gives them.
void run_launch(int frame_ms) {
    UTL_SimCtrlNimbra controller;  // not started: the model only, no drawing
    UTL_AcquisitionOptions options;
    options.m_graph_file = graph_file();
    options.m_ego = "107";
    options.m_batch_frames = 0;
    options.m_keep_session = false;
    UTL_Acquisition acquisition(&controller, nullptr, options);

    Clock::time_point launch = Clock::now();
    std::string error;
    if (!acquisition.start(error)) {
        std::printf("cannot start: %s\n", error.c_str());
        return;
    }
    Clock::time_point people = launch, next_frame = launch;
    long frames = 0;
    bool people_seen = false;
    while (!acquisition.friendships_loaded()) {
        acquisition.tick();
        ++frames;
        if (!people_seen && acquisition.people_loaded()) {
            people = Clock::now();
            people_seen = true;
        }
        if (frame_ms > 0) {
            next_frame += std::chrono::milliseconds(frame_ms);
            std::this_thread::sleep_until(next_frame);
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        if (ms_between(launch, Clock::now()) > 600000) {
            std::printf("gave up after 10 minutes\n");
            return;
        }
    }
    Clock::time_point done = Clock::now();
    size_t friends = controller.m_friends.size();
    std::printf(
        "%-28s %8.0f ms to %zu people, then %8.0f ms and %ld frames to %zu lines "
        "(%zu batches)\n",
        frame_ms > 0 ? "frames at 50 per second:" : "frames back to back:",
        ms_between(launch, people), friends + 1, ms_between(people, done), frames,
        controller.m_connections.size() - friends, acquisition.sent_batches().size());
}

// The service alone: a signed call for the first full batch of the ego network, many times.
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
        "service, one batch of %zu pairs over HTTP: median %.2f ms, 95th percentile "
        "%.2f ms, fastest %.2f ms (200 calls)\n",
        pairs, times[times.size() / 2], times[times.size() * 95 / 100], times.front());
}

}  // namespace

int main() {
    std::printf("Ego network of person 107 of %s, batches paced at their shortest\n",
                graph_file().c_str());
    run_launch(0);
    run_launch(20);
    run_service_batch();
    return 0;
}
