// FaultProxy: one accepting thread and one thread per connection. Each connection carries one
// request: it is read whole, then forwarded with "Connection: close" (the server's answer ends
// with the close) or answered with the fault. Every wait is sliced so that stop() ends it.
#include "tests/support/fault_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

// Bounds a stall whose client never gives up, so a broken test cannot hang for ever.
constexpr int kLongestStallMs = 120000;

void set_slices(int fd) {
    // Short time-outs turn every blocking call into a slice that can see the proxy stopping.
    timeval tv{0, 100 * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The value of the "method" field of a form body ("" without one).
std::string method_of(const std::string& body) {
    size_t at = 0;
    while (at < body.size()) {
        size_t end = body.find('&', at);
        if (end == std::string::npos) end = body.size();
        if (body.compare(at, 7, "method=") == 0) return body.substr(at + 7, end - at - 7);
        at = end + 1;
    }
    return "";
}

std::string answer(int status, const char* reason, const char* type, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

}  // namespace

// ---- construction and destruction ----

FaultProxy::FaultProxy(int server_port) : m_server_port(server_port) {
    if (!listen_on(0)) return;
    m_acceptor = std::thread([this] { accept_loop(); });
}

FaultProxy::~FaultProxy() { stop(); }

void FaultProxy::stop() {
    m_stopping.store(true);
    if (m_acceptor.joinable()) m_acceptor.join();
    reap(true);
    int fd = m_listen_fd.exchange(-1);
    if (fd >= 0) close(fd);
}

bool FaultProxy::listen_on(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof(addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, 128) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(fd);
        return false;
    }
    if (port == 0) m_port = ntohs(addr.sin_port);
    m_listen_fd.store(fd);
    return true;
}

// ---- configuration and counts ----

std::string FaultProxy::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void FaultProxy::set_fault(Fault fault, Filter filter) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_fault = fault;
        m_filter = std::move(filter);
    }
    // The accepting thread opens and closes the port; a connection made after this returns
    // must already meet the new state.
    const bool refuse = fault == Fault::kRefuse;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((m_listen_fd.load() < 0) != refuse && std::chrono::steady_clock::now() < until &&
           !m_stopping.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int FaultProxy::requests(const std::string& method) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = m_requests.find(method);
    return it == m_requests.end() ? 0 : it->second;
}

int FaultProxy::faulted() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_faulted;
}

// ---- serving ----

// NOTE: refusing means nothing listens: the socket is closed while the fault lasts and bound
// to the same port again when it ends, so clients see a real "connection refused".
void FaultProxy::accept_loop() {
    while (!m_stopping.load()) {
        Fault fault;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            fault = m_fault;
        }
        if (fault == Fault::kRefuse) {
            int fd = m_listen_fd.exchange(-1);
            if (fd >= 0) close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (m_listen_fd.load() < 0 && !listen_on(m_port)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        pollfd p{m_listen_fd.load(), POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        int fd = accept4(m_listen_fd.load(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        set_slices(fd);
        reap(false);
        auto connection = std::make_unique<Connection>();
        Connection* c = connection.get();
        std::lock_guard<std::mutex> guard(m_mutex);
        m_connections.push_back(std::move(connection));
        c->thread = std::thread([this, fd, c] {
            handle(fd);
            close(fd);
            c->done.store(true);
        });
    }
}

void FaultProxy::reap(bool all) {
    std::vector<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto keep = std::partition(
            m_connections.begin(), m_connections.end(),
            [all](const std::unique_ptr<Connection>& c) { return !all && !c->done.load(); });
        std::move(keep, m_connections.end(), std::back_inserter(finished));
        m_connections.erase(keep, m_connections.end());
    }
    for (auto& c : finished) c->thread.join();
}

void FaultProxy::handle(int fd) {
    // The request: its head up to the blank line, then Content-Length bytes of body.
    std::string data;
    char chunk[16384];
    size_t head_end = std::string::npos;
    size_t length = 0;
    for (;;) {
        if (m_stopping.load() || data.size() > (32u << 20)) return;
        if (head_end == std::string::npos) {
            head_end = data.find("\r\n\r\n");
            if (head_end != std::string::npos) {
                const std::string head = lower(data.substr(0, head_end));
                const size_t at = head.find("\r\ncontent-length:");
                if (at != std::string::npos)
                    length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
            }
        }
        if (head_end != std::string::npos && data.size() >= head_end + 4 + length) break;
        ssize_t got = recv(fd, chunk, sizeof(chunk), 0);
        if (got == 0) return;
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return;
        }
        data.append(chunk, static_cast<size_t>(got));
    }
    const std::string head = data.substr(0, head_end);
    const std::string body = data.substr(head_end + 4, length);
    const std::string method = method_of(body);

    Fault fault = Fault::kNone;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_requests[method]++;
        if (m_fault != Fault::kRefuse && (!m_filter || m_filter(method))) fault = m_fault;
        if (fault != Fault::kNone) ++m_faulted;
    }
    switch (fault) {
        case Fault::kNone:
        case Fault::kRefuse:
            send_all(fd, forward(head, body));
            break;
        case Fault::kReset: {
            // A zero linger time makes the close send a reset instead of an orderly end.
            linger reset{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
            return;
        }
        case Fault::kHttp500:
            send_all(fd,
                     answer(500, "Internal Server Error", "text/plain", "Internal Server Error\n"));
            break;
        case Fault::kHtmlPage:
            send_all(fd, answer(200, "OK", "text/html",
                                "<!DOCTYPE html>\n<html><head><title>Sign in</title></head>"
                                "<body><p>Sign in to use this network.</p></body></html>\n"));
            break;
        case Fault::kGarbage: {
            std::string noise(700, '\0');
            unsigned state = 12345;
            for (char& c : noise) {
                state = state * 1103515245u + 12345u;
                c = static_cast<char>(state >> 23);
            }
            send_all(fd, answer(200, "OK", "text/xml", noise));
            break;
        }
        case Fault::kCutShort: {
            const std::string whole = forward(head, body);
            const size_t body_at = whole.find("\r\n\r\n");
            if (body_at == std::string::npos) return;
            send_all(fd, whole.substr(0, body_at + 4 + (whole.size() - body_at - 4) / 2));
            return;  // closes with the answer's Content-Length unmet
        }
        case Fault::kStall:
            wait_for_close(fd);
            return;
    }
    // Let the client read everything before the close; it closes first when it is done.
    shutdown(fd, SHUT_WR);
    wait_for_close(fd);
}

std::string FaultProxy::forward(const std::string& head, const std::string& body) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return "";
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(m_server_port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return answer(502, "Bad Gateway", "text/plain", "no server\n");
    }
    set_slices(fd);
    // The request line and headers as they came, but for a close after the one answer.
    std::string request;
    size_t at = 0;
    while (at <= head.size()) {
        size_t end = head.find("\r\n", at);
        if (end == std::string::npos) end = head.size();
        const std::string line = head.substr(at, end - at);
        if (lower(line).rfind("connection:", 0) != 0) request += line + "\r\n";
        at = end + 2;
    }
    request += "Connection: close\r\n\r\n" + body;
    std::string whole;
    if (send_all(fd, request)) {
        char chunk[16384];
        for (;;) {
            if (m_stopping.load()) break;
            ssize_t got = recv(fd, chunk, sizeof(chunk), 0);
            if (got == 0) break;
            if (got < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
                break;
            }
            whole.append(chunk, static_cast<size_t>(got));
        }
    }
    close(fd);
    return whole;
}

bool FaultProxy::send_all(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        if (m_stopping.load()) return false;
        ssize_t put = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (put < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return false;
        }
        sent += static_cast<size_t>(put);
    }
    return true;
}

void FaultProxy::wait_for_close(int fd) {
    char chunk[4096];
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongestStallMs);
    while (!m_stopping.load() && std::chrono::steady_clock::now() < until) {
        ssize_t got = recv(fd, chunk, sizeof(chunk), 0);
        if (got == 0) return;
        if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return;
    }
}
