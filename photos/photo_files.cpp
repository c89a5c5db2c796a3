// read_regular_file, write_file_atomically and make_directories over POSIX calls.
#include "photos/photo_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

bool read_regular_file(const std::string& path, size_t max_bytes, std::string& out) {
    out.clear();
    struct stat before;
    // NOTE: opening a device can have effects of its own (a watchdog starts, a tape rewinds)
    // and reading a FIFO waits for a writer: only what is a regular file now is opened at all.
    if (path.empty() || stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode) ||
        static_cast<unsigned long long>(before.st_size) > max_bytes) {
        return false;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat opened;
    // Swapped for something else between the check and the open: refused.
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != before.st_dev ||
        opened.st_ino != before.st_ino) {
        close(fd);
        return false;
    }
    std::vector<char> chunk(64 * 1024);
    bool ok = true;
    for (;;) {
        const ssize_t got = read(fd, chunk.data(), chunk.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        // The file may have grown since the check.
        if (out.size() + static_cast<size_t>(got) > max_bytes) {
            ok = false;
            break;
        }
        out.append(chunk.data(), static_cast<size_t>(got));
    }
    close(fd);
    if (!ok) out.clear();
    return ok;
}

bool write_file_atomically(const std::string& path, const std::string& bytes, unsigned mode) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // A hidden name that no reader takes for a finished file.
    std::string temp = dir + "/." + base + ".XXXXXX";
    // NOTE: mkstemp creates the file exclusively with mode 0600 under a random name, so nobody
    // can plant a link in its place or read the photo while it is written.
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    int why = 0;  // the first failure's errno
    const char* at = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t put = write(fd, at, left);
        if (put < 0) {
            if (errno == EINTR) continue;
            why = errno;
            break;
        }
        at += put;
        left -= static_cast<size_t>(put);
    }
    if (!why && mode != 0600 && fchmod(fd, static_cast<mode_t>(mode)) != 0) why = errno;
    if (close(fd) != 0 && !why) why = errno;
    if (!why && rename(temp.c_str(), path.c_str()) != 0) why = errno;
    if (why) {
        unlink(temp.c_str());
        errno = why;
        return false;
    }
    return true;
}

bool make_directories(const std::string& path) {
    if (path.empty()) return false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !make_directories(path.substr(0, slash))) {
        return false;
    }
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}
