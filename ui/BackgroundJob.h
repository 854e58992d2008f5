// BackgroundJob: long work (the check run, the bulk clean, undo) on a thread of its own, while
// the window's event loop goes on: the work hands its output over in steps that the
// window takes with its other events, and reads a cancel flag between its steps.
#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class BackgroundJob final : public QObject {
    Q_OBJECT

public:
    explicit BackgroundJob(QObject* parent = nullptr);
    // Cancels a job that still runs and waits for its thread; its steps and its end are
    // not run any more.
    ~BackgroundJob() override;

    // Runs work on a new thread, unless a job runs already (false). Once work has
    // returned and every step it posted has run here, finished runs here with what work
    // threw (null when nothing).
    bool Start(std::function<void()> work, std::function<void(std::exception_ptr)> finished);
    // True from Start until finished has run.
    bool Running() const { return m_running; }

    // Asks the work to stop at its next look at the flag.
    void Cancel() { m_cancel = true; }
    // The cancel flag; safe on any thread.
    bool Cancelled() const { return m_cancel.load(); }

    // Called by the work: runs apply on this object's thread, after the steps posted
    // before it. Steps posted while the window is busy run together, in order.
    void Post(std::function<void()> apply);

    // For tests: each Post waits until the window has run its step, so that what a test
    // does in the event loop meanwhile falls between the same steps every time.
    static void SetLockStep(bool on);

private:
    void runSteps();
    void end(std::exception_ptr error);

    std::thread m_thread;
    std::function<void(std::exception_ptr)> m_finished;
    bool m_running = false;
    std::atomic<bool> m_cancel { false };

    std::mutex m_mutex;
    std::condition_variable m_stepRun;
    std::deque<std::function<void()>> m_steps;
    std::uint64_t m_posted = 0;
    std::uint64_t m_run = 0;
    // Set while the object goes: the work no longer waits for its steps.
    bool m_abandoned = false;
};
