// The RiAttribute keywords every renderer understands, as rows applied to the
// current attribute state (Renderer::attribute). The rows that shading queries
// see answer "name:token" from a GState.
#pragma once
#include "ri/keyword_rows.h"

// The attribute rows.
RowTable attribute_rows();
