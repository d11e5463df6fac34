#include "run/driver.h"

#include <cmath>
#include <cstdio>

#include "init/lbg_vq.h"
#include "io/count_text.h"
#include "io/mesh_pieces.h"
#include "io/rig_file.h"
#include "parallel/stage_times.h"
#include "skeleton/bone_update.h"
#include "skeleton/joint_update.h"
#include "skeleton/pruning.h"
#include "skeleton/skeleton_extraction.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"

void computeBoundingBox(RiggingContext& context)
{
    double lo[3] = {1e100, 1e100, 1e100};
    double hi[3] = {-1e100, -1e100, -1e100};
    for (const Vector& p : context.restPose)
        for (int a = 0; a < 3; ++a) {
            if (p[a] < lo[a])
                lo[a] = p[a];
            if (p[a] > hi[a])
                hi[a] = p[a];
        }
    const double dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
    context.boxDiagonal = std::sqrt(dx * dx + dy * dy + dz * dz);
}

double computeFitError(const RiggingContext& context)
{
    double sum = 0.0;
    const std::size_t points = std::size_t(context.numFrames) * std::size_t(context.numVertices);
    if (context.residuals.rows >= context.numFrames && context.residuals.columns >= context.numVertices) {
        for (int f = 0; f < context.numFrames; ++f) {
            const double* r = context.residuals.point(f, 0);
            for (int v = 0; v < context.numVertices; ++v, r += 3)
                sum += r[0] * r[0] + r[1] * r[1] + r[2] * r[2];
        }
    } else if (context.residualNorms.size() == points) {
        // The same terms, kept by the bone update, in the same order.
        for (double norm : context.residualNorms)
            sum += norm;
    } else {
        throwSubscriptError();
    }
    return std::sqrt(sum / (double(context.numFrames) * double(context.numVertices)));
}

double computeJointError(const RiggingContext& context)
{
    if (context.skeleton.jointCount == 0)
        return 0.0;
    double sum = 0.0;
    for (int i = 0; i < context.numBones; ++i)
        for (int j = 0; j < i; ++j) {
            if (!context.skeleton.adjacency[i][j])
                continue;
            const double e = jointDisagreement(context, i, j, context.jointTable.get(i, j));
            sum += (1.0 / double(context.numFrames)) * e;
        }
    return std::sqrt(sum / double(context.skeleton.jointCount));
}

namespace {

// The rig at the start of a repetition, for following a run step by step.
void dumpRig(RiggingContext& context)
{
    char name[32];
    std::snprintf(name, sizeof(name), "Iter_%03d.rig.txt", context.repCounter);
    std::string error;
    if (!writeRig(context, name, error))
        *context.diagnostics << "Tolvan: warning: could not write " << name << ": " << error << "\n";
}

// Every bone update rebuilds the residuals (or their squared lengths), and
// they are read until the errors that follow it. A large table is freed in
// between, so that it and the weight passes' kept work are never held at
// once.
void releaseLargeResiduals(RiggingContext& context)
{
    if (context.residuals.values.size() * sizeof(double) >= context.largeTable)
        context.residuals = PointTable();
    context.residualNorms = std::vector<double>();
}

} // namespace

RepsResult runReps(RiggingContext& context, FitCache* kept, int k, int n, double lambda)
{
    std::ostream& out = *context.console;
    const bool verbose = context.debugLevel != 0;
    for (int r = 0; r < n; ++r) {
        if (context.debugLevel == 2)
            dumpRig(context);
        if (verbose) {
            context.repCounter += 1;
            out << "    Rep #" << r + 1 << "/" << context.repCounter << ": " << "W";
        }

        const double passes = double(context.numVertices) * context.weightItersPerVertex;
        for (long long i = 0; double(i) < passes; ++i) {
            if (verbose)
                out << ".";
            {
                StageTimer timer(context.stageTimes, Stage::CandidateBones);
                selectCandidateBones(context, k, true, kept);
            }
            StageTimer timer(context.stageTimes, Stage::WeightSolve);
            solveWeights(context, k, kept);
        }
        if (context.skeleton.jointCount > 0) {
            if (verbose)
                out << "J";
            StageTimer timer(context.stageTimes, Stage::JointUpdate);
            updateJoints(context, false);
        }
        if (verbose)
            out << "B";
        if (kept)
            releaseBoneWork(*kept);
        {
            StageTimer timer(context.stageTimes, Stage::BoneUpdate);
            updateBoneTransformations(context, lambda);
        }
        // The errors of this repetition, printed unless a bone is pruned (a
        // pruning that removes nothing leaves the residuals and bones as
        // they are): taken now, so that the residuals are not held while
        // the pruning chooses candidates anew.
        {
            StageTimer timer(context.stageTimes, Stage::Errors);
            context.fitError = computeFitError(context);
            context.jointError = lambda > 0 ? computeJointError(context) : 0.0;
        }
        releaseLargeResiduals(context);
        if (verbose)
            out << "P";
        bool pruned;
        {
            StageTimer timer(context.stageTimes, Stage::Pruning);
            pruned = pruneBones(context, kept);
        }
        if (pruned) {
            if (verbose)
                out << " | " << context.numBones << " bones remain\n";
            return context.numBones == 0 ? RepsResult::NoBoneLeft : RepsResult::BoneRemoved;
        }

        if (verbose) {
            out << " | " << context.numBones << " (bones) | Ef=";
            printPercent(out, context.fitError, context.boxDiagonal);
            out << "(%)";
            if (context.skeleton.jointCount > 0) {
                out << " Ej=";
                printPercent(out, context.jointError, context.boxDiagonal);
                out << "(%)";
            }
            out << "\n";
        }
        const double grown = context.lambdaRate * lambda;
        lambda = grown <= 10000 ? grown : 10000;
    }
    return RepsResult::Completed;
}

namespace {

// Names the mesh's pieces, so that a mesh split at its seams or written as
// separate triangles is seen for what it is.
std::string noBoneMessage(const RiggingContext& context)
{
    const MeshPieces pieces = countMeshPieces(context.neighbours);
    std::string text = "no bone could be fitted: " + countText(std::size_t(context.numVertices)) + " vertices in " +
                       countText(pieces.count) + (pieces.count == 1 ? " piece" : " pieces") + " of at most " +
                       countText(pieces.largest) +
                       "; every connected piece of the mesh that moves as one has fewer than 6 vertices or a degenerate motion";
    if (pieces.largest < 6)
        text += " (a mesh split at its seams or written as separate triangles joins up when its coinciding vertices are "
                "welded: tolvan-convert's importers do that)";
    return text;
}

// Repeats one-repetition calls until one removes no bone.
bool repeatUntilStable(RiggingContext& context, FitCache* kept, int k)
{
    for (;;) {
        RepsResult result = runReps(context, kept, k, 1, 0);
        if (result == RepsResult::Completed)
            return true;
        if (result == RepsResult::NoBoneLeft)
            return false;
    }
}

} // namespace

bool runDecomposition(RiggingContext& context, std::string& error, KeptWork keptWork)
{
    std::ostream& out = *context.console;
    computeBoundingBox(context);
    context.numFrames = context.sequence.rows;
    context.numVertices = context.sequence.rows > 0 ? context.sequence.columns : 0;
    // The rest pose and the sequence stay as they are from here on.
    tileSequence(context);

    LbgParams params;
    params.debugLevel = context.debugLevel;
    params.maxIterations = 30;
    params.maxClusters = context.maxInitClusters;
    params.convergenceTolerance = 1e-5;
    params.splitThreshold = 1e-4;
    params.console = context.console;
    params.tiles = context.sequenceTiles.empty() ? nullptr : context.sequenceTiles.data();
    params.pool = context.pool;
    bool haveBones;
    {
        StageTimer timer(context.stageTimes, Stage::Initialisation);
        haveBones = initLbgVq(context.restPose, context.neighbours, context.weights, context.maxSplit,
                              context.boxDiagonal, context.bones, context.sequence, params);
    }
    if (!haveBones) {
        if (context.numVertices < 6)
            error = "the mesh has " + std::to_string(context.numVertices) +
                    " vertices; at least 6 are needed to fit a bone";
        else
            error = noBoneMessage(context);
        return false;
    }

    {
        StageTimer timer(context.stageTimes, Stage::RigidityWeights);
        computeSmoothWeights(context);
    }
    // Work the weight passes keep while the bones stay unchanged.
    FitCache cache;
    FitCache* kept = keptWork == KeptWork::On ? &cache : nullptr;
    context.repCounter = 0;
    const std::string allPruned = "pruning removed every bone: no vertex group is significant enough to keep "
                                  "a bone (try a lower -SIG_WEIGHT or -PRUNE_SCALE)";
    for (;;) {
        context.numBones = int(context.bones.size());
        if (context.debugLevel != 0)
            out << "VELK without skeleton | " << context.numBones << " (bones)\n";
        context.skeleton.reset(context.numBones);
        resizePointTable(context.jointTable, context.numBones, context.numBones);
        for (double& x : context.jointTable.values)
            x = 0.0;
        {
            StageTimer timer(context.stageTimes, Stage::CandidateBones);
            selectCandidateBones(context, 1, false, kept);
        }

        // The non-zero limit grows from 1 to nnz, each step repeated until stable.
        for (int k = 1; k < context.nnz; ++k)
            if (!repeatUntilStable(context, kept, k)) {
                error = allPruned;
                return false;
            }
        if (!repeatUntilStable(context, kept, context.nnz)) {
            error = allPruned;
            return false;
        }
        context.fitErrorWithoutSkeleton = context.fitError;

        {
            StageTimer timer(context.stageTimes, Stage::Skeleton);
            extractSkeleton(context);
        }
        if (context.debugLevel != 0)
            out << "VELK with skeleton | " << context.numBones << " (bones)\n";
        RepsResult result = runReps(context, kept, context.nnz, context.rigIterations, 1);
        if (result == RepsResult::Completed)
            return true;
        if (result == RepsResult::NoBoneLeft) {
            error = allPruned;
            return false;
        }
    }
}

bool rigIsFinite(const RiggingContext& context, std::string& where)
{
    for (int i = 0; i < context.numBones; ++i)
        for (int j = 0; j < context.numBones; ++j)
            if (context.skeleton.adjacency[i][j]) {
                const double* c = context.jointTable.at(i, j);
                if (!std::isfinite(c[0]) || !std::isfinite(c[1]) || !std::isfinite(c[2])) {
                    where = "the joint between bones " + std::to_string(i) + " and " + std::to_string(j);
                    return false;
                }
            }
    for (int j = 0; j < context.numBones; ++j)
        for (int f = 0; f < context.numFrames; ++f) {
            const Matrix& r = context.bones[j].rotations[f];
            const Vector& t = context.bones[j].translations[f];
            for (int a = 0; a < 3; ++a) {
                bool ok = std::isfinite(t[a]);
                for (int b = 0; b < 3; ++b)
                    ok = ok && std::isfinite(r[a][b]);
                if (!ok) {
                    where = "the transformation of bone " + std::to_string(j) + " in frame " + std::to_string(f);
                    return false;
                }
            }
        }
    for (int v = 0; v < context.numVertices; ++v)
        for (double w : context.weights[v])
            if (!std::isfinite(w)) {
                where = "the weights of vertex " + std::to_string(v);
                return false;
            }
    return true;
}
