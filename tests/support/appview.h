// TestAppView: a small Bluesky AppView of the tests' own on 127.0.0.1 (cpp-httplib) speaking the
// lexicon shapes the Bluesky source reads: resolveHandle, getProfile(s), getFollows and
// getFollowers with cursors, getRelationships, and avatars as WebP or JPEG. A fault function
// can turn any answer into a 429 with RateLimit-Reset, a 500, an HTML page, a cut answer or a
// late one. It counts what it is asked, and how many requests it answers at once.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class TestAppView {
public:
    struct Account {
        std::string did;     // "did:plc:..."
        std::string handle;  // "alice.test"
        std::string name;    // the display name; "" for none
        std::string avatar;  // "webp", "jpeg" or "" for none
        bool gone = false;   // still in others' lists, but no longer resolves
    };
    struct Fault {
        int status = 0;    // answers with this status instead (0: the real answer)
        std::string body;  // with this body (JSON or a page)
        std::map<std::string, std::string> headers;
        bool cut = false;  // sends half the real answer, then closes the connection
        int delay_ms = 0;  // waits before answering
    };
    // Sees the method ("app.bsky.graph.getFollows") and its number among the calls of that
    // method (from 1); what it returns replaces the answer when it says so.
    using FaultFunction = std::function<Fault(const std::string& method, int nth)>;

    TestAppView();
    ~TestAppView();
    TestAppView(const TestAppView&) = delete;
    TestAppView& operator=(const TestAppView&) = delete;

    // "http://127.0.0.1:<port>".
    std::string url() const;
    // Stops answering: later requests find the port closed.
    void stop();

    // Before the first request.
    void add(const Account& account);
    // a follows b (both by handle).
    void follow(const std::string& a, const std::string& b);
    void set_fault(FaultFunction fault);

    int calls(const std::string& method) const;
    int total_calls() const;
    int peak_in_flight() const { return m_peak; }
    // The DID of a handle, "" when unknown.
    std::string did_of(const std::string& handle) const;

    // The accounts a handle follows that follow it back, as DIDs (what its globe should show),
    // and the pairs among them that follow each other (smaller DID first).
    std::set<std::string> friends_of(const std::string& handle) const;
    std::set<std::pair<std::string, std::string>> lines_of(const std::string& handle) const;

    // The avatar bytes an account is served: a small picture of its own colour.
    static std::string webp_avatar(const std::string& did);
    static std::string jpeg_avatar(const std::string& did);

private:
    struct Person {
        Account account;
        std::vector<std::string> follows;    // DIDs, in the order followed
        std::vector<std::string> followers;  // DIDs
        std::set<std::string> follow_set;
    };
    void answer(const std::string& method, const httplib::Request& req, httplib::Response& res);
    std::string view(const Person& p, bool detailed) const;
    const Person* find(const std::string& actor) const;

    httplib::Server m_server;
    std::thread m_thread;
    int m_port = -1;
    mutable std::mutex m_lock;
    std::map<std::string, Person> m_people;        // by DID
    std::map<std::string, std::string> m_handles;  // handle -> DID
    FaultFunction m_fault;
    std::map<std::string, int> m_calls;
    std::atomic<int> m_in_flight{0};
    std::atomic<int> m_peak{0};
    bool m_stopped = false;
};
