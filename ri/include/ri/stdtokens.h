// The standard tokens: declared at start-up and kept in global variables that
// the whole program compares against (tokens compare by pointer identity).
#pragma once
#include "ri_common/ri.h"
#include "ri_common/standard_tokens.h"

namespace tok {
#define VELK_DECLARE_TOKEN(var, text, decl) extern RtToken var;
VELK_STANDARD_TOKENS(VELK_DECLARE_TOKEN)
#undef VELK_DECLARE_TOKEN
}

// Declares the standard tokens and fills the variables of tok (once per process).
void predeclare_tokens();
