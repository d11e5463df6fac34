#include "skeleton/bone_update.h"

#include "parallel/parallel_for.h"

#include "skeleton/bone_frame_fit.h"
#include "skeleton/residual_blend.h"

namespace {

// Squared lengths of a frame's residuals (numVertices points at row).
void keepNorms(const double* row, int numVertices, double* norms)
{
    for (int v = 0; v < numVertices; ++v, row += 3)
        norms[v] = row[0] * row[0] + row[1] * row[1] + row[2] * row[2];
}

void requireAtLeast(std::size_t size, std::size_t needed)
{
    if (size < needed)
        throwSubscriptError();
}

// The containers every routine here reads, checked once per call.
void checkShapes(const RiggingContext& context)
{
    if (context.numBones < 0 || context.numVertices < 0 || context.numFrames < 0)
        throwSubscriptError();
    requireAtLeast(context.bones.size(), std::size_t(context.numBones));
    requireAtLeast(context.boneVertices.size(), std::size_t(context.numBones));
    requireAtLeast(context.vertexBones.size(), std::size_t(context.numVertices));
    requireAtLeast(rowCount(context.restPose), std::size_t(context.numVertices));
    requireAtLeast(rowCount(context.weights), std::size_t(context.numVertices));
}

} // namespace

void computeResiduals(RiggingContext& context)
{
    checkShapes(context);
    ResidualBlend blend;
    prepareBlend(context, blend);
    resizePointTable(context.residuals, context.numFrames, context.numVertices);
    context.residualNorms.clear();
    for (int f = 0; f < context.numFrames; ++f)
        residualRow(context, blend, f, context.residuals.point(f, 0));
}

void updateBoneTransformations(RiggingContext& context, double lambda)
{
    checkShapes(context);
    // The residuals of the whole blend, a row at a time right before the
    // frame's fits (the values computeResiduals gives).
    ResidualBlend blend;
    prepareBlend(context, blend);
    const int numFrames = context.numFrames, numBones = context.numBones;
    // Unused (and not finite) with a single bone: it has no joints.
    const double h = lambda * double(context.numVertices) / double(numBones - 1);
    BoneRuns runs;
    gatherRuns(context, h, runs);

    // A frame's fits read and write nothing of the other frames: the residual
    // row, the transformations and the joint targets of frame f. So the frames
    // are taken one at a time with every bone in order inside, which keeps the
    // row in cache and gives each bone exactly what it sees bone by bone; and
    // the threads share the frames out.
    const std::size_t threads = std::size_t(loopThreads(context.pool, numFrames));
    std::vector<std::vector<double>> jointTargets(threads, std::vector<double>(3 * std::size_t(numBones > 0 ? numBones : 0)));
    const std::size_t numVertices = std::size_t(context.numVertices), points = std::size_t(numFrames) * numVertices;
    if (points * 3 * sizeof(double) < context.largeTable) {
        resizePointTable(context.residuals, numFrames, context.numVertices);
        context.residualNorms.clear();
        parallelFor(context.pool, numFrames, [&](int f, int t) {
            fitFrame(context, blend, runs, jointTargets[std::size_t(t)].data(), f, h, context.residuals.point(f, 0));
        });
        return;
    }
    // Large: a row per thread, and of every frame only its squared lengths.
    context.residuals = PointTable();
    context.residualNorms.resize(points);
    std::vector<std::vector<double>> rows(threads, std::vector<double>(3 * numVertices));
    parallelFor(context.pool, numFrames, [&](int f, int t) {
        double* row = rows[std::size_t(t)].data();
        fitFrame(context, blend, runs, jointTargets[std::size_t(t)].data(), f, h, row);
        keepNorms(row, context.numVertices, context.residualNorms.data() + std::size_t(f) * numVertices);
    });
}
