// Runs a program or a function in a child process under resource limits, so
// that a test can watch it fail (a full disk, too little memory) or crash
// without taking the test runner down with it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qf::hardening {

struct Limits {
    long long fileSizeBytes = -1;    // RLIMIT_FSIZE; SIGXFSZ is ignored so writes fail with EFBIG
    long long addressSpaceBytes = -1; // RLIMIT_AS
    int timeoutSeconds = 60;         // then the child is killed
    int signalAfterMs = -1;          // after the child catches signalToSend, sends it once
    int signalToSend = 2;            // SIGINT, as Ctrl-C would
};

struct ChildResult {
    bool exited = false;  // ended through exit(): exitCode is valid
    int exitCode = -1;
    int signal = 0;       // the signal that ended it, 0 if none
    bool timedOut = false;
    std::string output;   // standard output and standard error together

    // A clean end: an exit, not a signal, not a sanitizer report.
    bool clean() const;
    std::string describe() const;
};

// Runs argv[0] with the arguments, without a shell.
ChildResult RunProgram(const std::vector<std::string>& argv, const Limits& limits = {});

// Runs body in a forked child; its return value becomes the exit code. What
// body prints reaches output. Only for code that starts no threads of its own.
ChildResult RunInChild(const std::function<int()>& body, const Limits& limits = {});

// True when this binary was built with AddressSanitizer, which reserves far
// more address space than RLIMIT_AS can allow.
bool BuiltWithAddressSanitizer();

} // namespace qf::hardening
