// Small hand-built rigs for the bone, joint and pruning tests: rest pose,
// weights, bone tracks and a sequence blended from a known rig.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "run/rigging_context.h"

namespace rigtest {

// Rotation by angle about the unit axis (ax, ay, az).
inline Matrix rotation(double ax, double ay, double az, double angle)
{
    const double n = std::sqrt(ax * ax + ay * ay + az * az);
    ax /= n;
    ay /= n;
    az /= n;
    const double c = std::cos(angle), s = std::sin(angle), k = 1.0 - c;
    Matrix r = zeroMatrix3();
    r[0][0] = c + ax * ax * k;
    r[0][1] = ax * ay * k - az * s;
    r[0][2] = ax * az * k + ay * s;
    r[1][0] = ay * ax * k + az * s;
    r[1][1] = c + ay * ay * k;
    r[1][2] = ay * az * k - ax * s;
    r[2][0] = az * ax * k - ay * s;
    r[2][1] = az * ay * k + ax * s;
    r[2][2] = c + az * az * k;
    return r;
}

// A bone that turns about axis by spin·f and shifts by shift·f in frame f.
inline Bone movingBone(int frames, const Vector& axis, double spin, const Vector& shift)
{
    Bone b;
    for (int f = 0; f < frames; ++f) {
        b.rotations.push_back(rotation(axis[0], axis[1], axis[2], spin * f));
        b.translations.push_back(scaleVector3(double(f), shift));
    }
    return b;
}

inline Bone identityBone(int frames)
{
    return movingBone(frames, makeVector3(0, 0, 1), 0.0, makeVector3(0, 0, 0));
}

// A context with the given rest pose and bones and a zero weight matrix.
inline void setUp(RiggingContext& context, const Matrix& rest, const std::vector<Bone>& bones, int frames)
{
    context.restPose = rest;
    context.bones = bones;
    context.numVertices = int(rest.size());
    context.numBones = int(bones.size());
    context.numFrames = frames;
    context.weights.clear();
    resizeMatrix(context.weights, rest.size(), bones.size());
    context.skeleton.reset(context.numBones);
    resizePointTable(context.jointTable, context.numBones, context.numBones);
}

// Candidates = the bones with a non-zero weight, ascending; boneVertices is the transpose.
inline void candidatesFromWeights(RiggingContext& context)
{
    context.vertexBones.assign(context.numVertices, {});
    context.boneVertices.assign(context.numBones, {});
    for (int v = 0; v < context.numVertices; ++v)
        for (int k = 0; k < context.numBones; ++k)
            if (context.weights[v][k] != 0.0) {
                context.vertexBones[v].push_back(k);
                context.boneVertices[k].push_back(v);
            }
}

// x_fv = Σ_k w_vk·(R_kf·p_v + t_kf) over all bones of the given rig.
inline void blendSequence(RiggingContext& context, const std::vector<Bone>& truth)
{
    resizePointTable(context.sequence, context.numFrames, context.numVertices);
    for (int f = 0; f < context.numFrames; ++f)
        for (int v = 0; v < context.numVertices; ++v) {
            Vector s = makeVector3(0, 0, 0);
            for (std::size_t k = 0; k < truth.size(); ++k)
                s = addVector3(s, scaleVector3(context.weights[v][k], transformPoint(truth[k], f, context.restPose[v])));
            context.sequence.set(f, v, s);
        }
}

// Rest positions spread over a box around centre, not coplanar.
inline void addCloud(Matrix& rest, const Vector& centre, int count)
{
    for (int i = 0; i < count; ++i)
        rest.push_back(makeVector3(centre[0] + 0.3 * std::sin(1.7 * i + 0.2), centre[1] + 0.4 * std::cos(2.3 * i),
                                   centre[2] + 0.25 * std::sin(0.9 * i * i + 1.0)));
}

inline double maxDifference(const Matrix& a, const Matrix& b)
{
    double d = 0.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            d = std::max(d, std::fabs(a[r][c] - b[r][c]));
    return d;
}

inline double maxDifference(const Vector& a, const Vector& b)
{
    return std::max(std::fabs(a[0] - b[0]), std::max(std::fabs(a[1] - b[1]), std::fabs(a[2] - b[2])));
}

} // namespace rigtest
