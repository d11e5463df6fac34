// Two linked bones over two frames, three vertices, every number finite.
#pragma once

#include "context/rigging_context.h"

inline RiggingContext twoBoneRig()
{
    RiggingContext c;
    c.numBones = c.numFrames = 2;
    c.numVertices = 3;
    c.skeleton.reset(2);
    c.skeleton.addJoint(0, 1);
    resizePointTable(c.jointTable, 2, 2);
    c.jointTable.set(0, 1, makeVector3(0.5, -1.0 / 3.0, 1e-20));
    c.jointTable.set(1, 0, makeVector3(0.5, -1.0 / 3.0, 1e-20));
    const Matrix identity = {makeVector3(1, 0, 0), makeVector3(0, 1, 0), makeVector3(0, 0, 1)};
    const Matrix turn = {makeVector3(0, -1, 0), makeVector3(1, 0, 0), makeVector3(0, 0, 1)};
    c.bones = {{{identity, identity}, {makeVector3(0, 0, 0), makeVector3(0, 0, 0)}},
               {{turn, turn}, {makeVector3(1e-5, 123456.5, -0.0), makeVector3(2.5, 1234567.0, 0.1)}}};
    c.weights = {Vector{1.0, 0.0}, Vector{0.75, 0.25}, Vector{0.0, 0.0}};
    return c;
}
