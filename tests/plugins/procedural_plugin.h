// What the test procedural library's parts share.
#pragma once
#include "ri_common/ri.h"

// The blind data: the sphere's radius.
struct Blind {
    float radius;
};

// Calls of ConvertParameters, Subdivide and Free.
extern "C" int velk_test_proc_calls[3];
