#include "context/skeleton_graph.h"

#include "linalg/dense.h"

void SkeletonGraph::reset(int n)
{
    if (n < 0)
        n = 0;
    adjacency.assign(n, std::vector<bool>(n, false));
    component.resize(n);
    for (int i = 0; i < n; ++i)
        component[i] = i;
    jointCount = 0;
}

void SkeletonGraph::addJoint(int a, int b)
{
    int n = int(component.size());
    if (a < 0 || b < 0 || a >= n || b >= n)
        throwSubscriptError();
    if (component[a] == component[b])
        return;
    adjacency[a][b] = true;
    adjacency[b][a] = true;
    ++jointCount;
    int old = component[a];
    int label = component[b];
    for (int i = 0; i < n; ++i)
        if (component[i] == old)
            component[i] = label;
}

bool isLinked(const SkeletonGraph& skeleton, int a, int b)
{
    if (a == b || a < 0 || std::size_t(a) >= skeleton.adjacency.size())
        return false;
    const std::vector<bool>& row = skeleton.adjacency[a];
    return b >= 0 && std::size_t(b) < row.size() && row[b];
}
