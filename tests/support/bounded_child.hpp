// Runs a piece of a test in a child process under a hard time bound (and, outside the
// address sanitizer, an address-space bound), so that a fault that hangs or runs away
// with memory fails the test instead of hanging or killing the suite.
#pragma once

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <functional>

#if defined(__SANITIZE_ADDRESS__)
#define TBLN_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TBLN_TEST_UNDER_ASAN 1
#endif
#endif

namespace tbln::testing {

struct ChildOutcome {
    bool exited = false;  // ended by _exit, not by a signal (SIGALRM at the time bound)
    int status = -1;      // the exit status, or the signal that ended the child
    long peakKib = 0;     // the child's peak resident set
};

// Runs body in a forked child that ends with body's return value; SIGALRM ends it after
// seconds. addressSpace > 0 caps the child's virtual memory, except under the address
// sanitizer, whose shadow memory needs terabytes of address space (the peak resident
// set is reported either way).
inline ChildOutcome RunBoundedChild(const std::function<int()>& body, unsigned seconds,
                                    std::size_t addressSpace = 0) {
    const pid_t pid = ::fork();
    if (pid == 0) {
#ifndef TBLN_TEST_UNDER_ASAN
        if (addressSpace > 0) {
            const rlimit limit{static_cast<rlim_t>(addressSpace),
                               static_cast<rlim_t>(addressSpace)};
            ::setrlimit(RLIMIT_AS, &limit);
        }
#else
        (void)addressSpace;
#endif
        ::alarm(seconds);
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        ::_exit(code);
    }
    ChildOutcome outcome;
    if (pid < 0) return outcome;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) return outcome;
    outcome.exited = WIFEXITED(status);
    outcome.status = outcome.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    outcome.peakKib = usage.ru_maxrss;
    return outcome;
}

}  // namespace tbln::testing
