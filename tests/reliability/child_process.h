// Runs a piece of a test in a forked child, so that a crash, a hang or an
// exhausted memory limit is observed from outside instead of ending the
// test program. The child reports back through a pipe.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <functional>
#include <new>
#include <string>

namespace testchild {

struct Outcome {
    bool finished = false; // the body returned (no crash, no time-out, no stray exception)
    int code = -1;         // what the body returned
    int signal = 0;        // the signal that ended the child, if any
    std::string report;    // what the body wrote into its report
    std::string describe() const
    {
        if (finished)
            return "returned " + std::to_string(code) + ": " + report;
        if (signal == SIGALRM)
            return "did not finish in time";
        if (signal != 0)
            return "ended by signal " + std::to_string(signal) + " " + report;
        return "ended abnormally (exit " + std::to_string(code) + ") " + report;
    }
};

// Virtual memory of this process in bytes (0 when unknown).
inline long long addressSpaceInUse()
{
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    statm >> pages;
    return pages * (long long)sysconf(_SC_PAGESIZE);
}

// True in a build with AddressSanitizer, which reserves terabytes of address
// space and so cannot run under an address-space limit.
constexpr bool addressSanitizerBuild()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// True in a build with ThreadSanitizer, which also maps far more address
// space than a limit leaves room for.
constexpr bool threadSanitizerBuild()
{
#if defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// Forks; the child limits its address space to what it uses now plus
// extraBytes (no limit when extraBytes < 0), arms an alarm of `seconds`,
// runs body(report) and exits with its result. A std::bad_alloc that leaves
// the body is reported as "out of memory", any other exception by its text;
// neither counts as finished.
inline Outcome runInChild(const std::function<int(std::string& report)>& body, long long extraBytes,
                          unsigned seconds)
{
    int channel[2];
    Outcome outcome;
    if (pipe(channel) != 0)
        return outcome;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return outcome;
    if (pid == 0) {
        close(channel[0]);
        if (extraBytes >= 0) {
            rlim_t limit = rlim_t(addressSpaceInUse() + extraBytes);
            struct rlimit r = {limit, limit};
            setrlimit(RLIMIT_AS, &r);
        }
        alarm(seconds);
        std::string report;
        int code = 0;
        char status = 'F'; // finished
        try {
            code = body(report);
        } catch (const std::bad_alloc&) {
            status = 'X';
            report = "out of memory";
        } catch (const std::exception& e) {
            status = 'X';
            report = std::string("exception: ") + e.what();
        }
        std::string message = status + report;
        for (std::size_t at = 0; at < message.size();) {
            ssize_t n = write(channel[1], message.data() + at, message.size() - at);
            if (n <= 0)
                break;
            at += std::size_t(n);
        }
        _exit(code);
    }
    close(channel[1]);
    std::string message;
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof(buffer))) != 0;) {
        if (n < 0)
            break;
        message.append(buffer, std::size_t(n));
    }
    close(channel[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    if (WIFEXITED(status))
        outcome.code = WEXITSTATUS(status);
    outcome.finished = !message.empty() && message[0] == 'F' && WIFEXITED(status);
    outcome.report = message.empty() ? std::string() : message.substr(1);
    return outcome;
}

} // namespace testchild
