// UTL_Thread (start, stop by request and join) and UTL_CriticalSection (a pthread mutex).
#include "photos/thread.h"

#include <sched.h>

// ---- UTL_Thread: construction and destruction ----

UTL_Thread::~UTL_Thread() { stop(); }

// ---- UTL_Thread: control ----

bool UTL_Thread::start() {
    // The previous run has returned or is about to (its owner saw it finish); joining here
    // releases its resources and keeps one thread per object.
    join();
    m_stop_requested.store(false, std::memory_order_release);
    if (pthread_create(&m_thread, nullptr, run_thread, this) != 0) return false;
    m_joinable = true;
    // HACK: a polite request for the default time-sharing policy. Linux accepts only priority 0
    // under SCHED_OTHER and refuses this; the thread then keeps its inherited scheduling, which is
    // what we want anyway, so the result is not looked at.
    sched_param param{};
    param.sched_priority = 100;
    (void)pthread_setschedparam(m_thread, SCHED_OTHER, &param);
    return true;
}

void UTL_Thread::stop() {
    if (!m_joinable) return;
    request_stop();
    join();
}

void UTL_Thread::request_stop() {
    if (!m_joinable) return;
    m_stop_requested.store(true, std::memory_order_release);
    on_stop_requested();
}

void UTL_Thread::join() {
    if (!m_joinable) return;
    pthread_join(m_thread, nullptr);
    m_joinable = false;
}

extern "C" void* run_thread(void* arg) {
    static_cast<UTL_Thread*>(arg)->update();
    return nullptr;
}

// ---- UTL_CriticalSection ----

UTL_CriticalSection::UTL_CriticalSection() { m_valid = pthread_mutex_init(&m_mutex, nullptr) == 0; }

UTL_CriticalSection::~UTL_CriticalSection() { clear(); }

void UTL_CriticalSection::lock() {
    if (m_valid) pthread_mutex_lock(&m_mutex);
}

void UTL_CriticalSection::unlock() {
    if (m_valid) pthread_mutex_unlock(&m_mutex);
}

void UTL_CriticalSection::clear() {
    if (!m_valid) return;
    pthread_mutex_destroy(&m_mutex);
    m_valid = false;
}
