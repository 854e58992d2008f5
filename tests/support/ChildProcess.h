// ChildProcess: runs a test body in a forked child, optionally without the capabilities
// that let root ignore permission bits, and brings back its report.
#pragma once

#include "scan/FileError.h"

#include <csignal>
#include <exception>
#include <functional>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// Makes permission bits bind root as well: drops the capabilities that bypass them
// from this process (meant for a forked child).
inline bool DropFileCapabilities()
{
    if (geteuid() != 0)
        return true;
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned mask = (1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH) | (1U << CAP_FOWNER);
    for (auto& d : data) {
        d.effective &= ~mask;
        d.permitted &= ~mask;
        d.inheritable &= ~mask;
    }
    return syscall(SYS_capset, &header, data) == 0;
}

// Mounts a tmpfs of size (as mount's "size=" takes it: "1m") on folder, in a mount
// namespace of this process's own so that nothing outside sees it (meant for a forked
// child). Returns false where the machine does not allow it.
inline bool MountPrivateTmpfs(const std::string& folder, const std::string& size)
{
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        && mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

// Runs body in a forked child, killed after timeoutSeconds (0: never) so that a hang
// fails the test instead of the whole suite, and returns its report: "" for success,
// "SKIP: ..." when the machine does not allow the set-up, anything else a failure.
// meanwhile, when given, runs in this process while the child runs.
inline std::string InChild(const std::function<std::string()>& body, unsigned timeoutSeconds = 60,
    const std::function<void(pid_t)>& meanwhile = {})
{
    int fds[2];
    if (pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        close(fds[0]);
        alarm(timeoutSeconds); // 0: no limit
        std::string report;
        try {
            report = body();
        } catch (const std::exception& e) {
            report = std::string("unexpected exception: ") + e.what();
        }
        const ssize_t put = write(fds[1], report.data(), report.size());
        _exit(put == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    close(fds[1]);
    if (meanwhile)
        meanwhile(pid);
    std::string report;
    char buffer[4096];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(got));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        return "child hung for more than " + std::to_string(timeoutSeconds) + " s: " + report;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child ended abnormally (status " + std::to_string(status) + "): " + report;
    return report;
}

// Runs body in a child that permission bits bind; its report says SKIP where the
// capabilities cannot be dropped.
inline std::string InChildAsUser(const std::function<std::string()>& body, unsigned timeoutSeconds = 60)
{
    return InChild(
        [&] { return DropFileCapabilities() ? body() : std::string("SKIP: cannot drop capabilities"); },
        timeoutSeconds);
}

// Expects a child's report to be empty; a report starting "SKIP:" skips the test.
#define EXPECT_CHILD_OK(report)                                                                              \
    do {                                                                                                     \
        const std::string r_ = (report);                                                                     \
        if (r_.rfind("SKIP:", 0) == 0)                                                                       \
            GTEST_SKIP() << r_;                                                                              \
        EXPECT_EQ(r_, "");                                                                                   \
    } while (false)

// Returns the text of the FileError that action throws, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Files::FileError& e) {
        return e.what();
    }
    return "(no error)";
}
