// UTL_CircleWorker: finds the circles and arranges them on a thread of its own, so that a
// network of thousands of friends never holds up a frame.
#pragma once

#include "service/circle_layout.h"
#include "service/circles.h"
#include "service/friend_graph.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// What to compute: a copy of the graph as it is now, and the places to arrange it on.
struct UTL_CircleJob {
    UTL_FriendGraph m_graph;
    bool m_arrange = false;  // circles only when false
    std::vector<UTL_CircleLayout::Point> m_places;
    int m_reserved = 0;
};

struct UTL_CircleResult {
    UTL_Circles m_circles;
    bool m_arranged = false;
    std::vector<int> m_place_of;  // UTL_CircleLayout::arrange's answer when arranged
    int m_places = 0;             // how many places the job gave
};

// Threads hand over: the main thread submits a job and later takes its result; the worker
// never sees the main thread's graph. One job at a time; a job submitted while another waits
// replaces it, so the worker always turns to the newest graph. The thread starts with the first
// job and is joined by the destructor (after the job it is on).
class UTL_CircleWorker {
public:
    UTL_CircleWorker() = default;
    ~UTL_CircleWorker();
    UTL_CircleWorker(const UTL_CircleWorker&) = delete;
    UTL_CircleWorker& operator=(const UTL_CircleWorker&) = delete;

    void submit(UTL_CircleJob job);
    // The result of the newest job finished since the last take; false when there is none.
    bool take(UTL_CircleResult& out);
    // A job waits or is being worked on.
    bool busy() const;

    // The work itself, on whichever thread calls it.
    static UTL_CircleResult compute(const UTL_CircleJob& job);

private:
    void run();

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_stop = false;
    bool m_working = false;
    std::optional<UTL_CircleJob> m_job;
    std::optional<UTL_CircleResult> m_result;
};
