// The generated creature's optional soft motion (CreatureOptions::soft).
#pragma once

#include "example/creature.h"

// Adds the soft motion of amplitude options.soft, drawn from options.seed,
// to creature.frames (numFrames x numVertices x 3, skinned positions), with
// creature.rest as the rest pose.
void addSoftMotion(const CreatureOptions& options, Creature& creature);
