// Small animated meshes with known bones for the weight tests.
#pragma once

#include <cmath>
#include <random>

#include "run/rigging_context.h"

namespace weights_fixture {

// Rotation from a unit quaternion built from four random numbers.
inline Matrix randomRotation(std::mt19937& rng)
{
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    double w = u(rng), x = u(rng), y = u(rng), z = u(rng);
    double n = std::sqrt(w * w + x * x + y * y + z * z);
    w /= n, x /= n, y /= n, z /= n;
    Matrix r = zeroMatrix3();
    r[0][0] = 1 - 2 * (y * y + z * z), r[0][1] = 2 * (x * y - w * z), r[0][2] = 2 * (x * z + w * y);
    r[1][0] = 2 * (x * y + w * z), r[1][1] = 1 - 2 * (x * x + z * z), r[1][2] = 2 * (y * z - w * x);
    r[2][0] = 2 * (x * z - w * y), r[2][1] = 2 * (y * z + w * x), r[2][2] = 1 - 2 * (x * x + y * y);
    return r;
}

inline Bone randomBone(std::mt19937& rng, int numFrames)
{
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Bone b;
    for (int f = 0; f < numFrames; ++f) {
        b.rotations.push_back(randomRotation(rng));
        b.translations.push_back(makeVector3(u(rng), u(rng), u(rng)));
    }
    return b;
}

// A chain of vertices (each linked to the next and the one after) with random
// rest positions, random bones, and a sequence blended from random weights
// over up to three bones plus a little noise. weights holds the blend weights.
inline void makeMesh(RiggingContext& c, int numVertices, int numBones, int numFrames, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0), pos(0.0, 1.0);
    c.numVertices = numVertices, c.numBones = numBones, c.numFrames = numFrames;
    c.bones.clear();
    for (int j = 0; j < numBones; ++j)
        c.bones.push_back(randomBone(rng, numFrames));
    c.restPose.clear();
    for (int v = 0; v < numVertices; ++v)
        c.restPose.push_back(makeVector3(u(rng), u(rng), u(rng)));
    c.neighbours.assign(numVertices, {});
    for (int v = 0; v < numVertices; ++v)
        for (int d = 1; d <= 2; ++d)
            if (v + d < numVertices) {
                c.neighbours[v].push_back(v + d);
                c.neighbours[v + d].push_back(v);
            }
    c.weights.clear();
    resizeMatrix(c.weights, numVertices, numBones);
    for (int v = 0; v < numVertices; ++v) {
        double a = pos(rng), b = pos(rng), total = 1.0 + a + b;
        c.weights[v][(v / 3) % numBones] += 1.0 / total;
        c.weights[v][(v / 3 + 1) % numBones] += a / total;
        c.weights[v][(v / 3 + 2) % numBones] += b / total;
    }
    resizePointTable(c.sequence, 0, 0);
    resizePointTable(c.sequence, numFrames, numVertices);
    for (int f = 0; f < numFrames; ++f)
        for (int v = 0; v < numVertices; ++v) {
            Vector x = makeVector3(0.01 * u(rng), 0.01 * u(rng), 0.01 * u(rng));
            for (int j = 0; j < numBones; ++j)
                x = addVector3(x, scaleVector3(c.weights[v][j], transformPoint(c.bones[j], f, c.restPose[v])));
            c.sequence.set(f, v, x);
        }
    c.vertexBones.assign(numVertices, {});
    for (int v = 0; v < numVertices; ++v)
        for (int j = 0; j < numBones; ++j)
            if (c.weights[v][j] > 0)
                c.vertexBones[v].push_back(j);
}

} // namespace weights_fixture
