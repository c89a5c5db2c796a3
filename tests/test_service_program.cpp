// The nimbra-service program as a person starts it: a second service on a port in use is
// refused, every start prints a login token of its own, and a service open beyond this
// machine says so.
#include <gtest/gtest.h>
#include <httplib.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// nimbra-service started with arguments, its standard output and error read through pipes.
class ServiceProcess {
public:
    explicit ServiceProcess(std::vector<std::string> args) {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            close(out[0]);
            close(err[0]);
            std::vector<char*> argv{const_cast<char*>(NIMBRA_SERVICE_PROGRAM)};
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~ServiceProcess() {
        if (m_pid > 0 && !m_exited) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
        if (m_out >= 0) close(m_out);
        if (m_err >= 0) close(m_err);
    }

    // Reads until the output holds `before`, then text, then `after`, the program ends, or
    // 60 s pass; that text, or "" without it.
    std::string wait_for(const std::string& before, const std::string& after) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            for (const std::string* text : {&m_stdout, &m_stderr}) {
                const size_t at = text->find(before);
                const size_t stop = at == std::string::npos ? std::string::npos
                                                            : text->find(after, at + before.size());
                if (stop != std::string::npos)
                    return text->substr(at + before.size(), stop - at - before.size());
            }
            if (std::chrono::steady_clock::now() > end || !read_some()) return "";
        }
    }
    // Waits for the end of the program (60 s at most); its exit status, or -1 when it was
    // still running and had to be stopped.
    int exit_status() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (read_some() && std::chrono::steady_clock::now() < end) {
        }
        int status = 0;
        pid_t done = 0;
        // The pipes close as the program ends, a moment before it can be waited for.
        while ((done = waitpid(m_pid, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (done == 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, &status, 0);
            m_exited = true;
            return -1;
        }
        m_exited = true;
        return done == m_pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& err() const { return m_stderr; }

private:
    // False once both pipes have ended.
    bool read_some() {
        pollfd p[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        if (m_out < 0 && m_err < 0) return false;
        poll(p, 2, 100);
        char buffer[4096];
        for (int k = 0; k < 2; ++k) {
            int& fd = k == 0 ? m_out : m_err;
            if (fd < 0 || !(p[k].revents & (POLLIN | POLLHUP))) continue;
            ssize_t got = read(fd, buffer, sizeof(buffer));
            if (got <= 0) {
                close(fd);
                fd = -1;
            } else {
                (k == 0 ? m_stdout : m_stderr).append(buffer, static_cast<size_t>(got));
            }
        }
        return m_out >= 0 || m_err >= 0;
    }

    pid_t m_pid = -1;
    bool m_exited = false;
    int m_out = -1;
    int m_err = -1;
    std::string m_stdout;
    std::string m_stderr;
};

// The login token a start prints: 32 hexadecimal digits.
std::string token_of(ServiceProcess& p) {
    std::string token = p.wait_for("nimbra-service: login token ", "\n");
    const bool hex =
        token.size() == 32 && token.find_first_not_of("0123456789abcdef") == std::string::npos;
    return hex ? token : "";
}

}  // namespace

TEST(ServiceProgram, RefusesABusyPortAndPrintsANewTokenEachStart) {
    ServiceProcess first({"--port", "0"});
    const std::string port = first.wait_for("http://127.0.0.1:", "/restserver.php");
    ASSERT_FALSE(port.empty()) << first.err();
    const std::string token1 = token_of(first);
    ASSERT_FALSE(token1.empty());

    // The port is taken: a clear refusal, not a second service sharing it.
    ServiceProcess second({"--port", port});
    EXPECT_EQ(second.exit_status(), 1);
    EXPECT_NE(second.err().find("port " + port + " of 127.0.0.1 is already in use"),
              std::string::npos)
        << second.err();
    httplib::Client client("127.0.0.1", std::stoi(port));
    auto still = client.Get("/photos/none.jpg");
    ASSERT_TRUE(still);
    EXPECT_EQ(still->status, 404) << "the first service still answers";

    ServiceProcess third({"--port", "0"});
    const std::string token2 = token_of(third);
    ASSERT_FALSE(token2.empty());
    EXPECT_NE(token1, token2);
    EXPECT_EQ(first.err().find("not only on this machine"), std::string::npos);
}

TEST(ServiceProgram, WarnsWhenOthersCanReachIt) {
    ServiceProcess open({"--address", "0.0.0.0", "--port", "0"});
    EXPECT_FALSE(token_of(open).empty()) << open.err();
    EXPECT_NE(open.err().find("warning: listening on 0.0.0.0, not only on this machine: anyone who "
                              "reaches it can log in with the printed token"),
              std::string::npos)
        << open.err();
}
