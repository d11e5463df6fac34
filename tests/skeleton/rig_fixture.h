// Small hand-built rigs for the bone, joint and pruning tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "context/rigging_context.h"

namespace rigtest {

// Rotation by angle about the axis (x, y, z).
inline Matrix rotation(double x, double y, double z, double angle)
{
    const double n = std::sqrt(x * x + y * y + z * z), c = std::cos(angle), s = std::sin(angle), k = 1.0 - c;
    x /= n, y /= n, z /= n;
    return {makeVector3(c + x * x * k, x * y * k - z * s, x * z * k + y * s),
            makeVector3(y * x * k + z * s, c + y * y * k, y * z * k - x * s),
            makeVector3(z * x * k - y * s, z * y * k + x * s, c + z * z * k)};
}

// Turns about axis by spin·f and shifts by shift·f in frame f.
inline Bone movingBone(int frames, const Vector& axis, double spin, const Vector& shift)
{
    Bone b;
    for (int f = 0; f < frames; ++f) {
        b.rotations.push_back(rotation(axis[0], axis[1], axis[2], spin * f));
        b.translations.push_back(scaleVector3(double(f), shift));
    }
    return b;
}

inline Bone identityBone(int frames) { return movingBone(frames, makeVector3(0, 0, 1), 0.0, makeVector3(0, 0, 0)); }

// Bone j governs counts[j] vertices at weight 1, rest positions spread (not
// coplanar) around (j, 0, 0); no joints, empty neighbourhoods.
inline void cloudRig(RiggingContext& context, const std::vector<Bone>& bones, const std::vector<int>& counts)
{
    context.restPose.clear();
    for (std::size_t j = 0; j < counts.size(); ++j)
        for (int i = 0; i < counts[j]; ++i)
            context.restPose.push_back(makeVector3(double(j) + 0.3 * std::sin(1.7 * i + 0.2), 0.4 * std::cos(2.3 * i),
                                                   0.25 * std::sin(0.9 * i * i + 1.0)));
    const std::size_t n = context.restPose.size();
    context.bones = bones;
    context.numVertices = int(n);
    context.numBones = int(bones.size());
    context.numFrames = int(bones[0].rotations.size());
    context.weights.clear();
    resizeMatrix(context.weights, n, bones.size());
    context.skeleton.reset(context.numBones);
    resizePointTable(context.jointTable, context.numBones, context.numBones);
    context.neighbours.assign(n, {});
    context.smoothWeights.assign(n, {});
    for (std::size_t j = 0, v = 0; j < counts.size(); ++j)
        for (int i = 0; i < counts[j]; ++i)
            context.weights[v++][j] = 1.0;
}

// Candidates = the bones with a non-zero weight; then x_fv = Σ_k w_vk·(R_kf·p_v + t_kf) over truth.
inline void candidatesAndSequence(RiggingContext& context, const std::vector<Bone>& truth)
{
    context.vertexBones.assign(context.numVertices, {});
    context.boneVertices.assign(context.numBones, {});
    resizePointTable(context.sequence, context.numFrames, context.numVertices);
    for (int v = 0; v < context.numVertices; ++v) {
        for (int k = 0; k < context.numBones; ++k)
            if (context.weights[v][k] != 0.0) {
                context.vertexBones[v].push_back(k);
                context.boneVertices[k].push_back(v);
            }
        for (int f = 0; f < context.numFrames; ++f) {
            Vector s = makeVector3(0, 0, 0);
            for (std::size_t k = 0; k < truth.size(); ++k)
                s = addVector3(s, scaleVector3(context.weights[v][k], transformPoint(truth[k], f, context.restPose[v])));
            context.sequence.set(f, v, s);
        }
    }
}

// The larger of d and e; NaN stays NaN, so that no comparison with it passes.
inline double worse(double d, double e) { return d == d && (e > d || e != e) ? e : d; }

inline double maxDifference(const Vector& a, const Vector& b)
{
    return worse(worse(std::fabs(a[0] - b[0]), std::fabs(a[1] - b[1])), std::fabs(a[2] - b[2]));
}

inline double maxDifference(const Matrix& a, const Matrix& b)
{
    return worse(worse(maxDifference(a[0], b[0]), maxDifference(a[1], b[1])), maxDifference(a[2], b[2]));
}

// Largest difference between two tracks over every frame.
inline double maxDifference(const Bone& a, const Bone& b)
{
    double d = 0.0;
    for (std::size_t f = 0; f < a.rotations.size(); ++f)
        d = worse(worse(d, maxDifference(a.rotations[f], b.rotations[f])), maxDifference(a.translations[f], b.translations[f]));
    return d;
}

} // namespace rigtest
