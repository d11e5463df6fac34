#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <stdexcept>

#include "parallel/parallel_for.h"

namespace {

TEST(ThreadCountSetting, TakesWholeCountsAndFallsBackWithAWarning)
{
    struct Case {
        const char* text;
        unsigned hardware;
        int expected;
        bool warns;
    } cases[] = {
        {nullptr, 8, 8, false}, {"", 8, 8, false},     {"0", 8, 8, false},    {"000", 3, 3, false},
        {"3", 8, 3, false},     {"1", 0, 1, false},    {nullptr, 0, 1, false}, {nullptr, 1000, kMaxThreads, false},
        {"256", 2, 256, false}, {"257", 2, 256, true}, {"99999999999999999999", 2, 256, true},
        {"-2", 4, 4, true},     {"+2", 4, 4, true},    {"2.5", 4, 4, true},   {" 2", 4, 4, true},
    };
    for (const Case& c : cases) {
        std::string warning;
        EXPECT_EQ(threadCountSetting(c.text, c.hardware, warning), c.expected) << (c.text ? c.text : "(unset)");
        EXPECT_EQ(!warning.empty(), c.warns) << warning;
        if (c.warns) {
            EXPECT_NE(warning.find(std::string("TOLVAN_THREADS=") + c.text), std::string::npos) << warning;
        }
    }
}

TEST(ThreadPool, RunsEachPartOnceAndTheCallerAsThreadZero)
{
    for (int threads : {-3, 1, 2, 3, 5}) {
        ThreadPool pool(threads);
        ASSERT_EQ(pool.size(), std::max(threads, 1));
        for (int parts : {1, 2, 7, 100}) {
            for (int job = 0; job < 20; ++job) { // a worker must not miss, repeat or outlive a job
                std::vector<std::atomic<int>> runs(static_cast<std::size_t>(parts));
                std::atomic<bool> callerIsZero{true}, threadInRange{true};
                const std::thread::id caller = std::this_thread::get_id();
                pool.run(parts, [&](int part, int t) {
                    runs[std::size_t(part)] += 1;
                    if ((std::this_thread::get_id() == caller) != (t == 0))
                        callerIsZero = false;
                    if (t < 0 || t >= pool.size())
                        threadInRange = false;
                });
                for (std::size_t p = 0; p < runs.size(); ++p)
                    ASSERT_EQ(runs[p].load(), 1) << threads << " threads, part " << p;
                ASSERT_TRUE(callerIsZero && threadInRange);
            }
        }
    }
}

TEST(ThreadPool, RethrowsTheLowestPartsErrorAndStaysUsable)
{
    for (int threads : {1, 3}) {
        ThreadPool pool(threads);
        std::atomic<int> ran{0};
        try {
            pool.run(10, [&](int part, int) {
                ran += 1;
                if (part == 3 || part == 7)
                    throw std::runtime_error("part " + std::to_string(part));
            });
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "part 3");
        }
        EXPECT_EQ(ran.load(), 10); // every part ran to its end
        // Nested calls run in place instead of waiting for themselves.
        std::atomic<int> inner{0};
        pool.run(4, [&](int, int) { pool.run(5, [&](int, int t) { inner += t == 0 ? 1 : 100; }); });
        EXPECT_EQ(inner.load(), 20);
    }
}

// Each item's value depends on a long chain of rounded operations, so any
// item computed differently (or twice, or not at all) shows in its bits.
double itemValue(int i)
{
    double x = 1.0 + i * 1e-3;
    for (int k = 0; k < 100; ++k)
        x = std::sqrt(x * 1.0000001 + 0.1 / (k + i + 1));
    return x;
}

TEST(ParallelLoops, ComputeEveryItemOnceAsOneThreadWould)
{
    const int counts[] = {0, 1, 2, 7, 1000};
    for (int threads : {0, 1, 2, 3, 4}) { // 0: no pool
        ThreadPool pool(std::max(threads, 1));
        ThreadPool* usable = threads == 0 ? nullptr : &pool;
        for (int count : counts) {
            SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(count) + " items");
            std::vector<double> expected(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i)
                expected[std::size_t(i)] = itemValue(i);
            // Blocks: one per thread at most, contiguous, covering every item once.
            std::vector<double> got(std::size_t(count), -1.0);
            std::atomic<int> blocks{0};
            parallelBlocks(usable, count, [&](int first, int last, int) {
                blocks += 1;
                for (int i = first; i < last; ++i)
                    got[std::size_t(i)] = got[std::size_t(i)] == -1.0 ? itemValue(i) : NAN;
            });
            EXPECT_EQ(got, expected);
            EXPECT_EQ(blocks.load(), count == 0 ? 0 : std::min(count, std::max(threads, 1)));
            for (int grain : {1, 3, 64}) {
                std::vector<double> chunked(std::size_t(count), -1.0);
                parallelChunks(usable, count, grain, [&](int first, int last, int) {
                    EXPECT_TRUE(first % grain == 0 && (last - first == grain || last == count));
                    for (int i = first; i < last; ++i)
                        chunked[std::size_t(i)] = chunked[std::size_t(i)] == -1.0 ? itemValue(i) : NAN;
                });
                EXPECT_EQ(chunked, expected) << "grain " << grain;
            }
            std::vector<double> single(std::size_t(count), -1.0);
            parallelFor(usable, count, [&](int i, int) {
                single[std::size_t(i)] = single[std::size_t(i)] == -1.0 ? itemValue(i) : NAN;
            });
            EXPECT_EQ(single, expected);
            double sum = 0.0;
            for (double x : expected)
                sum += x;
            EXPECT_EQ(sumInOrder(single.data(), count), sum);
        }
    }
}

} // namespace
