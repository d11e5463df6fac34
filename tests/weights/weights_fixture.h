// Small animated meshes with random bones for the weight tests.
#pragma once

#include <cmath>
#include <random>

#include "context/rigging_context.h"

namespace weights_fixture {

// A chain of vertices, each linked to the next two, moved by blends of three
// consecutive bones plus a little noise; weights and vertexBones hold the
// blend. The bones are random affine maps: nothing here needs rotations.
inline void makeMesh(RiggingContext& c, int numVertices, int numBones, int numFrames, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    c.numVertices = numVertices, c.numBones = numBones, c.numFrames = numFrames;
    c.bones.assign(numBones, Bone());
    for (Bone& b : c.bones)
        for (int f = 0; f < numFrames; ++f) {
            b.rotations.push_back({makeVector3(u(rng), u(rng), u(rng)), makeVector3(u(rng), u(rng), u(rng)),
                                   makeVector3(u(rng), u(rng), u(rng))});
            b.translations.push_back(makeVector3(u(rng), u(rng), u(rng)));
        }
    c.restPose.clear();
    c.neighbours.assign(numVertices, {});
    c.vertexBones.assign(numVertices, {});
    c.weights.clear();
    resizeMatrix(c.weights, numVertices, numBones);
    for (int v = 0; v < numVertices; ++v) {
        c.restPose.push_back(makeVector3(u(rng), u(rng), u(rng)));
        for (int d = 1; d <= 2 && v + d < numVertices; ++d) {
            c.neighbours[v].push_back(v + d);
            c.neighbours[v + d].push_back(v);
        }
        double a = u(rng) + 1, b = u(rng) + 1, total = 1 + a + b;
        c.vertexBones[v] = {v / 3 % numBones, (v / 3 + 1) % numBones, (v / 3 + 2) % numBones};
        c.weights[v][v / 3 % numBones] = 1 / total;
        c.weights[v][(v / 3 + 1) % numBones] = a / total;
        c.weights[v][(v / 3 + 2) % numBones] = b / total;
    }
    resizePointTable(c.sequence, numFrames, numVertices);
    for (int f = 0; f < numFrames; ++f)
        for (int v = 0; v < numVertices; ++v) {
            Vector x = makeVector3(0.01 * u(rng), 0.01 * u(rng), 0.01 * u(rng));
            for (int j = 0; j < numBones; ++j)
                x = addVector3(x, scaleVector3(c.weights[v][j], transformPoint(c.bones[j], f, c.restPose[v])));
            c.sequence.set(f, v, x);
        }
}

} // namespace weights_fixture
