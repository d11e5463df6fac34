// Removal of bones that govern too few vertices.
#pragma once

#include "run/rigging_context.h"

// Prints " j+1:count" per bone (at every debug level). Returns true when
// bones were removed; survivors are renumbered densely.
bool pruneBones(RiggingContext& context);
