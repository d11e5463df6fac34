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

// A worker waits for each new job, runs its own part t of it and reports
// back; it ends when the pool stops.
void workerLoop(ThreadPool& pool, int t)
{
    std::uint64_t seen = 0;
    for (;;) {
        const std::function<void(int)>* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(pool.mutex);
            pool.wake.wait(lock, [&] { return pool.stopping || pool.generation != seen; });
            if (pool.stopping)
                return;
            seen = pool.generation;
            job = pool.job;
        }
        std::exception_ptr error;
        try {
            (*job)(t);
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(pool.mutex);
        pool.errors[std::size_t(t)] = error;
        if (--pool.running == 0)
            pool.finished.notify_one();
    }
}

void rethrowFirst(const std::vector<std::exception_ptr>& errors)
{
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
}

} // namespace

ThreadPool::ThreadPool(int threads)
{
    threads = std::clamp(threads, 1, kMaxThreads);
    errors.resize(std::size_t(threads));
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

void ThreadPool::runOnEach(const std::function<void(int)>& task)
{
    const int threads = size();
    bool inPlace = workers.empty();
    if (!inPlace) {
        std::lock_guard<std::mutex> lock(mutex);
        inPlace = busy;
        if (!inPlace) {
            busy = true;
            job = &task;
            running = int(workers.size());
            std::fill(errors.begin(), errors.end(), nullptr);
            ++generation;
        }
    }
    if (inPlace) {
        std::vector<std::exception_ptr> own(static_cast<std::size_t>(threads));
        for (int t = 0; t < threads; ++t) {
            try {
                task(t);
            } catch (...) {
                own[std::size_t(t)] = std::current_exception();
            }
        }
        rethrowFirst(own);
        return;
    }
    wake.notify_all();
    std::exception_ptr own;
    try {
        task(0);
    } catch (...) {
        own = std::current_exception();
    }
    std::vector<std::exception_ptr> all;
    {
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [&] { return running == 0; });
        errors[0] = own;
        all.swap(errors);
        errors.resize(all.size());
        job = nullptr;
        busy = false;
    }
    rethrowFirst(all);
}
