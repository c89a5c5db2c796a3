// Opening a page in the desktop's viewer: the address of a page of the resource folder, and a
// detached opener process started without a shell that nobody waits for.
#pragma once

#include <sys/types.h>

#include <string>

// The address to open for page: an address with a scheme ("https://...", "file://...") as it
// is; otherwise a file, as "file://" and its absolute path with every byte outside letters,
// digits and "-._~/" percent-encoded. "" when the file does not exist.
std::string page_address(const std::string& page);

// Starts program (looked up in PATH) with the address of page as its only argument, stdin from
// /dev/null, and returns at once: a detached thread reaps the child when it ends, so no zombie
// is left and the caller never blocks. Returns the child's id, or -1 when the page does not
// exist or the program could not be started. Main thread or any other; touches no global
// signal state.
pid_t open_url(const std::string& page, const char* program = "xdg-open");
