// Pixel filters by name. The five filter functions themselves are declared
// with the RI procedures in ri_common/ri.h.
#pragma once
#include "ri_common/ri.h"

// The filter called name ("gaussian", "box", "triangle", "catmull-rom",
// "sinc"), or null for any other name (or a null name).
RtFilterFunc filter_by_name(const char *name);

// The name of one of the five standard filters, or null for any other function.
const char *filter_name(RtFilterFunc filter);
