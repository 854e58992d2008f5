// BackgroundJob: a thread for one job at a time, and the queue of its steps.
#include "ui/BackgroundJob.h"

#include <utility>

namespace {

std::atomic<bool> g_lockStep { false };

} // namespace

BackgroundJob::BackgroundJob(QObject* parent)
    : QObject(parent)
{
}

BackgroundJob::~BackgroundJob()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_abandoned = true;
    }
    m_cancel = true;
    m_stepRun.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundJob::SetLockStep(bool on) { g_lockStep = on; }

bool BackgroundJob::Start(std::function<void()> work, std::function<void(std::exception_ptr)> finished)
{
    if (m_running)
        return false;
    // The thread of the job before has ended: its end ran here.
    if (m_thread.joinable())
        m_thread.join();
    m_running = true;
    m_cancel = false;
    m_finished = std::move(finished);
    m_thread = std::thread([this, work = std::move(work)] {
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        // Queued after every step the work posted, so it runs after them.
        QMetaObject::invokeMethod(this, [this, error] { end(error); }, Qt::QueuedConnection);
    });
    return true;
}

void BackgroundJob::Post(std::function<void()> apply)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_abandoned)
        return;
    const bool first = m_steps.empty();
    m_steps.push_back(std::move(apply));
    const std::uint64_t number = ++m_posted;
    if (first)
        QMetaObject::invokeMethod(this, [this] { runSteps(); }, Qt::QueuedConnection);
    if (g_lockStep)
        m_stepRun.wait(lock, [&] { return m_run >= number || m_abandoned; });
}

void BackgroundJob::runSteps()
{
    std::deque<std::function<void()>> steps;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        steps.swap(m_steps);
    }
    for (std::function<void()>& step : steps) {
        step();
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            ++m_run;
        }
        m_stepRun.notify_all();
    }
}

void BackgroundJob::end(std::exception_ptr error)
{
    m_thread.join();
    m_running = false;
    if (auto finished = std::exchange(m_finished, {}))
        finished(error);
}
