#include "parallel/thread_pool.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

int threadCountSetting(const char* text, unsigned hardware, std::string& warning)
{
    warning.clear();
    const int fallback = hardware == 0 ? 1 : int(std::min<unsigned>(hardware, unsigned(kMaxThreads)));
    if (text == nullptr || *text == '\0')
        return fallback;
    // Digits only: strtol alone would take leading spaces, signs and "0x".
    const char* p = text;
    while (*p >= '0' && *p <= '9')
        ++p;
    if (*p != '\0') {
        warning = "TOLVAN_THREADS=" + std::string(text) + " is not a whole number of threads; using " +
                  std::to_string(fallback) + " (the hardware's thread count)";
        return fallback;
    }
    errno = 0;
    const long value = std::strtol(text, nullptr, 10);
    if (value == 0 && errno == 0)
        return fallback;
    if (errno == ERANGE || value > kMaxThreads) {
        warning = "TOLVAN_THREADS=" + std::string(text) + " is more than " + std::to_string(kMaxThreads) +
                  " threads; using " + std::to_string(kMaxThreads);
        return kMaxThreads;
    }
    return int(value);
}

namespace {

// Takes parts of the current job until none is left; the first exception
// of each part is kept when it is the lowest so far.
void takeParts(ThreadPool& pool, const std::function<void(int, int)>& task, int t)
{
    for (int part = pool.nextPart.fetch_add(1); part < pool.parts; part = pool.nextPart.fetch_add(1)) {
        try {
            task(part, t);
        } catch (...) {
            std::lock_guard<std::mutex> lock(pool.mutex);
            if (pool.failedPart < 0 || part < pool.failedPart) {
                pool.failedPart = part;
                pool.error = std::current_exception();
            }
        }
    }
}

// A worker waits for each new job, joins it while it is open and takes
// parts; it ends when the pool stops.
void workerLoop(ThreadPool& pool, int t)
{
    std::uint64_t seen = 0;
    for (;;) {
        const std::function<void(int, int)>* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(pool.mutex);
            pool.wake.wait(lock, [&] { return pool.stopping || pool.generation != seen; });
            if (pool.stopping)
                return;
            seen = pool.generation;
            if (!pool.open)
                continue; // woke too late: the caller has taken every part
            pool.active += 1;
            job = pool.job;
        }
        takeParts(pool, *job, t);
        std::lock_guard<std::mutex> lock(pool.mutex);
        if (--pool.active == 0)
            pool.finished.notify_one();
    }
}

} // namespace

ThreadPool::ThreadPool(int threads)
{
    threads = std::clamp(threads, 1, kMaxThreads);
    workers.reserve(std::size_t(threads - 1));
    for (int t = 1; t < threads; ++t) {
        try {
            workers.emplace_back(workerLoop, std::ref(*this), t);
        } catch (const std::system_error&) {
            break; // no more threads to be had: run with those that started
        }
    }
}

ThreadPool::~ThreadPool()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& worker : workers)
        worker.join();
}

void ThreadPool::run(int count, const std::function<void(int part, int t)>& task)
{
    if (count <= 0)
        return;
    bool inPlace = workers.empty() || count == 1;
    if (!inPlace) {
        std::lock_guard<std::mutex> lock(mutex);
        inPlace = busy;
        if (!inPlace) {
            busy = true;
            open = true;
            job = &task;
            parts = count;
            nextPart.store(0);
            failedPart = -1;
            error = nullptr;
            ++generation;
        }
    }
    if (inPlace) {
        // In part order; the first exception is that of the lowest part.
        std::exception_ptr first;
        for (int part = 0; part < count; ++part) {
            try {
                task(part, 0);
            } catch (...) {
                if (!first)
                    first = std::current_exception();
            }
        }
        if (first)
            std::rethrow_exception(first);
        return;
    }
    wake.notify_all();
    takeParts(*this, task, 0);
    std::exception_ptr thrown;
    {
        std::unique_lock<std::mutex> lock(mutex);
        open = false; // every part is taken: late workers need not join
        finished.wait(lock, [&] { return active == 0; });
        job = nullptr;
        busy = false;
        thrown = error;
        error = nullptr;
    }
    if (thrown)
        std::rethrow_exception(thrown);
}
