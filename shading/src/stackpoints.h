// Points, vectors, normals and colours as whole values on the value stack.
#pragma once
#include "ri_common/vecmath.h"
#include "shading_shaderfile/slstack.h"

inline Point pop_point()
{
    Point p;
    slstack.pop_triple(p.data());
    return p;
}

inline void push_point(const Point &p)
{
    slstack.push_triple(p.data());
}
