// The renderers' front end as a back end of the RI binding: its RI
// procedures keep the nesting, the stacks and the options and call the
// current Renderer. The ray tracer and the previewer share it; each says how
// RiBegin makes its renderer.
#pragma once
#include "binding/backend.h"

namespace ri_front {
#define VELK_RI_FRONT_DECLARE(R, N, P, A) R N P;
VELK_RI_PROCEDURES(VELK_RI_FRONT_DECLARE)
#undef VELK_RI_FRONT_DECLARE
} // namespace ri_front

// How RiBegin makes the current renderer; until one is set, RiBegin makes none.
void ri_front_set_begin(void (*begin)(RtToken name));

// Linking this (the ri library asks the linker for it) makes the front end the
// program's back end before main runs.
extern "C" const int velk_ri_front_end;
