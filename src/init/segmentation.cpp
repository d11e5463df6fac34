#include "init/segmentation.h"

#include "init/bone_fit.h"

void segmentClusters(LbgParams& params)
{
    std::ostream& out = *params.console;
    if (params.debugLevel != 0)
        out << "Segmentation... ";

    const int numVertices = params.numVertices;
    const std::vector<std::vector<int>>& neighbours = *params.neighbours;
    std::vector<int> label(numVertices, 0); // vertices in no cluster share label 0
    for (std::size_t k = 0; k < params.clusters.size(); ++k)
        for (int v : params.clusters[k])
            label[v] = int(k);
    std::vector<bool> visited(numVertices, false);
    std::vector<int> segment(numVertices, -1);

    params.clusterCount = 0;
    std::vector<Bone>& bones = *params.bones;
    bones.clear();

    std::vector<int> piece;
    piece.reserve(numVertices);
    Bone working;
    for (int s = 0; s < numVertices; ++s) {
        if (visited[s])
            continue;
        // Breadth-first over the mesh, never leaving the start vertex's cluster.
        piece.clear();
        piece.push_back(s);
        visited[s] = true;
        for (std::size_t read = 0; read < piece.size(); ++read) {
            int u = piece[read];
            for (int w : neighbours.at(u)) {
                if (label.at(w) == label[u] && !visited[w]) {
                    piece.push_back(w);
                    visited[w] = true;
                }
            }
        }
        // A piece that cannot carry a bone keeps its vertices visited and unweighted.
        if (fitBoneToGroup(params, working, piece)) {
            for (int v : piece)
                segment[v] = params.clusterCount;
            bones.push_back(working);
            params.clusterCount += 1;
        }
    }

    Matrix& weights = *params.weights;
    resizeMatrix(weights, numVertices, params.clusterCount);
    for (int v = 0; v < numVertices; ++v) {
        for (double& w : weights[v])
            w = 0.0;
        if (segment[v] != -1)
            weights[v][segment[v]] = 1.0;
    }

    if (params.debugLevel != 0)
        out << "Done | " << params.clusterCount << " (bones)\n";
}
