// The meshes of the shared data folder loaded with the program's own readers,
// and the rig states the decomposition kernels are measured on.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>

#include "context/rigging_context.h"
#include "init/lbg_vq.h"
#include "io/neighbours.h"
#include "io/rest_pose_file.h"
#include "io/sequence_file.h"
#include "run/driver.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"

namespace bench {

// Path of a mesh's file, e.g. dataFile("horse-gallop", ".anim.txt").
inline std::string dataFile(const std::string& mesh, const std::string& suffix)
{
    return std::string(TOLVAN_SHARED_DIR) + "/data/" + mesh + "/" + mesh + suffix;
}

inline long long fileSize(const std::string& fileName)
{
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0 ? (long long)st.st_size : 0;
}

// The inputs of a default run: sequence, rest pose, neighbours, box diagonal.
// False (the benchmark skips) when the data folder does not hold the mesh.
inline bool loadMesh(const std::string& mesh, RiggingContext& context)
{
    Triangles triangles;
    std::string error;
    if (!readSequence(dataFile(mesh, ".anim.txt"), context.sequence, error) ||
        !readRestPose(dataFile(mesh, ".rest.obj"), context.restPose, triangles, error) ||
        context.restPose.size() != std::size_t(context.sequence.columns))
        return false;
    buildNeighbours(int(context.restPose.size()), triangles, context.neighbours);
    context.numFrames = context.sequence.rows;
    context.numVertices = context.sequence.columns;
    computeBoundingBox(context);
    tileSequence(context);
    return true;
}

// The driver's record for the initialisation, writing progress nowhere, with
// the run's tiled copy of the sequence.
inline LbgParams lbgParams(const RiggingContext& context, std::ostream& quiet)
{
    LbgParams params;
    params.tiles = context.sequenceTiles.empty() ? nullptr : context.sequenceTiles.data();
    params.debugLevel = 0;
    params.maxIterations = 30;
    params.maxClusters = context.maxInitClusters;
    params.convergenceTolerance = 1e-5;
    params.splitThreshold = 1e-4;
    params.console = &quiet;
    return params;
}

// lbgParams set up for assigning every vertex to one of `bones` (the
// context's bones after initialisation).
inline LbgParams assignmentParams(const RiggingContext& context, std::vector<Bone>& bones, std::ostream& quiet)
{
    LbgParams params = lbgParams(context, quiet);
    params.sequence = &context.sequence;
    params.restPose = &context.restPose;
    params.bones = &bones;
    params.numFrames = context.numFrames;
    params.numVertices = context.numVertices;
    params.clusterCount = int(bones.size());
    return params;
}

// The rig as the stage with four weights per vertex sees it: the
// initialisation, then one repetition for each limit 1 .. 4 (no skeleton),
// with the weight-pass work kept. Built once per mesh; null when the data is
// missing. A copy of it holds its own sequence: tileSequence on the copy
// gives it the tiled copy a run has.
inline const RiggingContext* decompositionState(const std::string& mesh)
{
    static std::string loaded;
    static std::unique_ptr<RiggingContext> state;
    if (state && loaded == mesh)
        return state.get();
    state.reset();
    loaded = mesh;
    auto context = std::make_unique<RiggingContext>();
    if (!loadMesh(mesh, *context))
        return nullptr;
    static std::ostream quiet(nullptr);
    context->console = &quiet;
    context->debugLevel = 0;
    LbgParams params = lbgParams(*context, quiet);
    if (!initLbgVq(context->restPose, context->neighbours, context->weights, context->maxSplit,
                   context->boxDiagonal, context->bones, context->sequence, params))
        return nullptr;
    context->numBones = int(context->bones.size());
    computeSmoothWeights(*context);
    FitCache cache;
    context->skeleton.reset(context->numBones);
    resizePointTable(context->jointTable, context->numBones, context->numBones);
    selectCandidateBones(*context, 1, false, &cache);
    for (int k = 1; k <= context->nnz; ++k)
        runReps(*context, &cache, k, 1, 0.0);
    context->numBones = int(context->bones.size());
    state = std::move(context);
    return state.get();
}

} // namespace bench
