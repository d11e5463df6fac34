// A pass over the vertices of a mesh in which each vertex reads the new
// values of its lower-numbered neighbours and the old values of its
// higher-numbered ones, as a loop in increasing vertex order does, run on
// several threads: a vertex starts once its lower-numbered neighbours are
// done. A higher-numbered neighbour cannot start before the vertex is done,
// so the vertex still sees its old value without any copy.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "parallel/thread_pool.h"

struct Wavefront {
    int numVertices = 0;
    int threads = 0; // the thread count the shares were made for
    // Per vertex its lower-numbered neighbours: lower[lowerStart[v] ..
    // lowerStart[v + 1]), each once.
    std::vector<int> lowerStart, lower;
    // Per thread t its share of the vertices, order[share[t] .. share[t + 1]):
    // by level (a vertex's level is one more than the highest level of its
    // lower-numbered neighbours, 0 without any), each level cut into
    // contiguous pieces, one per thread; ascending within a level.
    std::vector<int> share, order;
    int levels = 0;
    // Per vertex the number of the last pass that finished it.
    std::unique_ptr<std::atomic<int>[]> done;
    int pass = 0;
    // What the caller built it from, for telling whether it still fits.
    const void* source = nullptr;
};

// Builds the schedule for numVertices vertices with neighbours[v] the
// neighbours of v (out-of-range indices and v itself are ignored) and
// threads threads (at least 1).
void buildWavefront(const std::vector<std::vector<int>>& neighbours, int numVertices, int threads,
                    Wavefront& wavefront);

// Runs body(v, t) for every vertex v < wavefront.numVertices, t being the
// thread (0 .. pool size − 1). With a null pool or a pool of one thread, or a
// schedule made for another thread count, in increasing v on the calling
// thread. If a body throws, the others stop at their next vertex and the
// exception is rethrown (the lowest thread's, as ThreadPool::runOnEach).
void runWavefront(ThreadPool* pool, Wavefront& wavefront, const std::function<void(int v, int t)>& body);
