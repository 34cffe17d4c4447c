#include "child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qf::hardening {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAsan = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAsan = true;
#else
constexpr bool kAsan = false;
#endif
#else
constexpr bool kAsan = false;
#endif

// In the child, between fork and exec: only async-signal-safe calls.
void ApplyLimits(const Limits& limits)
{
    if (limits.fileSizeBytes >= 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(limits.fileSizeBytes), static_cast<rlim_t>(limits.fileSizeBytes)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (limits.addressSpaceBytes >= 0) {
        const rlimit limit{static_cast<rlim_t>(limits.addressSpaceBytes),
                           static_cast<rlim_t>(limits.addressSpaceBytes)};
        setrlimit(RLIMIT_AS, &limit);
    }
}

// Whether process pid has installed a handler for signal (SigCgt in its
// status), so that a signal sent now tests the handler, not start-up.
bool Catches(pid_t pid, int signal)
{
    std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (status == nullptr) {
        return true; // no way to tell: send it anyway
    }
    char line[256];
    unsigned long long caught = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "SigCgt: %llx", &caught) == 1) {
            break;
        }
    }
    std::fclose(status);
    return (caught >> (signal - 1)) & 1;
}

double Now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Collects the child's output until it ends or the time runs out.
ChildResult Collect(pid_t pid, int readEnd, const Limits& limits)
{
    ChildResult result;
    const double start = Now();
    const double deadline = start + limits.timeoutSeconds;
    // The delay before the signal counts from when the child catches it.
    bool waitingForHandler = limits.signalAfterMs >= 0;
    double signalAt = deadline + 1;
    char buffer[4096];
    bool open = true;
    while (open) {
        const double now = Now();
        if (now >= deadline) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (waitingForHandler && Catches(pid, limits.signalToSend)) {
            waitingForHandler = false;
            signalAt = now + limits.signalAfterMs / 1000.0;
        }
        if (now >= signalAt) {
            kill(pid, limits.signalToSend);
            signalAt = deadline + 1;
        }
        pollfd fd{readEnd, POLLIN, 0};
        const double wakeAt = waitingForHandler ? now + 0.002 : std::min(deadline, signalAt);
        const int ready = poll(&fd, 1, static_cast<int>((wakeAt - now) * 1000) + 1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t got = read(readEnd, buffer, sizeof buffer);
        if (got > 0) {
            result.output.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            open = false;
        }
    }
    close(readEnd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

} // namespace

bool ChildResult::clean() const
{
    return exited && !timedOut && output.find("Sanitizer") == std::string::npos
           && output.find("runtime error:") == std::string::npos;
}

std::string ChildResult::describe() const
{
    std::string text;
    if (timedOut) {
        text = "timed out";
    } else if (exited) {
        text = "exit code " + std::to_string(exitCode);
    } else {
        text = std::string("killed by signal ") + std::to_string(signal) + " (" + strsignal(signal) + ")";
    }
    return text + "; output:\n" + output;
}

ChildResult RunProgram(const std::vector<std::string>& argv, const Limits& limits)
{
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return {};
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        dup2(pipeEnds[1], STDERR_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) {
            dup2(devNull, STDIN_FILENO);
        }
        ApplyLimits(limits);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    if (pid < 0) {
        close(pipeEnds[0]);
        return {};
    }
    return Collect(pid, pipeEnds[0], limits);
}

ChildResult RunInChild(const std::function<int()>& body, const Limits& limits)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return {};
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        dup2(pipeEnds[1], STDERR_FILENO);
        ApplyLimits(limits);
        const int code = body();
        std::fflush(nullptr);
        // Skip the parent's atexit handlers and static destructors.
        _exit(code);
    }
    close(pipeEnds[1]);
    if (pid < 0) {
        close(pipeEnds[0]);
        return {};
    }
    return Collect(pid, pipeEnds[0], limits);
}

bool BuiltWithAddressSanitizer()
{
    return kAsan;
}

} // namespace qf::hardening
