// The photo pipeline's file access: reading a local photo or cache file without ever blocking
// on something that is not a regular file, and writing a file so that it appears whole or not
// at all. Photo worker thread.
#pragma once

#include <cstddef>
#include <string>

// Reads the regular file at path into out when it holds at most max_bytes. False for anything
// else: a missing file, a directory, a FIFO, a socket or a device (checked before the open, so
// a device is never opened), a larger file. The open is non-blocking and fstat confirms that
// the file opened is the regular file that was checked.
bool read_regular_file(const std::string& path, size_t max_bytes, std::string& out);

// Writes bytes to path through a private temporary file in the same folder and a rename, so a
// reader (or a crash) never sees half a file; the file gets mode (owner-only by default). False
// when nothing was written, with errno telling why.
bool write_file_atomically(const std::string& path, const std::string& bytes, unsigned mode = 0600);

// Creates the folder and its missing parents (mode 0700 for new ones); true when it exists.
bool make_directories(const std::string& path);
