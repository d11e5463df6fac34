#include "parallel/wavefront.h"

#include <algorithm>
#include <stdexcept>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

void buildWavefront(const std::vector<std::vector<int>>& neighbours, int numVertices, int threads,
                    Wavefront& wavefront)
{
    Wavefront& w = wavefront;
    w.numVertices = std::max(numVertices, 0);
    w.threads = std::clamp(threads, 1, kMaxThreads);
    const std::size_t n = std::size_t(w.numVertices);
    w.lowerStart.assign(n + 1, 0);
    w.lower.clear();
    std::vector<int> level(n, 0);
    w.levels = n > 0 ? 1 : 0;
    for (int v = 0; v < w.numVertices; ++v) {
        const std::size_t first = w.lower.size();
        if (std::size_t(v) < neighbours.size())
            for (int e : neighbours[std::size_t(v)])
                if (e >= 0 && e < v && std::find(w.lower.begin() + long(first), w.lower.end(), e) == w.lower.end()) {
                    w.lower.push_back(e);
                    level[std::size_t(v)] = std::max(level[std::size_t(v)], level[std::size_t(e)] + 1);
                }
        w.lowerStart[std::size_t(v) + 1] = int(w.lower.size());
        w.levels = std::max(w.levels, level[std::size_t(v)] + 1);
    }
    // The vertices of each level in increasing order (a counting sort).
    std::vector<int> levelStart(std::size_t(w.levels) + 1, 0);
    for (int l : level)
        ++levelStart[std::size_t(l) + 1];
    for (std::size_t l = 0; l < std::size_t(w.levels); ++l)
        levelStart[l + 1] += levelStart[l];
    std::vector<int> byLevel(n);
    std::vector<int> next(levelStart.begin(), levelStart.end() - 1);
    for (int v = 0; v < w.numVertices; ++v)
        byLevel[std::size_t(next[std::size_t(level[std::size_t(v)])]++)] = v;
    // Thread t takes piece t of every level, in level order.
    w.order.clear();
    w.order.reserve(n);
    w.share.assign(std::size_t(w.threads) + 1, 0);
    for (int t = 0; t < w.threads; ++t) {
        for (int l = 0; l < w.levels; ++l) {
            const long long first = levelStart[std::size_t(l)], count = levelStart[std::size_t(l) + 1] - first;
            for (long long i = first + count * t / w.threads; i < first + count * (t + 1) / w.threads; ++i)
                w.order.push_back(byLevel[std::size_t(i)]);
        }
        w.share[std::size_t(t) + 1] = int(w.order.size());
    }
    w.done.reset(new std::atomic<int>[n]);
    for (std::size_t v = 0; v < n; ++v)
        w.done[v].store(0, std::memory_order_relaxed);
    w.pass = 0;
}

namespace {

void pause()
{
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

// Waits until vertex e is done in this pass; false when the pass was given
// up because a body threw.
bool waitFor(Wavefront& w, int e, int pass, const std::atomic<bool>& failed)
{
    std::atomic<int>& flag = w.done[std::size_t(e)];
    for (int spins = 0;; ++spins) {
        if (failed.load(std::memory_order_acquire))
            return false;
        const int seen = flag.load(std::memory_order_acquire);
        if (seen == pass)
            return true;
        // A short spin, then sleep until the flag changes: on a busy machine
        // the thread being waited for may itself be waiting for a processor.
        if (spins < 200)
            pause();
        else
            flag.wait(seen, std::memory_order_acquire);
    }
}

// After a failure: wakes every thread that sleeps on a flag of this pass.
void wakeAll(Wavefront& w, int pass)
{
    for (int v = 0; v < w.numVertices; ++v)
        if (w.done[std::size_t(v)].load(std::memory_order_relaxed) != pass) {
            w.done[std::size_t(v)].store(-pass, std::memory_order_release);
            w.done[std::size_t(v)].notify_all();
        }
}

} // namespace

void runWavefront(ThreadPool* pool, Wavefront& wavefront, const std::function<void(int v, int t)>& body)
{
    Wavefront& w = wavefront;
    if (!pool || pool->size() == 1 || w.threads != pool->size() || w.threads == 1) {
        for (int v = 0; v < w.numVertices; ++v)
            body(v, 0);
        return;
    }
    const int pass = ++w.pass;
    std::atomic<bool> failed{false};
    pool->runOnEach([&](int t) {
        try {
            for (int i = w.share[std::size_t(t)]; i < w.share[std::size_t(t) + 1]; ++i) {
                const int v = w.order[std::size_t(i)];
                for (int k = w.lowerStart[std::size_t(v)]; k < w.lowerStart[std::size_t(v) + 1]; ++k)
                    if (!waitFor(w, w.lower[std::size_t(k)], pass, failed))
                        return;
                body(v, t);
                w.done[std::size_t(v)].store(pass, std::memory_order_release);
                w.done[std::size_t(v)].notify_all();
            }
        } catch (...) {
            failed.store(true, std::memory_order_release);
            wakeAll(w, pass);
            throw;
        }
    });
}
