// wait_until: polls a condition until it holds or a deadline passes, for tests that wait on a
// worker thread, a server, a child process or the clock.
#pragma once

#include <chrono>
#include <thread>

// True once cond() holds; false when the deadline passes first. The default deadline is
// generous on purpose: CI runs on a loaded two-core machine, where a worker may wait seconds for
// a core. Callers say what they waited for in their failure message.
template <class Cond>
bool wait_until(Cond cond, std::chrono::milliseconds deadline = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
