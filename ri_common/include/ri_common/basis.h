// The five standard patch bases (RiBezierBasis and its kin, declared in ri_common/ri.h).
#pragma once
#include "ri_common/ri.h"

// True when m is one of the five standard basis matrices (by address).
bool is_builtin_basis(const float *m);
