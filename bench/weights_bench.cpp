// Throughput of candidate scoring (point transformations per second) and of
// the weight solve (vertices per second) on the galloping horse, 30 bones.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <string>

#include "weights/smooth_weights.h"
#include "weights/weight_update.h"

namespace {

// Plain reader of the two input files, enough for a benchmark.
bool loadHorse(RiggingContext& c)
{
    std::string dir = std::string(TOLVAN_SHARED_DIR) + "/data/horse-gallop/";
    std::ifstream anim(dir + "horse-gallop.anim.txt");
    std::ifstream rest(dir + "horse-gallop.rest.obj");
    int numFrames = 0, numVertices = 0;
    if (!(anim >> numFrames >> numVertices) || !rest)
        return false;
    resizePointTable(c.sequence, numFrames, numVertices);
    for (double& x : c.sequence.values)
        if (!(anim >> x))
            return false;
    c.neighbours.assign(numVertices, {});
    std::string tag;
    while (rest >> tag) {
        if (tag == "v") {
            double x, y, z;
            rest >> x >> y >> z;
            c.restPose.push_back(makeVector3(x, y, z));
        } else if (tag == "f") {
            int t[3];
            rest >> t[0] >> t[1] >> t[2];
            for (int a = 0; a < 3; ++a)
                for (int b = 0; b < 3; ++b)
                    if (a != b)
                        c.neighbours[t[a] - 1].push_back(t[b] - 1);
        }
    }
    for (std::vector<int>& nb : c.neighbours) {
        std::sort(nb.begin(), nb.end());
        nb.erase(std::unique(nb.begin(), nb.end()), nb.end());
    }
    c.numFrames = numFrames;
    c.numVertices = numVertices;
    return int(c.restPose.size()) == numVertices;
}

// 30 bones with small random rotations and translations, weights from one
// single-candidate round, then candidate lists of up to 4 bones.
RiggingContext* horseContext()
{
    static RiggingContext* context = nullptr;
    if (context)
        return context;
    RiggingContext* c = new RiggingContext;
    if (!loadHorse(*c))
        return nullptr;
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    c->numBones = 30;
    c->bones.resize(30);
    for (Bone& b : c->bones)
        for (int f = 0; f < c->numFrames; ++f) {
            double ax = 0.3 * u(rng), ay = 0.3 * u(rng), az = 0.3 * u(rng);
            double cx = std::cos(ax), sx = std::sin(ax), cy = std::cos(ay), sy = std::sin(ay);
            double cz = std::cos(az), sz = std::sin(az);
            Matrix r = zeroMatrix3();
            r[0][0] = cy * cz, r[0][1] = sx * sy * cz - cx * sz, r[0][2] = cx * sy * cz + sx * sz;
            r[1][0] = cy * sz, r[1][1] = sx * sy * sz + cx * cz, r[1][2] = cx * sy * sz - sx * cz;
            r[2][0] = -sy, r[2][1] = sx * cy, r[2][2] = cx * cy;
            b.rotations.push_back(r);
            b.translations.push_back(makeVector3(0.1 * u(rng), 0.1 * u(rng), 0.1 * u(rng)));
        }
    computeSmoothWeights(*c);
    selectCandidateBones(*c, 1, false);
    solveWeights(*c, 1);
    selectCandidateBones(*c, 4, true);
    context = c;
    return context;
}

void BM_SelectCandidateBones(benchmark::State& state)
{
    RiggingContext* c = horseContext();
    if (!c) {
        state.SkipWithError("horse-gallop data not found");
        return;
    }
    for (auto _ : state)
        selectCandidateBones(*c, 4, true);
    state.SetItemsProcessed(state.iterations() * int64_t(c->numVertices) * c->numFrames * c->numBones);
    state.SetLabel("items = point transformations");
}
BENCHMARK(BM_SelectCandidateBones)->Unit(benchmark::kMillisecond);

void BM_SolveWeights(benchmark::State& state)
{
    RiggingContext* c = horseContext();
    if (!c) {
        state.SkipWithError("horse-gallop data not found");
        return;
    }
    for (auto _ : state)
        solveWeights(*c, 4);
    state.SetItemsProcessed(state.iterations() * int64_t(c->numVertices));
    state.SetLabel("items = vertices");
}
BENCHMARK(BM_SolveWeights)->Unit(benchmark::kMillisecond);

} // namespace
