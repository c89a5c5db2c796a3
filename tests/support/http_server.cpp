// TestHttpServer: one accepting thread and one thread per connection, each answering a single
// GET and closing. Every wait is sliced so that stop() ends all of them quickly.
#include "tests/support/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

const char* reason_of(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

// The value of a header (case-insensitive name) in a raw request head, or "".
std::string header_value(const std::string& head, const std::string& name) {
    std::string lower_head = head;
    std::transform(lower_head.begin(), lower_head.end(), lower_head.begin(), ::tolower);
    std::string key = "\r\n" + name + ":";
    std::transform(key.begin(), key.end(), key.begin(), ::tolower);
    size_t at = lower_head.find(key);
    if (at == std::string::npos) return "";
    at += key.size();
    size_t end = head.find("\r\n", at);
    std::string value = head.substr(at, end == std::string::npos ? std::string::npos : end - at);
    size_t first = value.find_first_not_of(' ');
    return first == std::string::npos ? "" : value.substr(first);
}

}  // namespace

// ---- construction and destruction ----

TestHttpServer::TestHttpServer() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(fd);
        return;
    }
    m_listen_fd = fd;
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] { accept_loop(); });
}

TestHttpServer::~TestHttpServer() { stop(); }

void TestHttpServer::stop() {
    m_stopping.store(true);
    if (m_acceptor.joinable()) m_acceptor.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        workers.swap(m_workers);
    }
    for (std::thread& t : workers) t.join();
    if (m_listen_fd >= 0) close(m_listen_fd);
    m_listen_fd = -1;
}

// ---- configuration and counts ----

std::string TestHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void TestHttpServer::serve(const std::string& path, const std::string& body) {
    Response response;
    response.body = body;
    serve(path, response);
}

void TestHttpServer::serve(const std::string& path, const Response& response) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_responses[path] = response;
}

int TestHttpServer::requests(const std::string& path) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = m_counts.find(path);
    return it == m_counts.end() ? 0 : it->second;
}

std::vector<std::string> TestHttpServer::request_order() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_order;
}

int TestHttpServer::conditional_requests(const std::string& path) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = m_conditional.find(path);
    return it == m_conditional.end() ? 0 : it->second;
}

int TestHttpServer::not_modified_answers(const std::string& path) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = m_not_modified.find(path);
    return it == m_not_modified.end() ? 0 : it->second;
}

std::string TestHttpServer::last_user_agent() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_last_user_agent;
}

// ---- serving ----

void TestHttpServer::accept_loop() {
    while (!m_stopping.load()) {
        pollfd p{m_listen_fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        int fd = accept4(m_listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        // Short socket time-outs turn every blocking call into a slice that can see m_stopping.
        timeval tv{0, 100 * 1000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
        // Head and body go out in separate sends; without this the body's first segment can
        // wait for the client's delayed acknowledgement of the head.
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        const int active = m_active.fetch_add(1) + 1;
        int peak = m_peak.load();
        while (active > peak && !m_peak.compare_exchange_weak(peak, active)) {
        }
        std::lock_guard<std::mutex> guard(m_mutex);
        m_workers.emplace_back([this, fd] {
            handle(fd);
            close(fd);
            m_active.fetch_sub(1);
        });
    }
}

void TestHttpServer::handle(int fd) {
    std::string head;
    char chunk[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (m_stopping.load() || head.size() > 64 * 1024) return;
        ssize_t got = recv(fd, chunk, sizeof(chunk), 0);
        if (got == 0) return;
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return;
        }
        head.append(chunk, static_cast<size_t>(got));
    }
    // "GET /path HTTP/1.1"
    size_t sp1 = head.find(' ');
    size_t sp2 = sp1 == std::string::npos ? std::string::npos : head.find(' ', sp1 + 1);
    if (sp2 == std::string::npos) return;
    std::string path = head.substr(sp1 + 1, sp2 - sp1 - 1);

    Response response;
    bool found = false;
    const std::string if_none_match = header_value(head, "If-None-Match");
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_counts[path]++;
        m_order.push_back(path);
        m_last_user_agent = header_value(head, "User-Agent");
        if (!if_none_match.empty()) m_conditional[path]++;
        auto it = m_responses.find(path);
        if (it != m_responses.end()) {
            response = it->second;
            found = true;
        }
        if (found && !response.etag.empty() && if_none_match == response.etag) {
            m_not_modified[path]++;
            response.status = 304;
            response.body.clear();
            response.generated_size = 0;
        }
    }
    if (!found) {
        response.status = 404;
        response.content_type = "text/plain";
        response.body = "not found\n";
    }

    if (!pause_ms(response.delay_ms)) return;
    size_t total = response.generated_size > 0 ? response.generated_size : response.body.size();
    std::string header =
        "HTTP/1.1 " + std::to_string(response.status) + " " + reason_of(response.status) +
        "\r\nContent-Type: " + response.content_type +
        (response.send_length && response.status != 304
             ? "\r\nContent-Length: " + std::to_string(total)
             : std::string()) +
        (response.etag.empty() ? std::string() : "\r\nETag: " + response.etag) +
        (response.cache_control.empty() ? std::string()
                                        : "\r\nCache-Control: " + response.cache_control) +
        (response.location.empty() ? std::string() : "\r\nLocation: " + response.location) +
        "\r\nConnection: close\r\n\r\n";
    if (!send_all(fd, header.data(), header.size())) return;

    // A slice is 16 KiB at full speed or a twentieth of a second's worth when throttled (one
    // byte at a time, further apart, below 20 bytes a second).
    size_t slice = 16 * 1024;
    int slice_pause = 0;
    if (response.bytes_per_second > 0) {
        slice = std::max<size_t>(1, static_cast<size_t>(response.bytes_per_second) / 20);
        slice_pause =
            static_cast<int>(1000 * slice / static_cast<size_t>(response.bytes_per_second));
    }
    std::string generated;
    if (response.generated_size > 0) generated.assign(slice, 'x');

    size_t sent = 0;
    bool stalled = false;
    while (sent < total) {
        if (sent >= response.close_after) return;
        if (!stalled && sent >= response.stall_after) {
            stalled = true;
            if (!pause_ms(response.stall_ms)) return;
        }
        size_t n = std::min(slice, total - sent);
        n = std::min(n, response.close_after - sent);
        if (!stalled && response.stall_after > sent) n = std::min(n, response.stall_after - sent);
        const char* data =
            response.generated_size > 0 ? generated.data() : response.body.data() + sent;
        if (!send_all(fd, data, n)) return;
        sent += n;
        if (slice_pause > 0 && !pause_ms(slice_pause)) return;
    }
    // Let the client read everything before the close; it closes first when it is done.
    shutdown(fd, SHUT_WR);
    for (int i = 0; i < 20 && !m_stopping.load(); ++i) {
        ssize_t got = recv(fd, chunk, sizeof(chunk), 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            break;
    }
}

bool TestHttpServer::send_all(int fd, const char* data, size_t n) {
    while (n > 0) {
        if (m_stopping.load()) return false;
        ssize_t put = send(fd, data, n, MSG_NOSIGNAL);
        if (put < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return false;
        }
        data += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

bool TestHttpServer::pause_ms(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (m_stopping.load()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !m_stopping.load();
}
