// Opening a page in the desktop's viewer with posix_spawnp, and reaping the opener without
// waiting for it.
#include "app/url_opener.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace {

// "scheme://": letters first, then letters, digits, "+", "-" or ".".
bool has_scheme(const std::string& s) {
    const size_t colon = s.find("://");
    if (colon == std::string::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!(letter || (i > 0 && other))) return false;
    }
    return true;
}

std::string percent_encode_path(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace

std::string page_address(const std::string& page) {
    if (page.empty()) return "";
    if (has_scheme(page)) return page;
    char resolved[PATH_MAX];
    if (!realpath(page.c_str(), resolved)) return "";
    return "file://" + percent_encode_path(resolved);
}

pid_t open_url(const std::string& page, const char* program) {
    const std::string address = page_address(page);
    // An address starting with "-" would read as an option of the opener; ours never do.
    if (address.empty() || address[0] == '-' || !program || !*program) return -1;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The opener starts with no blocked signals and the default SIGPIPE, whatever the program
    // set up for itself (a network client often ignores SIGPIPE).
    sigset_t none, pipe;
    sigemptyset(&none);
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &pipe);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string arg0 = program;
    std::string arg1 = address;
    char* argv[] = {&arg0[0], &arg1[0], nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, program, &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return -1;

    // Waits for this child only, so other children of the program keep their own reaping.
    try {
        std::thread([pid] {
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to spare: the child stays a zombie until the program ends, which is
        // harmless for one page.
    }
    return pid;
}
