// Level of detail: the raster area of the bound RiDetail gives chooses,
// through each model's RiDetailRange, the one model of a set that is drawn.
#pragma once
#include "ri_common/ri.h"

class GState;
class Renderer;

// The raster area of a bound given in the current space, as the world's
// camera sees it; infinite when it cannot be told (outside the world, or a
// bound that reaches the eye's plane).
float raster_detail(Renderer &r, const RtBound bound);

// Whether a model of the range (minimum visible, lower transition, upper
// transition, maximum visible) is drawn at a detail. The cut lies in the
// middle of each transition, so that of models whose ranges meet there
// exactly one is drawn; an infinite detail takes the model whose range is
// open above.
bool detail_in_range(const float range[4], float detail);

// Whether the attributes' detail range leaves their primitives out.
bool detail_culls(const GState &g);
