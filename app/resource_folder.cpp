// The resource-folder search and the few file-system calls it needs.
#include "app/resource_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

// Baked in by the build: where `cmake --install` puts the data, the relative way from the
// installed bin folder to it, and the source tree.
#ifndef NIMBRA_INSTALL_SHARE_DIR
#define NIMBRA_INSTALL_SHARE_DIR ""
#endif
#ifndef NIMBRA_RELATIVE_SHARE_DIR
#define NIMBRA_RELATIVE_SHARE_DIR "../share/nimbra"
#endif
#ifndef NIMBRA_BUILD_SOURCE_DIR
#define NIMBRA_BUILD_SOURCE_DIR ""
#endif

namespace {

constexpr int kParentLevels = 4;

std::string parent_of(const std::string& dir) {
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    const size_t slash = d.rfind('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return d.substr(0, slash);
}

std::string join(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    return a.back() == '/' ? a + b : a + "/" + b;
}

bool holds_config(const std::string& dir) {
    return !dir.empty() && is_directory(join(dir, "data/config"));
}

}  // namespace

std::vector<std::string> resource_candidates(const std::string& option_dir,
                                             const std::string& env_dir,
                                             const std::string& exe_dir) {
    if (!option_dir.empty()) return {option_dir};
    if (!env_dir.empty()) return {env_dir};
    std::vector<std::string> out;
    std::string d = exe_dir;
    for (int level = 0; level <= kParentLevels && !d.empty(); ++level) {
        out.push_back(d);
        const std::string up = parent_of(d);
        if (up == d) break;
        d = up;
    }
    if (!exe_dir.empty()) out.push_back(join(exe_dir, NIMBRA_RELATIVE_SHARE_DIR));
    if (*NIMBRA_INSTALL_SHARE_DIR) out.push_back(NIMBRA_INSTALL_SHARE_DIR);
    if (*NIMBRA_BUILD_SOURCE_DIR) out.push_back(NIMBRA_BUILD_SOURCE_DIR);
    return out;
}

std::string resource_folder_of(const std::string& dir) {
    if (holds_config(dir)) return dir;
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    const size_t slash = d.rfind('/');
    const std::string base = slash == std::string::npos ? d : d.substr(slash + 1);
    if (base == "data" && is_directory(join(d, "config"))) {
        const std::string up = slash == std::string::npos ? "." : parent_of(d);
        if (holds_config(up)) return up;
    }
    return "";
}

std::string find_resource_folder(const std::string& option_dir, const std::string& env_dir,
                                 const std::string& exe_dir, std::string& error) {
    const std::vector<std::string> candidates = resource_candidates(option_dir, env_dir, exe_dir);
    for (const std::string& c : candidates) {
        const std::string found = resource_folder_of(c);
        if (!found.empty()) return found;
    }
    if (!option_dir.empty())
        error = "--data " + option_dir +
                ": no data/config folder there (give the folder that holds data/)";
    else if (!env_dir.empty())
        error = "NIMBRA_DATA=" + env_dir +
                ": no data/config folder there (give the folder that holds data/)";
    else {
        error = "cannot find the data/config folder; looked in:";
        for (const std::string& c : candidates) error += "\n  " + c;
        error += "\nGive its place with --data DIR or NIMBRA_DATA.";
    }
    return "";
}

std::string executable_dir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    buf[n] = '\0';
    return parent_of(buf);
}

std::string absolute_path(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return path;
    return join(buf, path);
}

bool is_directory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
