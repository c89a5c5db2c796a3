// UTL_JsonClient: the worker threads and their GET transfers (libcurl, certificates verified as
// curl does by default), the classification of what came back, and the rate-limit headers.
//   construction · main thread · classification · workers
#include "sources/json_client.h"

#include "sources/http_transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

// Headers of one answer; a redirect's headers are dropped when the next answer begins.
struct HeaderState {
    std::map<std::string, std::string> m_headers;
    size_t m_bytes = 0;
};

constexpr size_t kMaxHeaderBytes = 64u << 10;

size_t take_header(char* data, size_t size, size_t count, void* user) {
    HeaderState* state = static_cast<HeaderState*>(user);
    const size_t n = size * count;
    const std::string line(data, n);
    if (line.compare(0, 5, "HTTP/") == 0) {
        state->m_headers.clear();
        state->m_bytes = 0;
        return n;
    }
    state->m_bytes += n;
    if (state->m_bytes > kMaxHeaderBytes) return n;  // the rest is ignored, not stored
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return n;
    state->m_headers.emplace(lower(trim(line.substr(0, colon))), trim(line.substr(colon + 1)));
    return n;
}

const std::string* header(const std::map<std::string, std::string>& headers, const char* name) {
    const auto it = headers.find(name);
    return it == headers.end() ? nullptr : &it->second;
}

// A whole non-negative number of at most 18 digits, else -1.
long long whole_number(const std::string& s) {
    if (s.empty() || s.size() > 18) return -1;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

// "2026-12-09T14:05:00.000Z" or with an offset "+01:00"; -1 when it is not such a time.
long long iso_time(const std::string& s) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, used = 0;
    if (std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &sec, &used) != 6)
        return -1;
    if (y < 1970 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 ||
        sec > 60)
        return -1;
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = sec;
    long long when = static_cast<long long>(timegm(&t));
    std::string rest = s.substr(static_cast<size_t>(used));
    if (!rest.empty() && rest[0] == '.') {
        const size_t end = rest.find_first_not_of("0123456789", 1);
        // NOTE: a part of a second counts as a whole one: a window that ends at 14:25:00.0196
        // is still closed at 14:25:00 (Mastodon writes its resets so).
        if (rest.find_first_not_of('0', 1) < (end == std::string::npos ? rest.size() : end)) ++when;
        rest = end == std::string::npos ? "" : rest.substr(end);
    }
    int oh = 0, om = 0;
    if ((rest.size() == 6 && (rest[0] == '+' || rest[0] == '-') &&
         std::sscanf(rest.c_str() + 1, "%2d:%2d", &oh, &om) == 2)) {
        const long long offset = (oh * 60LL + om) * 60;
        when += rest[0] == '+' ? -offset : offset;
    } else if (!rest.empty() && rest != "Z") {
        return -1;
    }
    return when;
}

}  // namespace

// --- Construction -------------------------------------------------------------------------------

UTL_JsonClient::UTL_JsonClient(int workers) : m_worker_count(std::max(1, workers)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (int i = 0; i < m_worker_count; ++i)
        m_workers.emplace_back(&UTL_JsonClient::worker_loop, this);
}

UTL_JsonClient::~UTL_JsonClient() { shutdown(); }

void UTL_JsonClient::set_timeouts(long connect_s, long total_s) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_connect_timeout_s = connect_s;
    m_total_timeout_s = total_s;
}

void UTL_JsonClient::shutdown() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
        m_outgoing.clear();
        m_answered.clear();
    }
    m_wake.notify_all();
    for (std::thread& t : m_workers)
        if (t.joinable()) t.join();
    m_workers.clear();
}

// --- Main thread --------------------------------------------------------------------------------

void UTL_JsonClient::send(std::uint64_t id, UTL_JsonRequest request) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_stop) return;
        Job job;
        job.m_id = id;
        job.m_request = std::move(request);
        m_outgoing.push_back(std::move(job));
        ++m_in_flight;
    }
    m_wake.notify_one();
}

std::vector<std::pair<std::uint64_t, UTL_JsonAnswer>> UTL_JsonClient::take_answers() {
    std::deque<Job> done;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        done.swap(m_answered);
        m_in_flight -= static_cast<int>(done.size());
    }
    std::vector<std::pair<std::uint64_t, UTL_JsonAnswer>> out;
    out.reserve(done.size());
    for (Job& job : done) out.emplace_back(job.m_id, std::move(job.m_answer));
    return out;
}

int UTL_JsonClient::pending() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_in_flight;
}

std::string UTL_JsonClient::escape(const std::string& value) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// --- Classification -----------------------------------------------------------------------------

double UTL_JsonClient::seconds_until_reset(const std::string& raw, std::time_t now_unix) {
    const std::string value = trim(raw);
    const long long n = whole_number(value);
    long long at = -1;
    if (n >= 0) {
        // Unix seconds are ten digits today; anything far smaller counts from now.
        if (n < 1000000000LL) return static_cast<double>(n);
        at = n;
    } else {
        at = iso_time(value);
        if (at < 0) {
            const time_t date = curl_getdate(value.c_str(), nullptr);
            if (date > 0) at = static_cast<long long>(date);
        }
    }
    if (at < 0) return -1.0;
    return std::max(0.0, static_cast<double>(at - static_cast<long long>(now_unix)));
}

UTL_JsonAnswer UTL_JsonClient::classify(long status, const std::string& body,
                                        const std::map<std::string, std::string>& headers,
                                        std::time_t now_unix) {
    UTL_JsonAnswer a;
    a.m_status = status;
    a.m_headers = headers;
    for (const char* name : {"ratelimit-remaining", "x-ratelimit-remaining"}) {
        if (const std::string* v = header(headers, name)) {
            const long long n = whole_number(trim(*v));
            if (n >= 0) a.m_remaining = static_cast<long>(std::min<long long>(n, 1L << 30));
            break;
        }
    }
    for (const char* name : {"ratelimit-reset", "x-ratelimit-reset", "retry-after"}) {
        if (const std::string* v = header(headers, name)) {
            a.m_reset_in_s = seconds_until_reset(*v, now_unix);
            if (a.m_reset_in_s >= 0.0) break;
        }
    }

    const std::string http = "HTTP " + std::to_string(status);
    if (status == 429) {
        a.m_kind = UTL_JsonAnswer::Kind::kRateLimited;
        a.m_reason = "rate limit reached (HTTP 429)";
        return a;
    }
    const bool success = status >= 200 && status <= 299;
    const bool again = status >= 500 || status == 408;
    const size_t first = body.find_first_not_of(" \t\r\n");
    if (success || !again) {
        nlohmann::json parsed = nlohmann::json::parse(body, nullptr, false);
        if (success && !parsed.is_discarded()) {
            a.m_kind = UTL_JsonAnswer::Kind::kOk;
            a.m_json = std::move(parsed);
            return a;
        }
        if (!success) {
            // A refusal says why in {"error", "message"} when the server is the API itself.
            a.m_kind = UTL_JsonAnswer::Kind::kRefused;
            a.m_reason = http;
            if (!parsed.is_discarded() && parsed.is_object()) {
                const auto error = parsed.find("error");
                const auto message = parsed.find("message");
                if (error != parsed.end() && error->is_string()) a.m_error = *error;
                if (message != parsed.end() && message->is_string() &&
                    !message->get_ref<const std::string&>().empty()) {
                    a.m_reason = message->get<std::string>().substr(0, 200) + ", " + http;
                } else if (!a.m_error.empty()) {
                    a.m_reason = a.m_error.substr(0, 100) + ", " + http;
                }
                a.m_json = std::move(parsed);
            }
            return a;
        }
    }
    a.m_kind = UTL_JsonAnswer::Kind::kRetry;
    if (again) {
        a.m_reason = http;
    } else if (first == std::string::npos) {
        a.m_reason = "an empty answer";
    } else if (http_starts_like_html(body)) {
        a.m_reason = "an HTML page instead of an answer";
    } else if (body[first] == '{' || body[first] == '[') {
        a.m_reason = "an answer that ends too early or is broken";
    } else {
        a.m_reason =
            "an unreadable answer (" + std::to_string(body.size()) + " bytes that are not JSON)";
    }
    return a;
}

// --- Workers ------------------------------------------------------------------------------------

void UTL_JsonClient::worker_loop() {
    CURL* curl = curl_easy_init();  // reused, so this worker's calls keep their connection
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [this] { return m_stop || !m_outgoing.empty(); });
            if (m_stop) break;
            job = std::move(m_outgoing.front());
            m_outgoing.pop_front();
        }
        transfer(curl, job);
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_stop) break;
        m_answered.push_back(std::move(job));
    }
    if (curl) curl_easy_cleanup(curl);
}

void UTL_JsonClient::transfer(void* handle, Job& job) {
    CURL* curl = static_cast<CURL*>(handle);
    if (!curl) {
        job.m_answer.m_reason = "no HTTP client";
        return;
    }
    long connect_s = 10, total_s = 60;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        connect_s = m_connect_timeout_s;
        total_s = m_total_timeout_s;
    }
    UTL_AnswerBuffer buffer;
    buffer.m_max_bytes = m_max_answer_bytes;
    HeaderState headers;
    curl_slist* extra = nullptr;
    for (const std::string& h : job.m_request.m_headers)
        extra = curl_slist_append(extra, h.c_str());
    extra = curl_slist_append(extra, "Accept: application/json");
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, job.m_request.m_url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, extra);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, http_write_answer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, take_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // whatever curl can decompress
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connect_s);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, total_s);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, http_stop_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &m_stop);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Nimbra/1.0");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(extra);
    if (code != CURLE_OK) {
        job.m_answer = UTL_JsonAnswer();
        if (buffer.m_too_big) {
            job.m_answer.m_kind = UTL_JsonAnswer::Kind::kRefused;
            job.m_answer.m_reason =
                "an answer larger than " + std::to_string(m_max_answer_bytes >> 20) + " MiB";
        } else {
            job.m_answer.m_reason = http_describe_failure(curl, code, connect_s, total_s);
        }
        return;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    job.m_answer = classify(status, buffer.m_body, headers.m_headers, std::time(nullptr));
    if (job.m_answer.ok() && job.m_request.m_worker_step) job.m_request.m_worker_step(job.m_answer);
}
