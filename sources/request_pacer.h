// UTL_RequestPacer and UTL_RetryWaits: when a source may send its next request. The pacer keeps,
// per server, a few requests in flight, a ceiling of requests a second, and the pause a rate
// limit asks for; the waits grow after failures in a row (1, 2, 4 ... 60 s) and start again
// once an answer comes. Both run on the main thread on the source's clock, so tests move them.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <string>

struct UTL_JsonAnswer;

class UTL_RequestPacer {
public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        int m_in_flight = 4;         // requests on the wire at once, per server
        double m_per_second = 10.0;  // request starts in any one second, per server (0: any)
        // The pause after a 429 that does not say until when.
        double m_default_pause_s = 10.0;
        // A reset further away than this is taken as this (a wrong clock, a hostile server).
        double m_max_pause_s = 3600.0;
    };

    explicit UTL_RequestPacer(const Limits& limits) : m_limits(limits) {}

    // A request to host may start now.
    bool may_send(const std::string& host, Clock::time_point now);
    void sent(const std::string& host, Clock::time_point now);
    // An answer (of any kind) from host came: its slot is free again, and its rate-limit
    // headers are heeded: a 429, or no requests left in the window, pauses the host until the
    // window starts again; the requests a window has left (its Remaining, less those still on
    // the wire, which it may not have counted yet) are all that is sent to it until then.
    void answered(const std::string& host, const UTL_JsonAnswer& answer, Clock::time_point now);
    // A request to host ended without an answer of its own (a transport failure).
    void ended(const std::string& host);

    // The host waits for its rate limit until then (a time already past when it does not).
    Clock::time_point paused_until(const std::string& host) const;
    bool paused(const std::string& host, Clock::time_point now) const {
        return now < paused_until(host);
    }
    int in_flight(const std::string& host) const;
    // The requests host's window still allows, -1 when it has not said (or its window is over).
    long left(const std::string& host, Clock::time_point now) const;
    // Rate-limit pauses so far, over every host.
    int pauses() const { return m_pauses; }

private:
    struct Host {
        int m_in_flight = 0;
        std::deque<Clock::time_point> m_starts;  // within the last second
        Clock::time_point m_paused_until{};
        long m_left = -1;                  // requests the window allows still, -1: not said
        Clock::time_point m_window_end{};  // when m_left stops holding
    };
    Limits m_limits;
    std::map<std::string, Host> m_hosts;
    int m_pauses = 0;
};

// Failures are counted in rounds: a round starts with a failure that is news (of a request sent
// since the last one) and ends with any answer, so the requests that were on the wire when a
// server went away do not stretch the wait each on their own.
class UTL_RetryWaits {
public:
    using Clock = std::chrono::steady_clock;

    UTL_RetryWaits(int first_ms, int max_ms) : m_first_ms(first_ms), m_max_ms(max_ms) {}

    // The round a request sent now belongs to.
    int round() const { return m_round; }
    // A request of sent_round failed. True when that was news: the wait grew and a new round
    // began.
    bool failed(int sent_round, Clock::time_point now);
    // A request of sent_round was answered: the waits start again from the first.
    void succeeded(int sent_round);

    bool waiting(Clock::time_point now) const { return now < m_resume_at; }
    // Nothing has failed since the last answer.
    bool calm() const { return m_wait_ms == 0; }
    int wait_ms() const { return m_wait_ms; }
    int failures_in_a_row() const { return m_failures_in_a_row; }
    // Whole seconds until the next attempt (0 when it may go now).
    int seconds_left(Clock::time_point now) const;

private:
    int m_first_ms;
    int m_max_ms;
    int m_round = 0;
    int m_wait_ms = 0;
    int m_failures_in_a_row = 0;
    Clock::time_point m_resume_at{};
};
