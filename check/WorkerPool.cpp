// WorkerPool: one generation of work at a time, handed to every thread at once.
#include "check/WorkerPool.h"

#include <chrono>

namespace Check {

namespace {
    constexpr auto kPumpInterval = std::chrono::milliseconds(25);
} // namespace

WorkerPool::WorkerPool(unsigned threads)
{
    m_workers.reserve(threads);
    try {
        for (unsigned w = 0; w < threads; ++w)
            m_workers.emplace_back([this, w] { Serve(w); });
    } catch (...) {
        Quit();
        throw;
    }
}

WorkerPool::~WorkerPool() { Quit(); }

bool WorkerPool::Run(std::atomic<bool>& stop, const std::function<void(unsigned)>& work, const Pump& pump)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_work = &work;
    m_stop = &stop;
    m_failure = nullptr;
    m_running = static_cast<unsigned>(m_workers.size());
    ++m_generation;
    m_wake.notify_all();
    // Waits for the workers on every way out, also when pump throws.
    struct Drain {
        WorkerPool& pool;
        std::unique_lock<std::mutex>& lock;
        ~Drain()
        {
            if (!lock.owns_lock())
                lock.lock();
            if (pool.m_running > 0) {
                pool.m_stop->store(true);
                pool.m_finished.wait(lock, [this] { return pool.m_running == 0; });
            }
            pool.m_work = nullptr;
        }
    } drain { *this, lock };
    bool stopped = false;
    while (!m_finished.wait_for(lock, kPumpInterval, [this] { return m_running == 0; })) {
        if (stopped)
            continue;
        lock.unlock();
        stopped = !pump();
        if (stopped)
            stop = true;
        lock.lock();
    }
    if (m_failure)
        std::rethrow_exception(m_failure);
    return !stopped && !stop;
}

void WorkerPool::Serve(unsigned worker)
{
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_quit || m_generation != seen; });
        if (m_quit)
            return;
        seen = m_generation;
        const std::function<void(unsigned)>* work = m_work;
        lock.unlock();
        try {
            (*work)(worker);
        } catch (...) {
            lock.lock();
            if (!m_failure)
                m_failure = std::current_exception();
            m_stop->store(true);
            lock.unlock();
        }
        lock.lock();
        if (--m_running == 0)
            m_finished.notify_all();
    }
}

void WorkerPool::Quit()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_workers)
        t.join();
}

} // namespace Check
