// Removal of bones that govern too few vertices.
#pragma once

#include "context/rigging_context.h"
#include "weights/fit_cache.h"

// Prints " j+1:count" per bone (at every debug level). Returns true when
// bones were removed; survivors are renumbered densely and every vertex
// chooses its candidates again (keeping work in cache, when given).
bool pruneBones(RiggingContext& context, FitCache* cache);
