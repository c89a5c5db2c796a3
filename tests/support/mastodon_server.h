// TestFediverse and TestMastodon: a small fediverse of the tests' own. TestFediverse holds the
// truth (accounts on their domains, who follows whom); each TestMastodon is one server on
// 127.0.0.1 (cpp-httplib) that holds one domain's accounts and, like a real server, knows of
// another domain's accounts only the follows that involve its own. It speaks the REST shapes the
// Mastodon source reads (accounts/lookup, following and followers paged by Link addresses on its
// own host name, WebFinger), gives its own ids, serves avatars as PNG or GIF, counts its
// requests against a rate limit with X-RateLimit-* headers and an ISO 8601 reset on a clock the
// test moves, may refuse anonymous reads, and turns any answer into a fault on request.
#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class TestFediverse {
public:
    struct Account {
        std::string uid;      // "alice@alpha.test"
        std::string name;     // the display name; "" for none
        std::string avatar;   // "png", "gif" or "" for none
        bool hidden = false;  // hides whom it follows and who follows it
    };

    void add(const Account& account);
    // a follows b (both by uid).
    void follow(const std::string& a, const std::string& b);
    // The host a domain's server runs on, when it is not the domain itself.
    void set_host(const std::string& domain, const std::string& host);

    // The accounts uid follows that follow it back, and the pairs among them that follow each
    // other (smaller uid first), less the pairs whose two ends both cannot be read (nobody can
    // know those).
    std::set<std::string> friends_of(const std::string& uid) const;
    std::set<std::pair<std::string, std::string>> lines_of(
        const std::string& uid, const std::set<std::string>& unread = {}) const;

private:
    friend class TestMastodon;
    struct Person {
        Account account;
        std::vector<int> follows;  // follow numbers (from 1), in the order followed
        std::vector<int> followers;
    };
    std::string host_of(const std::string& domain) const;

    mutable std::mutex m_lock;
    std::vector<Person> m_people;
    std::map<std::string, int> m_index;              // uid -> index into m_people
    std::vector<std::pair<int, int>> m_follow_list;  // follow number - 1 -> (from, to)
    std::set<std::pair<int, int>> m_follow_set;
    std::map<std::string, std::string> m_hosts;
};

class TestMastodon {
public:
    struct Options {
        std::string domain;  // the domain of its accounts
        std::string host;    // the host it runs on, when not the domain ("" for the domain)
        int limit = 300;     // requests to /api/ in a window
        int window_s = 300;
        std::string token;  // non-empty: /api/ refuses requests without "Bearer token" (401)
    };
    struct Fault {
        int status = 0;      // answers with this status instead (0: the real answer)
        std::string body;    // with this body (JSON or a page)
        double block_s = 0;  // a 429 that closes the server to requests for this long
        int delay_ms = 0;    // waits before answering
        std::string link;    // the real answer with this Link header instead of its own
    };
    // Sees the call ("lookup", "following", "followers", "webfinger") and its number among the
    // calls of that kind (from 1); what it returns replaces the answer when it says so.
    using FaultFunction = std::function<Fault(const std::string& call, int nth)>;

    TestMastodon(TestFediverse& world, const Options& options);
    ~TestMastodon();
    TestMastodon(const TestMastodon&) = delete;
    TestMastodon& operator=(const TestMastodon&) = delete;

    // "http://127.0.0.1:<port>".
    std::string url() const;
    // Stops answering: later requests find the port closed.
    void stop();
    void set_fault(FaultFunction fault);
    // Moves the server's clock on with the test's; its time now, in Unix seconds.
    void advance(double seconds);
    double now() const { return server_now(); }

    int calls(const std::string& call) const;
    int total_calls() const;  // lookups, lists and WebFinger (not avatars)
    // Requests that came while the server's rate limit said to wait (none from a good client).
    int over_limit() const;
    // 429s it gave for its limit, and the windows it counted requests in.
    int limited() const;
    int windows() const;
    // Requests to /api/ about an id this server never gave.
    int foreign_ids() const;
    // Authorization headers it was sent.
    std::vector<std::string> authorizations() const;

    // The avatar bytes an account is served: a small picture of its own colour.
    static std::string png_avatar(const std::string& uid);
    static std::string gif_avatar(const std::string& uid);

private:
    void api(const std::string& call, const httplib::Request& req, httplib::Response& res);
    void answer(const std::string& call, const httplib::Request& req, httplib::Response& res);
    bool fault(const std::string& call, httplib::Response& res);
    bool over_the_limit(httplib::Response& res);
    std::string account_json(int index) const;  // world locked
    std::string id_of(int index) const { return std::to_string(m_id_base + index * 7 + 3); }
    int index_of_id(const std::string& id) const;
    bool local(int index) const;
    bool known(int index) const;  // world locked
    double server_now() const;
    std::string reset_text(double at) const;

    TestFediverse& m_world;
    Options m_options;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = -1;
    long m_id_base;
    mutable std::mutex m_lock;
    FaultFunction m_fault;
    std::map<std::string, int> m_calls;
    std::vector<std::string> m_authorizations;
    std::atomic<double> m_offset{0.0};
    double m_window_start = -1;
    int m_used = 0;
    int m_windows = 0;
    double m_blocked_until = 0;
    int m_over_limit = 0;
    int m_limited = 0;
    int m_foreign_ids = 0;
    bool m_stopped = false;
};
