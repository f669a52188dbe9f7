// The standard tokens of the C binding. They hold their text; a renderer
// interns them when it starts, so that they compare by identity with its own.
#include "ri_common/ri.h"

extern "C" {
#define VELK_DEFINE_RI_TOKEN(var, text) RtToken var = text;
VELK_RI_TOKENS(VELK_DEFINE_RI_TOKEN)
#undef VELK_DEFINE_RI_TOKEN
}
