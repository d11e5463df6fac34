// Which bones a restricted candidate choice may give a vertex: the bones in
// contact with the vertex's dominant bone somewhere on the mesh (dominant on
// the two ends of one edge), and the dominant bone itself.
#pragma once

#include <cstdint>
#include <vector>

#include "context/rigging_context.h"
#include "weights/prior_tables.h"

struct BoneContact {
    int words = 0;                      // 64-bit words per set of bones
    std::vector<int> dominantBone;      // per vertex
    std::vector<std::uint64_t> bits;    // numBones rows of words: bone j is bit j % 64 of word j / 64

    const std::uint64_t* row(int bone) const { return bits.data() + std::size_t(bone) * words; }
};

// The bone with the largest current weight in each vertex's list as it is on
// entry (the first of equal weights; bone 0 for an empty list), and the sets
// of bones in contact. The lists and weights come from tables when they are
// kept from the last pass, the neighbours from neighbourRuns when they are
// built; otherwise from the context.
void buildBoneContact(const RiggingContext& context, const PriorTables* tables, const PriorTables* neighbourRuns,
                      BoneContact& contact);
