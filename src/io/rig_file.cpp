#include "io/rig_file.h"

#include "io/atomic_file.h"
#include "io/rig_text.h"
#include "linalg/dense.h"

namespace {

// Each linked pair once, at the position the table holds for it.
void collectJoints(const RiggingContext& c, RigData& rig)
{
    const std::vector<std::vector<bool>>& adjacency = c.skeleton.adjacency;
    for (int i = 0; i < c.numBones; ++i) {
        if (std::size_t(i) >= adjacency.size() || adjacency[i].size() < std::size_t(c.numBones))
            throwSubscriptError();
        for (int j = i + 1; j < c.numBones; ++j) {
            if (!adjacency[i][j])
                continue;
            const double* position = c.jointTable.at(i, j);
            rig.joints.push_back(RigJoint{i, j, {position[0], position[1], position[2]}});
        }
    }
}

void collectTransforms(const RiggingContext& c, RigData& rig)
{
    if (c.numFrames > 0 && c.bones.size() < std::size_t(c.numBones))
        throwSubscriptError();
    rig.transforms.resize(std::size_t(c.numFrames) * std::size_t(c.numBones) * 12);
    for (int f = 0; f < c.numFrames; ++f) {
        for (int j = 0; j < c.numBones; ++j) {
            const Bone& bone = c.bones[j];
            if (bone.rotations.size() <= std::size_t(f) || bone.translations.size() <= std::size_t(f))
                throwSubscriptError();
            double* m = rig.transforms.data() + (std::size_t(f) * c.numBones + j) * 12;
            for (int r = 0; r < 3; ++r) {
                const Vector& row = bone.rotations[f][r];
                m[r * 3 + 0] = row[0];
                m[r * 3 + 1] = row[1];
                m[r * 3 + 2] = row[2];
                m[9 + r] = bone.translations[f][r];
            }
        }
    }
}

void collectWeights(const RiggingContext& c, RigData& rig)
{
    rig.weights.resize(std::size_t(c.numVertices));
    for (int v = 0; v < c.numVertices && c.numBones > 0; ++v) {
        const Vector& row = c.weights[v];
        if (row.size() < std::size_t(c.numBones))
            throwSubscriptError();
        for (int j = 0; j < c.numBones; ++j)
            if (row[j] != 0.0)
                rig.weights[std::size_t(v)].push_back({j, row[j]});
    }
}

} // namespace

bool writeRig(const RiggingContext& context, const std::string& fileName, std::string& error)
{
    RigData rig;
    rig.numBones = context.numBones;
    rig.numFrames = context.numFrames;
    rig.numVertices = context.numVertices;
    collectJoints(context, rig);
    collectTransforms(context, rig);
    collectWeights(context, rig);
    const std::string text = formatRig(rig, 6, "Skeletal rig: joints, bone transformations, skinning weights");
    return writeFileAtomically(fileName, text, error);
}
