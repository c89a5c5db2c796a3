// UTL_RequestPacer and UTL_RetryWaits: the per-server slots, the sliding one-second window of
// request starts, rate-limit pauses, and the growing waits after failures.
#include "sources/request_pacer.h"

#include "sources/json_client.h"

#include <algorithm>
#include <cmath>

namespace {

UTL_RequestPacer::Clock::duration seconds(double s) {
    return std::chrono::duration_cast<UTL_RequestPacer::Clock::duration>(
        std::chrono::duration<double>(s));
}

}  // namespace

// --- UTL_RequestPacer ---------------------------------------------------------------------------

bool UTL_RequestPacer::may_send(const std::string& host, Clock::time_point now) {
    Host& h = m_hosts[host];
    if (now < h.m_paused_until) return false;
    if (h.m_in_flight >= m_limits.m_in_flight) return false;
    if (h.m_left >= 0 && now >= h.m_window_end) h.m_left = -1;
    if (h.m_left == 0) return false;
    if (m_limits.m_per_second <= 0.0) return true;
    while (!h.m_starts.empty() && now - h.m_starts.front() >= std::chrono::seconds(1))
        h.m_starts.pop_front();
    const size_t per_second = static_cast<size_t>(std::max(1.0, std::floor(m_limits.m_per_second)));
    return h.m_starts.size() < per_second;
}

void UTL_RequestPacer::sent(const std::string& host, Clock::time_point now) {
    Host& h = m_hosts[host];
    ++h.m_in_flight;
    if (h.m_left > 0) --h.m_left;
    if (m_limits.m_per_second > 0.0) h.m_starts.push_back(now);
}

void UTL_RequestPacer::ended(const std::string& host) {
    Host& h = m_hosts[host];
    if (h.m_in_flight > 0) --h.m_in_flight;
}

void UTL_RequestPacer::answered(const std::string& host, const UTL_JsonAnswer& answer,
                                Clock::time_point now) {
    ended(host);
    Host& h = m_hosts[host];
    const bool limited = answer.m_kind == UTL_JsonAnswer::Kind::kRateLimited;
    // NOTE: the requests still on the wire may have reached the server after this answer left
    // it, so they are taken from what it says is left.
    if (answer.m_remaining >= 0 && !limited) {
        const double window =
            answer.m_reset_in_s >= 0.0 ? answer.m_reset_in_s : m_limits.m_default_pause_s;
        const long left = std::max(0L, answer.m_remaining - h.m_in_flight);
        const Clock::time_point end = now + seconds(std::min(window, m_limits.m_max_pause_s));
        // Answers overtake each other on the wire: within one window the smallest count holds.
        const bool same_window = h.m_left >= 0 && end < h.m_window_end + std::chrono::seconds(2);
        h.m_left = same_window ? std::min(h.m_left, left) : left;
        if (!same_window) h.m_window_end = end;
    }
    // NOTE: a window with nothing left is waited out before the 429 that would follow.
    if (!limited && !(answer.m_remaining == 0 && answer.m_reset_in_s > 0.0)) return;
    double pause = answer.m_reset_in_s >= 0.0 ? answer.m_reset_in_s : m_limits.m_default_pause_s;
    // A reset "now" after a 429 still gets a moment, or the same request would go at once.
    if (limited) pause = std::max(pause, 1.0);
    pause = std::min(pause, m_limits.m_max_pause_s);
    const Clock::time_point until = now + seconds(pause);
    if (until > h.m_paused_until) {
        if (now >= h.m_paused_until) ++m_pauses;
        h.m_paused_until = until;
    }
}

UTL_RequestPacer::Clock::time_point UTL_RequestPacer::paused_until(const std::string& host) const {
    const auto it = m_hosts.find(host);
    if (it == m_hosts.end()) return Clock::time_point{};
    const Host& h = it->second;
    // A window with nothing left holds the host as a pause does.
    if (h.m_left == 0) return std::max(h.m_paused_until, h.m_window_end);
    return h.m_paused_until;
}

long UTL_RequestPacer::left(const std::string& host, Clock::time_point now) const {
    const auto it = m_hosts.find(host);
    if (it == m_hosts.end() || now >= it->second.m_window_end) return -1;
    return it->second.m_left;
}

int UTL_RequestPacer::in_flight(const std::string& host) const {
    const auto it = m_hosts.find(host);
    return it == m_hosts.end() ? 0 : it->second.m_in_flight;
}

// --- UTL_RetryWaits -----------------------------------------------------------------------------

bool UTL_RetryWaits::failed(int sent_round, Clock::time_point now) {
    if (sent_round != m_round) return false;
    ++m_round;
    ++m_failures_in_a_row;
    m_wait_ms = m_wait_ms == 0 ? m_first_ms : std::min(m_wait_ms * 2, m_max_ms);
    m_resume_at = now + std::chrono::milliseconds(m_wait_ms);
    return true;
}

void UTL_RetryWaits::succeeded(int sent_round) {
    if (sent_round != m_round) return;  // sent before the last failure: says nothing now
    m_wait_ms = 0;
    m_failures_in_a_row = 0;
}

int UTL_RetryWaits::seconds_left(Clock::time_point now) const {
    const double left = std::chrono::duration<double>(m_resume_at - now).count();
    return left > 0.0 ? static_cast<int>(std::ceil(left)) : 0;
}
