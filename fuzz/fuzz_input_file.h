// The readers take a file name: a fuzz input is handed to them as an
// in-memory file (memfd), reached through its /proc/self/fd path, so no run
// touches the disk and every open sees the input from its first byte.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Replaces the contents of the process's one input file with data and
// returns the name under which the readers can open it.
inline const std::string& fuzzInputFile(const std::uint8_t* data, std::size_t size)
{
    static int fd = -1;
    static std::string path;
    if (fd < 0) {
        fd = memfd_create("tolvan-fuzz-input", 0);
        if (fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    if (ftruncate(fd, 0) != 0 || (size > 0 && pwrite(fd, data, size, 0) != ssize_t(size))) {
        std::perror("writing the fuzz input");
        std::abort();
    }
    return path;
}

// Stops the run with a message: libFuzzer records the input as a finding.
#define FUZZ_CHECK(condition, message)                                              \
    do {                                                                            \
        if (!(condition)) {                                                         \
            std::fprintf(stderr, "fuzz check failed: %s: %s\n", #condition, message); \
            std::abort();                                                           \
        }                                                                           \
    } while (0)
