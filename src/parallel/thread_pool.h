// A small pool of threads, made for one run and ended with it. The calling
// thread takes part in every job, so a pool of one thread has no worker and
// runs everything in place, exactly as a program without threads would.
#pragma once

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

    // Runs task(t) once for every t in [0, size()): t = 0 on the calling
    // thread, every other t on its own worker, and returns when all are done.
    // If tasks throw, the exception of the lowest t is rethrown here, after
    // all have ended. A call from inside a task (or while another job runs)
    // runs every t in turn on the calling thread.
    void runOnEach(const std::function<void(int)>& task);

    // Working state, shared with the workers under mutex.
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable wake;     // a new job or the end
    std::condition_variable finished; // the last worker of a job is done
    const std::function<void(int)>* job = nullptr;
    std::uint64_t generation = 0; // counts the jobs handed out
    int running = 0;              // workers still busy with the current job
    bool stopping = false;
    bool busy = false; // a job is under way (nested calls run in place)
    std::vector<std::exception_ptr> errors; // per t, of the current job
};
