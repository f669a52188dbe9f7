// A procedural plug-in for the previewer tests: its argument string is a
// colour, and it makes a square of that colour over the unit square at depth 1.
#include <cstdio>
#include <cstdlib>

#include "ri/ri.h"

extern "C" {

RtPointer ConvertParameters(RtString args)
{
    RtColor *c = static_cast<RtColor *>(std::calloc(1, sizeof(RtColor)));
    if (c && args) std::sscanf(args, "%f %f %f", &(*c)[0], &(*c)[1], &(*c)[2]);
    return c;
}

RtVoid Subdivide(RtPointer blind, RtFloat)
{
    RtPoint square[4] = {{-0.5f, -0.5f, 1}, {-0.5f, 0.5f, 1}, {0.5f, 0.5f, 1}, {0.5f, -0.5f, 1}};
    RtToken tokens[1] = {"P"};
    RtPointer values[1] = {square};
    RiColor(*static_cast<RtColor *>(blind));
    RiPolygonV(4, 1, tokens, values);
}

RtVoid Free(RtPointer blind)
{
    std::free(blind);
}

} // extern "C"
