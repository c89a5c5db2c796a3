// Test fixtures for the acquisition: a recording scene model, synthetic networks, a service on
// 127.0.0.1 whose answers a test can rewrite per method, a clock the test moves by hand, and a
// frame loop that waits for answers.
#pragma once

#include "sources/service_source.h"
#include "service/social_service.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Records what the acquisition asks of the scene model, in order.
struct RecordingTarget : UTL_AcquisitionTarget {
    std::vector<std::string> calls;  // "myself <uid>", "friend <uid>", "layout", "my lines"
    std::vector<std::string> friends;
    std::vector<std::pair<std::string, std::string>> connections;
    int odd_connections = 0;  // lines not of opacity 0.4 or highlighted

    void add_myself(const char* uid, const char*, const char*, const char*) override {
        calls.push_back(std::string("myself ") + uid);
    }
    void add_friend(const char* uid, const char*, const char*, const char*) override {
        calls.push_back(std::string("friend ") + uid);
        friends.push_back(uid);
    }
    void create_friends_locators() override { calls.push_back("layout"); }
    void add_connections_for_myself() override { calls.push_back("my lines"); }
    void add_connection(const char* uid1, const char* uid2, float alpha,
                        bool highlighted) override {
        connections.emplace_back(uid1, uid2);
        if (alpha != 0.4f || highlighted) ++odd_connections;
    }
    int friend_count() const override { return static_cast<int>(friends.size()); }
    const char* get_friend_id(int i) const override { return friends[i].c_str(); }
};

// A user "me" and n friends with uids 1000, 1001, ...; friends i and j are friends when
// (i + j) % 7 == 3.
inline UTL_SocialNetwork numbered_network(int n) {
    UTL_SocialNetwork net;
    std::vector<UTL_ServicePerson> friends;
    for (int i = 0; i < n; ++i) {
        std::string uid = std::to_string(1000 + i);
        friends.push_back({uid, UTL_SocialNetwork::generated_name(uid), "", "", true});
    }
    net.set_people({"me", "Maya Moreau", "", "", true}, friends);
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if ((i + j) % 7 == 3) net.add_friendship(friends[i].m_uid, friends[j].m_uid);
        }
    }
    return net;
}

// The social service behind an HTTP front that can change any answer: a fault function sees
// the method and the real answer and may rewrite it, delay it, or cut the connection.
class FaultyService {
public:
    struct Fault {
        std::string body;  // replaces the answer when not empty
        int delay_ms = 0;  // waits before answering
        bool cut = false;  // sends half the answer, then closes the connection
    };
    using FaultFunction =
        std::function<Fault(const std::string& method, const std::string& answer)>;

    explicit FaultyService(UTL_SocialNetwork network)
        : m_service(std::move(network), kNimbraApiKey, kNimbraSecret) {
        m_server.Post("/restserver.php", [this](const httplib::Request&, httplib::Response& res,
                                                const httplib::ContentReader& reader) {
            std::string body;
            reader([&](const char* data, size_t n) {
                body.append(data, n);
                return true;
            });
            std::map<std::string, std::string> fields = UTL_SocialService::parse_form(body);
            std::string method = fields["method"];
            std::string answer =
                m_service.answer(fields, "http://127.0.0.1:" + std::to_string(m_port));
            Fault fault;
            {
                std::lock_guard<std::mutex> hold(m_lock);
                m_methods.push_back(method);
                m_times.push_back(std::chrono::steady_clock::now());
                if (m_fault) fault = m_fault(method, answer);
            }
            if (fault.delay_ms > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(fault.delay_ms));
            if (!fault.body.empty()) answer = fault.body;
            if (fault.cut) {
                auto text = std::make_shared<std::string>(answer);
                res.set_content_provider(text->size(), "text/xml",
                                         [text](size_t offset, size_t, httplib::DataSink& sink) {
                                             if (offset > 0) return false;  // close mid-answer
                                             sink.write(text->data(), text->size() / 2);
                                             return true;
                                         });
                return;
            }
            res.set_content(answer, "text/xml");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // Bound a port, then listening on it: a port not bound never starts listening.
        if (m_port < 0 || !wait_until([this] { return m_server.is_running(); }))
            std::fprintf(stderr, "test server: not listening on 127.0.0.1\n");
    }
    ~FaultyService() {
        m_server.stop();
        m_thread.join();
    }

    std::string url() const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/restserver.php";
    }
    void set_fault(FaultFunction f) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_fault = std::move(f);
    }
    int calls(const std::string& method) const {
        std::lock_guard<std::mutex> hold(m_lock);
        int n = 0;
        for (const std::string& m : m_methods) n += m == method;
        return n;
    }
    std::vector<std::chrono::steady_clock::time_point> times(const std::string& method) const {
        std::lock_guard<std::mutex> hold(m_lock);
        std::vector<std::chrono::steady_clock::time_point> out;
        for (size_t i = 0; i < m_methods.size(); ++i) {
            if (m_methods[i] == method) out.push_back(m_times[i]);
        }
        return out;
    }
    UTL_SocialService& service() { return m_service; }

private:
    UTL_SocialService m_service;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = -1;
    mutable std::mutex m_lock;
    FaultFunction m_fault;
    std::vector<std::string> m_methods;
    std::vector<std::chrono::steady_clock::time_point> m_times;
};

// The acquisition's clock, moved by the test: waits of seconds pass at once, and nothing that
// waits for the clock happens until the test says so. Main thread only.
struct FakeClock {
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    void advance(double seconds) {
        now += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds));
    }
};

// Options for a test: the given service, no kept session, a time-out of one second, and the
// test's clock when there is one.
inline UTL_ServiceSourceOptions test_options(const std::string& url, FakeClock* clock = nullptr) {
    UTL_ServiceSourceOptions o;
    o.m_service_url = url;
    o.m_keep_session = false;
    o.m_total_timeout_s = 1;
    if (clock) o.m_clock = [clock] { return clock->now; };
    return o;
}

// Ticks (one frame each, with a short pause so answers can arrive) until done() or the time
// is up; answers whether done() held.
template <class Done>
bool tick_until(UTL_NetworkSource& a, Done done, int ms = 60000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        a.tick();
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    return true;
}

// Runs a source to the end the way a host with slow frames does: each frame's waits are lent to
// tick_while_drawing() until the source has nothing more on the wire, and only then does the
// frame end with tick(). during_frame() is called after each frame's waits, before its tick();
// between_frames() before every frame (a test's clock moves there). True when it finished.
template <class Source, class Check, class Between>
bool run_with_slow_frames(Source& source, Check during_frame, Between between_frames) {
    return tick_until(source, [&] {
        between_frames();
        const bool answered = wait_until([&] {
            source.tick_while_drawing(8);
            return source.requests_on_the_wire() == 0 || source.finished();
        });
        EXPECT_TRUE(answered) << "requests still unanswered after a minute";
        during_frame();
        return source.finished();
    });
}
