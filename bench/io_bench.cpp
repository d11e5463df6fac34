#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <sys/stat.h>

#include "io/rest_pose_file.h"
#include "io/rig_file.h"
#include "io/sequence_file.h"

namespace {

const std::string kHorse = std::string(TOLVAN_SHARED_DIR) + "/data/horse-gallop/horse-gallop";

long long fileSize(const std::string& fileName)
{
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0 ? (long long)st.st_size : 0;
}

// A rig of the horse's size: 30 bones, 48 frames, 8431 vertices, with the
// given number of non-zero weights per vertex.
RiggingContext syntheticRig(int weightsPerVertex)
{
    const int numBones = 30;
    const int numFrames = 48;
    const int numVertices = 8431;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    RiggingContext c;
    c.numBones = numBones;
    c.numFrames = numFrames;
    c.numVertices = numVertices;
    c.skeleton.reset(numBones);
    resizePointTable(c.jointTable, numBones, numBones);
    for (int j = 1; j < numBones; ++j) {
        c.skeleton.addJoint(j, j - 1);
        c.jointTable.set(j, j - 1, makeVector3(unit(random), unit(random), unit(random)));
        c.jointTable.set(j - 1, j, c.jointTable.get(j, j - 1));
    }
    c.bones.resize(numBones);
    for (Bone& bone : c.bones)
        for (int f = 0; f < numFrames; ++f) {
            Matrix r = zeroMatrix3();
            for (int a = 0; a < 3; ++a)
                for (int b = 0; b < 3; ++b)
                    r[a][b] = unit(random);
            bone.rotations.push_back(r);
            bone.translations.push_back(makeVector3(unit(random), unit(random), unit(random)));
        }
    resizeMatrix(c.weights, numVertices, numBones);
    for (int v = 0; v < numVertices; ++v)
        for (int k = 0; k < weightsPerVertex; ++k)
            c.weights[v][(v + 7 * k) % numBones] = 0.5 + 0.5 * unit(random);
    return c;
}

} // namespace

static void BM_ReadSequenceHorse(benchmark::State& state)
{
    std::string fileName = kHorse + ".anim.txt";
    PointTable sequence;
    std::string error;
    for (auto _ : state)
        if (!readSequence(fileName, sequence, error))
            state.SkipWithError(error.c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * fileSize(fileName));
}
BENCHMARK(BM_ReadSequenceHorse)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_ReadRestPoseHorse(benchmark::State& state)
{
    std::string fileName = kHorse + ".rest.obj";
    Matrix restPose;
    Triangles triangles;
    std::string error;
    for (auto _ : state)
        if (!readRestPose(fileName, restPose, triangles, error))
            state.SkipWithError(error.c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * fileSize(fileName));
}
BENCHMARK(BM_ReadRestPoseHorse)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: non-zero weights per vertex (4 is typical, 30 makes every weight non-zero).
static void BM_WriteRig(benchmark::State& state)
{
    RiggingContext rig = syntheticRig(int(state.range(0)));
    std::string fileName = "/tmp/tolvan-io-bench.rig.txt";
    std::string error;
    for (auto _ : state)
        if (!writeRig(rig, fileName, error))
            state.SkipWithError(error.c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * fileSize(fileName));
    std::remove(fileName.c_str());
}
BENCHMARK(BM_WriteRig)->Arg(4)->Arg(30)->Unit(benchmark::kMillisecond)->UseRealTime();
