// The RiOption keywords every renderer understands, as rows applied to the
// renderer's options (Renderer::option).
#pragma once
#include "ri/keyword_rows.h"

// The option rows.
RowTable option_rows();
