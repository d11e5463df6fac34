#include "formats/joint_tree.h"

#include "formats/joint_frames.h"

#include <algorithm>
#include <numeric>

void buildJointTree(const RigData& rig, const std::vector<double>& restPositions, JointTree& tree)
{
    const int nB = rig.numBones;
    tree = JointTree();
    tree.parent.assign(std::size_t(nB), -1);
    tree.head.assign(std::size_t(nB) * 3, 0.0);
    std::vector<double>& total = tree.weight;
    std::vector<double>& centre = tree.centre;
    total.assign(std::size_t(nB), 0.0);
    centre.assign(std::size_t(nB) * 3, 0.0);
    for (int v = 0; v < rig.numVertices; ++v)
        for (const RigInfluence& in : rig.weights[std::size_t(v)]) {
            total[std::size_t(in.bone)] += in.weight;
            for (int k = 0; k < 3; ++k)
                centre[std::size_t(in.bone) * 3 + std::size_t(k)] += in.weight * restPositions[std::size_t(v) * 3 + std::size_t(k)];
        }
    double all[3] = {0.0, 0.0, 0.0};
    for (int v = 0; v < rig.numVertices; ++v)
        for (int k = 0; k < 3; ++k)
            all[k] += restPositions[std::size_t(v) * 3 + std::size_t(k)];
    for (int j = 0; j < nB; ++j)
        for (int k = 0; k < 3; ++k) {
            double& c = centre[std::size_t(j) * 3 + std::size_t(k)];
            c = total[std::size_t(j)] > 0.0 ? c / total[std::size_t(j)] : rig.numVertices > 0 ? all[k] / rig.numVertices : 0.0;
        }
    // Links per bone in ascending order of the other bone, with the joint.
    std::vector<std::vector<std::pair<int, const RigJoint*>>> links(static_cast<std::size_t>(nB));
    for (const RigJoint& j : rig.joints) {
        links[std::size_t(j.a)].push_back({j.b, &j});
        links[std::size_t(j.b)].push_back({j.a, &j});
    }
    for (auto& l : links)
        std::sort(l.begin(), l.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<int> byWeight(static_cast<std::size_t>(nB));
    std::iota(byWeight.begin(), byWeight.end(), 0);
    std::stable_sort(byWeight.begin(), byWeight.end(), [&](int a, int b) { return total[std::size_t(a)] > total[std::size_t(b)]; });
    std::vector<bool> placed(std::size_t(nB), false);
    int treeEdges = 0;
    for (int root : byWeight) {
        if (placed[std::size_t(root)])
            continue;
        placed[std::size_t(root)] = true;
        tree.roots.push_back(root);
        std::copy(centre.begin() + long(root) * 3, centre.begin() + long(root) * 3 + 3, tree.head.begin() + long(root) * 3);
        // Breadth first, so that every bone comes after its parent.
        std::size_t first = tree.order.size();
        tree.order.push_back(root);
        for (std::size_t i = first; i < tree.order.size(); ++i) {
            int bone = tree.order[i];
            for (const auto& [other, joint] : links[std::size_t(bone)]) {
                if (placed[std::size_t(other)])
                    continue;
                placed[std::size_t(other)] = true;
                tree.parent[std::size_t(other)] = bone;
                std::copy(joint->position, joint->position + 3, tree.head.begin() + long(other) * 3);
                tree.order.push_back(other);
                ++treeEdges;
            }
        }
    }
    tree.ignoredLinks = int(rig.joints.size()) - treeEdges;
    orientJoints(rig, restPositions, tree);
}
