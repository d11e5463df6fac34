#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "parallel/wavefront.h"

namespace {

using Graph = std::vector<std::vector<int>>;

void link(Graph& g, int a, int b)
{
    g[std::size_t(a)].push_back(b);
    g[std::size_t(b)].push_back(a);
}

Graph chain(int n)
{
    Graph g(static_cast<std::size_t>(n));
    for (int v = 1; v < n; ++v)
        link(g, v - 1, v);
    return g;
}

Graph grid(int rows, int columns)
{
    Graph g(std::size_t(rows * columns));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            if (c + 1 < columns)
                link(g, r * columns + c, r * columns + c + 1);
            if (r + 1 < rows)
                link(g, r * columns + c, (r + 1) * columns + c);
        }
    return g;
}

// Scrambled links, repeated links, self links and indices out of range.
Graph tangle(int n)
{
    Graph g(static_cast<std::size_t>(n));
    unsigned state = 12345;
    for (int k = 0; k < 4 * n; ++k) {
        state = state * 1103515245u + 12345u;
        const int a = int(state % unsigned(n)), b = int((state >> 16) % unsigned(n));
        link(g, a, b);
        if (k % 7 == 0)
            link(g, a, b);
    }
    g[0].push_back(n + 5);
    g[1].push_back(-3);
    return g;
}

// One pass of the kind the weight passes make: each vertex's new value
// follows from its neighbours' values as they stand when it is visited.
void update(const Graph& g, std::vector<double>& value, int v)
{
    double sum = 0.0;
    for (int e : g[std::size_t(v)])
        if (e >= 0 && e < int(g.size()))
            sum += value[std::size_t(e)];
    value[std::size_t(v)] = std::sqrt(1.0 + 0.5 * value[std::size_t(v)] + sum * 0.1);
}

TEST(Wavefront, GivesTheResultsOfTheLoopInVertexOrder)
{
    struct Case {
        const char* name;
        Graph graph;
        int levels;
    } cases[] = {{"none", Graph(), 0},        {"one", Graph(1), 1},          {"chain", chain(100), 100},
                 {"grid", grid(20, 30), 49},  {"tangle", tangle(500), -1}};
    for (const Case& c : cases) {
        const int n = int(c.graph.size());
        std::vector<double> expected(std::size_t(n), 1.0);
        for (int pass = 0; pass < 3; ++pass)
            for (int v = 0; v < n; ++v)
                update(c.graph, expected, v);
        for (int threads : {1, 2, 3, 4}) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(threads) + " threads");
            ThreadPool pool(threads);
            Wavefront w;
            buildWavefront(c.graph, n, threads, w);
            if (c.levels >= 0) {
                EXPECT_EQ(w.levels, c.levels);
            }
            std::vector<int> seen(w.order.begin(), w.order.end());
            std::sort(seen.begin(), seen.end());
            for (int v = 0; v < n; ++v)
                ASSERT_EQ(seen[std::size_t(v)], v);
            ASSERT_EQ(seen.size(), std::size_t(n));
            std::vector<double> value(std::size_t(n), 1.0);
            std::vector<int> visits(std::size_t(n), 0);
            for (int pass = 0; pass < 3; ++pass)
                runWavefront(&pool, w, [&](int v, int) {
                    update(c.graph, value, v);
                    ++visits[std::size_t(v)];
                });
            EXPECT_TRUE(value == expected);
            EXPECT_EQ(std::count(visits.begin(), visits.end(), 3), n);
        }
    }
}

TEST(Wavefront, RunsInOrderWithoutAMatchingPoolAndStopsOnAnError)
{
    const Graph g = grid(30, 30);
    Wavefront w;
    buildWavefront(g, 900, 3, w);
    for (int threads : {1, 2}) { // schedules for another count run in vertex order
        ThreadPool pool(threads);
        std::vector<int> order;
        runWavefront(&pool, w, [&](int v, int t) {
            EXPECT_EQ(t, 0);
            order.push_back(v);
        });
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()) && order.size() == 900u);
    }
    ThreadPool pool(3);
    // The vertices that wait for the failed one give up instead of waiting for ever.
    EXPECT_THROW(runWavefront(&pool, w,
                              [&](int v, int) {
                                  if (v == 400)
                                      throw std::out_of_range("invalid vector<T> subscript");
                              }),
                 std::out_of_range);
    std::vector<double> value(900, 1.0), expected(900, 1.0);
    for (int v = 0; v < 900; ++v)
        update(g, expected, v);
    runWavefront(&pool, w, [&](int v, int) { update(g, value, v); });
    EXPECT_TRUE(value == expected);
}

} // namespace
