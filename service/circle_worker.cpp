// UTL_CircleWorker: the job queue of one, the thread, and the work.
#include "service/circle_worker.h"

#include <utility>

UTL_CircleWorker::~UTL_CircleWorker() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
        m_job.reset();
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void UTL_CircleWorker::submit(UTL_CircleJob job) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_job = std::move(job);
        if (!m_thread.joinable()) m_thread = std::thread([this] { run(); });
    }
    m_wake.notify_all();
}

bool UTL_CircleWorker::take(UTL_CircleResult& out) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_result) return false;
    out = std::move(*m_result);
    m_result.reset();
    return true;
}

bool UTL_CircleWorker::busy() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_working || m_job.has_value();
}

UTL_CircleResult UTL_CircleWorker::compute(const UTL_CircleJob& job) {
    UTL_CircleResult result;
    result.m_circles = UTL_Circles::find(job.m_graph);
    result.m_places = static_cast<int>(job.m_places.size());
    if (job.m_arrange) {
        result.m_place_of =
            UTL_CircleLayout::arrange(job.m_graph, result.m_circles, job.m_places, job.m_reserved);
        result.m_arranged = !result.m_place_of.empty() || job.m_graph.size() == 0;
    }
    return result;
}

// Worker thread.
void UTL_CircleWorker::run() {
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_wake.wait(hold, [this] { return m_stop || m_job.has_value(); });
        if (m_stop) return;
        UTL_CircleJob job = std::move(*m_job);
        m_job.reset();
        m_working = true;
        hold.unlock();
        UTL_CircleResult result = compute(job);
        hold.lock();
        m_working = false;
        m_result = std::move(result);
    }
}
