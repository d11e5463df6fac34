#include "context/rigging_context.h"

#include "linalg/vertex_tiles.h"

void tileSequence(RiggingContext& context)
{
    tileTrajectories(context.sequence, context.numFrames, context.numVertices, context.sequenceTiles);
    context.tiledFrom = context.sequence.values.data();
    context.tiledFrames = context.numFrames;
    context.tiledVertices = context.numVertices;
}

const double* tiledSequence(const RiggingContext& context, std::vector<double>& local)
{
    if (context.tiledFrom == context.sequence.values.data() && context.tiledFrames == context.numFrames &&
        context.tiledVertices == context.numVertices)
        return context.sequenceTiles.data();
    tileTrajectories(context.sequence, context.numFrames, context.numVertices, local);
    return local.data();
}

void printPercent(std::ostream& out, double value, double boxDiagonal)
{
    out << value / boxDiagonal * 100;
}
