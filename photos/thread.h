// UTL_Thread and UTL_CriticalSection: the two small POSIX wrappers the photo worker runs on,
// a restartable thread whose body is a virtual update() and a plain (non-recursive) mutex.
#pragma once

#include <pthread.h>

#include <atomic>

// A thread that runs the virtual update() of its owner. start() may be called again once the
// previous run has returned; the previous thread is then joined first, so at most one thread
// of an object exists at a time and none is ever left unjoined.
//
// NOTE: threads are never cancelled. stop() raises a flag that update() is expected to test
// (between jobs and inside long blocking work) and then joins; cancelling a thread that sits
// inside a library such as libcurl would leak its locks and memory.
class UTL_Thread {
public:
    UTL_Thread() = default;
    // Stops and joins a running thread. A derived class whose update() reads its own members
    // must call stop() in its own destructor, before those members go.
    virtual ~UTL_Thread();
    UTL_Thread(const UTL_Thread&) = delete;
    UTL_Thread& operator=(const UTL_Thread&) = delete;

    // The thread body; returns when the work is done or stop_requested() is true.
    virtual void update() {}

    // Joins the previous run if there was one, clears the stop request and creates the thread.
    // False when no thread could be created. Main thread (the owner's thread) only.
    bool start();
    // Asks the thread to end and waits for it. Owner's thread only; no-op without a thread.
    void stop();
    // Asks the thread to end without waiting (stop() then joins). Owner's thread only.
    void request_stop();
    void clear() { stop(); }

    // True once stop() has asked the thread to end. Any thread.
    bool stop_requested() const { return m_stop_requested.load(std::memory_order_acquire); }
    // The flag itself, for work that polls it (a decoder). Valid as long as the object.
    const std::atomic<bool>* stop_flag() const { return &m_stop_requested; }

    pthread_t m_thread{};

protected:
    // Called on the owner's thread right after a stop request: a thread that waits on
    // something other than time (a socket) is woken here so that it sees the request at once.
    virtual void on_stop_requested() {}

private:
    void join();

    bool m_joinable = false;  // m_thread was created and not yet joined
    std::atomic<bool> m_stop_requested{false};
};

// The thread entry handed to pthread_create: runs the update() of the UTL_Thread at arg.
extern "C" void* run_thread(void* arg);

// A default pthread mutex. lock() and unlock() must pair up on one thread.
class UTL_CriticalSection {
public:
    UTL_CriticalSection();
    virtual ~UTL_CriticalSection();
    UTL_CriticalSection(const UTL_CriticalSection&) = delete;
    UTL_CriticalSection& operator=(const UTL_CriticalSection&) = delete;

    void lock();
    void unlock();
    // Destroys the mutex early; later lock() and unlock() calls do nothing.
    void clear();

    pthread_mutex_t m_mutex;

private:
    bool m_valid = false;
};
