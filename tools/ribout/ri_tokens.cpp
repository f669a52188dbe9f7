// The C binding's token variables: the writer writes them by their text.
#include "ri/ri.h"

extern "C" {
#define VELK_DEFINE_RI_TOKEN(var, text) RtToken var = text;
VELK_RI_TOKENS(VELK_DEFINE_RI_TOKEN)
#undef VELK_DEFINE_RI_TOKEN
}
