// WorkerPool: the engine's threads, kept for its lifetime so that each phase costs no
// thread start.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Check {

// Called on the thread that waits for the workers about every 25 ms while they run, to
// report progress and read a cancel flag; it runs no events. Returning false stops them.
using Pump = std::function<bool()>;

class WorkerPool {
public:
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs work(worker) on every worker and waits for all of them, calling pump about
    // every 25 ms meanwhile; a false from pump raises stop. Rethrows the first
    // exception a worker threw. Returns false when stopped.
    bool Run(std::atomic<bool>& stop, const std::function<void(unsigned)>& work, const Pump& pump);

private:
    void Serve(unsigned worker);
    void Quit();

    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    const std::function<void(unsigned)>* m_work = nullptr;
    std::atomic<bool>* m_stop = nullptr;
    std::exception_ptr m_failure;
    std::uint64_t m_generation = 0;
    unsigned m_running = 0;
    bool m_quit = false;
};

} // namespace Check
