// The neighbours' side of the smoothed weight prior in a compact form for the
// weight passes, which ask for every vertex's prior in turn.
#pragma once

#include <vector>

struct PriorTables {
    bool usable = false; // the weights have the shape the prior needs
    bool kept = false;   // kept work: as the last restricted pass left them, for the next one
    int width = 0;       // entries per vertex
    // Per vertex its candidate list with its current weights on it, in list
    // order ([vertex][width]).
    std::vector<int> count;
    std::vector<int> bone;
    std::vector<double> weight;
    // Per vertex: its weight row is +0.0 outside the entry (as solveWeights
    // leaves it), so a new list's weights can be taken from the entry alone.
    std::vector<unsigned char> exact;
    // The neighbour lists with their rigidity weights, one run per vertex.
    std::vector<int> neighbourStart; // numVertices + 1, empty until built
    std::vector<int> neighbour;
    std::vector<double> rigidity;
};
