// FaultProxy: a real HTTP proxy on 127.0.0.1 in front of a server on another port, which
// breaks the conversation the way networks, servers and misconfigured proxies do: it refuses
// or resets connections, answers HTTP 500, an HTML page or garbage, cuts an answer short, or
// stalls past the client's time-out. Tests and benchmarks only.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FaultProxy {
public:
    enum class Fault {
        kNone,      // every request reaches the server and its answer comes back whole
        kRefuse,    // nothing listens on the port: connections are refused
        kReset,     // the request is read, then the connection is reset
        kHttp500,   // "500 Internal Server Error"
        kHtmlPage,  // a 200 with a web page, as a captive portal or a login wall sends
        kGarbage,   // a 200 with bytes that are no XML
        kCutShort,  // the server's answer, closed after half its body
        kStall,     // the request is read and never answered until the client gives up
    };
    // Which requests meet the fault, by the form's "method" field; empty: all of them.
    using Filter = std::function<bool(const std::string& method)>;

    // Listens on a free port of 127.0.0.1 and forwards to 127.0.0.1:server_port.
    explicit FaultProxy(int server_port);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    bool ok() const { return m_port > 0; }
    int port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string url(const std::string& path) const;

    // From now on (for kRefuse: for new connections) requests that pass filter meet fault.
    // kRefuse ignores the filter: the method is not known before a connection is accepted.
    void set_fault(Fault fault, Filter filter = nullptr);
    // Requests read so far for a method, and how many of all of them met a fault.
    int requests(const std::string& method) const;
    int faulted() const;

    // Stops listening, ends every connection in progress and joins the threads.
    void stop();

private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    bool listen_on(int port);
    void accept_loop();
    void handle(int fd);
    // The whole answer of the server to one request (head and body), "" when it fails.
    std::string forward(const std::string& head, const std::string& body);
    bool send_all(int fd, const std::string& data);
    // Waits in short slices until the client closes fd or the proxy stops.
    void wait_for_close(int fd);
    void reap(bool all);

    int m_server_port;
    int m_port = 0;
    std::atomic<int> m_listen_fd{-1};
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptor;

    mutable std::mutex m_mutex;  // guards everything below
    Fault m_fault = Fault::kNone;
    Filter m_filter;
    std::map<std::string, int> m_requests;
    int m_faulted = 0;
    std::vector<std::unique_ptr<Connection>> m_connections;
};
