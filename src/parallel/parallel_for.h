// Loops over index ranges shared out among the threads of a pool. Every item
// is computed whole by one thread, so it comes out bit for bit as in a loop
// on one thread; what is summed over items must be kept per item (or per
// block in index order) and added up afterwards by one thread, in order.
// A null pool, or a pool of one thread, runs the loop in place.
#pragma once

#include <algorithm>

#include "parallel/thread_pool.h"

// First item of block p when [0, count) is cut into `parts` contiguous
// blocks whose sizes differ by at most one; block p is
// [blockStart(count, parts, p), blockStart(count, parts, p + 1)).
inline int blockStart(int count, int parts, int p)
{
    return int((long long)count * p / parts);
}

// Threads a loop over count items uses: at most one per item.
inline int loopThreads(const ThreadPool* pool, int count)
{
    const int threads = pool ? pool->size() : 1;
    return std::max(1, std::min(threads, count));
}

// body(first, last, t) once per block of [0, count): loopThreads(pool, count)
// contiguous blocks, each run whole by one thread t (one thread may run
// several, one after the other).
template <typename Body>
void parallelBlocks(ThreadPool* pool, int count, const Body& body)
{
    if (count <= 0)
        return;
    const int parts = loopThreads(pool, count);
    if (parts == 1) {
        body(0, count, 0);
        return;
    }
    pool->run(parts, [&](int p, int t) { body(blockStart(count, parts, p), blockStart(count, parts, p + 1), t); });
}

// body(i, t) for every i in [0, count), in increasing i within each block of
// parallelBlocks.
template <typename Body>
void parallelFor(ThreadPool* pool, int count, const Body& body)
{
    parallelBlocks(pool, count, [&](int first, int last, int t) {
        for (int i = first; i < last; ++i)
            body(i, t);
    });
}

// body(first, last, t) for chunks of `grain` items (the last may be shorter)
// that the threads take in turn as they come free: for items of uneven cost.
// Which thread takes a chunk varies from run to run; the chunks do not.
template <typename Body>
void parallelChunks(ThreadPool* pool, int count, int grain, const Body& body)
{
    if (count <= 0)
        return;
    grain = std::max(grain, 1);
    const int chunks = (count - 1) / grain + 1;
    if (loopThreads(pool, chunks) == 1) {
        for (int c = 0; c < chunks; ++c)
            body(c * grain, std::min(count, (c + 1) * grain), 0);
        return;
    }
    pool->run(chunks, [&](int c, int t) { body(c * grain, std::min(count, (c + 1) * grain), t); });
}

// values[0] + values[1] + … from 0.0, in index order: the sum of per-item
// results as a loop on one thread would have formed it.
inline double sumInOrder(const double* values, long long count)
{
    double sum = 0.0;
    for (long long i = 0; i < count; ++i)
        sum += values[i];
    return sum;
}
