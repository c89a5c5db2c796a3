// UTL_JsonClient: JSON over HTTP(S) GET for the sources that read public web APIs (Bluesky's
// AppView, Mastodon servers): a few worker threads with a kept-alive connection each, answers
// size-capped, parsed with nlohmann-json off the main thread, and sorted into taken, to be asked
// again, refused, or rate-limited, with the rate-limit headers read.
#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct UTL_JsonAnswer {
    enum class Kind {
        kOk,           // a JSON answer with a 2xx status: m_json
        kRetry,        // no usable answer this time (a 5xx, a page, a time-out, a cut answer)
        kRefused,      // the server said no (a 4xx): asking again gives the same
        kRateLimited,  // a 429: nothing more to that server until m_reset_in_s has passed
    };
    Kind m_kind = Kind::kRetry;
    long m_status = 0;      // the HTTP status, 0 when none came
    nlohmann::json m_json;  // the answer (kOk) or the error document of a refusal
    std::string m_error;    // a refusal's "error" name, such as "HandleNotFound"
    std::string m_reason;   // why it is not kOk, in a person's terms
    // The rate-limit headers of any answer: the requests left in the window (-1: not said) and
    // the seconds until it starts again (-1: not said), counted from when the answer came.
    long m_remaining = -1;
    double m_reset_in_s = -1.0;
    // Every header, names in lower case (the first of repeated ones), for Link and the like.
    std::map<std::string, std::string> m_headers;

    bool ok() const { return m_kind == Kind::kOk; }
};

struct UTL_JsonRequest {
    std::string m_url;                   // the whole address, query included
    std::vector<std::string> m_headers;  // extra request headers, "Name: value"
    // Runs on the worker after a kOk answer is parsed; may shrink it to what is used.
    std::function<void(UTL_JsonAnswer&)> m_worker_step;
};

// Owned by a source; main thread except the workers. Requests go out in the order sent, as soon
// as a worker is free: pacing them is the caller's (UTL_RequestPacer).
class UTL_JsonClient {
public:
    static constexpr int kWorkers = 4;
    static constexpr size_t kMaxAnswerBytes = 16u << 20;

    explicit UTL_JsonClient(int workers = kWorkers);
    ~UTL_JsonClient();
    UTL_JsonClient(const UTL_JsonClient&) = delete;
    UTL_JsonClient& operator=(const UTL_JsonClient&) = delete;

    // Before the first send.
    void set_timeouts(long connect_s, long total_s);
    void set_max_answer_bytes(size_t bytes) { m_max_answer_bytes = bytes; }

    // Queues a request; its answer comes out of take_answers() under the same id.
    void send(std::uint64_t id, UTL_JsonRequest request);
    // The answers that have arrived, in the order they arrived.
    std::vector<std::pair<std::uint64_t, UTL_JsonAnswer>> take_answers();
    // Sent and not yet taken.
    int pending() const;
    // Stops the workers (transfers in progress are abandoned) and joins them; queued requests
    // and untaken answers are dropped. Also run by the destructor.
    void shutdown();

    // What an HTTP answer is: its status, body and headers (lower-case names), at now_unix.
    // Any thread; the tests and the fuzzers call it directly.
    static UTL_JsonAnswer classify(long status, const std::string& body,
                                   const std::map<std::string, std::string>& headers,
                                   std::time_t now_unix);
    // A rate-limit reset as servers write it: Unix seconds, seconds from now, an ISO 8601 time
    // or an HTTP date; the seconds from now_unix until then (at least 0), or -1 when unreadable.
    static double seconds_until_reset(const std::string& value, std::time_t now_unix);
    // "a b&c" -> "a%20b%26c", for a query value.
    static std::string escape(const std::string& value);

private:
    struct Job {
        std::uint64_t m_id = 0;
        UTL_JsonRequest m_request;
        UTL_JsonAnswer m_answer;
    };
    void worker_loop();
    void transfer(void* curl, Job& job);

    long m_connect_timeout_s = 10;
    long m_total_timeout_s = 60;
    size_t m_max_answer_bytes = kMaxAnswerBytes;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Job> m_outgoing;
    std::deque<Job> m_answered;
    int m_in_flight = 0;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_workers;
    int m_worker_count;
};
