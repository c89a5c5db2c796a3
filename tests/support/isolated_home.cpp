// Gives every test program a home of its own: before main, HOME, XDG_CONFIG_HOME and
// XDG_CACHE_HOME point into a fresh temporary folder (removed at exit), so that nothing a test
// starts (the kept login session, a GL shader cache, a program run as a child) reads or writes
// the user's files, however the program is run.
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

class IsolatedHome {
public:
    IsolatedHome() {
        const char* tmp = getenv("TMPDIR");
        std::string pattern =
            std::string(tmp && tmp[0] ? tmp : "/tmp") + "/nimbra-test-home-XXXXXX";
        if (!mkdtemp(pattern.data())) return;
        m_dir = pattern;
        std::error_code ec;
        std::filesystem::create_directories(m_dir + "/.config", ec);
        std::filesystem::create_directories(m_dir + "/.cache", ec);
        setenv("HOME", m_dir.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir + "/.config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (m_dir + "/.cache").c_str(), 1);
    }
    ~IsolatedHome() {
        std::error_code ec;
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ec);
    }

private:
    std::string m_dir;
};

const IsolatedHome g_home;

}  // namespace
