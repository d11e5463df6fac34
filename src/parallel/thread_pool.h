// A small pool of threads, made for one run and ended with it. The calling
// thread takes part in every job, so a pool of one thread has no worker and
// runs everything in place, exactly as a program without threads would.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Most threads a pool is made with; larger requests are cut to it.
constexpr int kMaxThreads = 256;

// The thread count for a run from the text of TOLVAN_THREADS (null when the
// variable is unset) and the hardware's thread count (0 when unknown):
// unset, empty or "0" gives the hardware's count (at least 1); a whole
// number from 1 to kMaxThreads that count; a larger one kMaxThreads; anything
// else (a sign, a fraction, letters, spaces) the hardware's count. warning
// says what was not taken as given ("" when nothing).
int threadCountSetting(const char* text, unsigned hardware, std::string& warning);

struct ThreadPool {
    // Starts threads − 1 workers (threads is cut to 1 .. kMaxThreads). A
    // worker that cannot be started is done without: the pool then has the
    // threads that did start, and at least the calling one.
    explicit ThreadPool(int threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Threads that take part in a job, the calling one included.
    int size() const { return int(workers.size()) + 1; }

    // Runs task(part, t) once for every part in [0, parts) and returns when
    // all are done. The calling thread (t = 0) and the workers (t = 1 ..
    // size() − 1) take the parts in increasing order as they come free, so
    // one thread may run several; a worker that has not woken by the time
    // the parts are gone is not waited for (on a busy machine the calling
    // thread may run them all). A thread runs its parts one after the other.
    // If parts throw, the exception of the lowest part is rethrown here once
    // every part has ended. A call from inside a task (or while another job
    // runs) runs every part in turn on the calling thread, as t = 0.
    void run(int parts, const std::function<void(int part, int t)>& task);

    // Working state, shared with the workers under mutex.
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable wake;     // a new job or the end
    std::condition_variable finished; // the last busy worker of a job is done
    const std::function<void(int, int)>* job = nullptr;
    int parts = 0;
    std::atomic<int> nextPart{0};
    std::uint64_t generation = 0; // counts the jobs handed out
    bool open = false;            // workers may still join the current job
    int active = 0;               // workers that joined it and are not done
    bool stopping = false;
    bool busy = false; // a job is under way (nested calls run in place)
    int failedPart = -1; // lowest part that threw, and its exception
    std::exception_ptr error;
};
