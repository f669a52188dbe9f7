// Constructors of the primitive kinds whose classes live in their own modules
// (torus, polygons, patches, NURBS, CSG, procedurals), as scene assembly
// calls them. Each answers the new object (not linked), or null when nothing
// is made.
#pragma once
#include "ri_common/ri.h"

class GPrimitive;

GPrimitive *make_torus(RtFloat major, RtFloat minor, RtFloat phimin, RtFloat phimax, RtFloat thetamax,
                       RtInt n, RtToken tokens[], RtPointer values[]);
// A polygon piece of three vertices (triangle).
GPrimitive *make_triangle(RtInt n, RtToken tokens[], RtPointer values[]);
// A polygon piece of four or more vertices.
GPrimitive *make_polygon(int nverts, RtInt n, RtToken tokens[], RtPointer values[]);
GPrimitive *make_general_polygon(int nverts, int nloops, const RtInt loop_counts[], RtInt n, RtToken tokens[],
                                 RtPointer values[]);
// A patch at column ucol of nu and row vrow of nv of its mesh (0 of 1 alone).
GPrimitive *make_bilinear_patch(RtInt n, RtToken tokens[], RtPointer values[], int ucol, int nu, int vrow, int nv);
GPrimitive *make_bicubic_patch(RtInt n, RtToken tokens[], RtPointer values[], int ucol, int nu, int vrow, int nv);
// Makes second the shutter-close key of patch (both of one kind): true when taken.
bool set_motion_key(GPrimitive *patch, GPrimitive *second);
// points: "Pw" (4 floats), "Pz" (1) or "P" (3) values by point_kind 4, 1 or 3.
GPrimitive *make_nurb_patch(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax, RtInt nv,
                            RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax, const RtFloat *points,
                            int point_kind, RtInt n, RtToken tokens[], RtPointer values[]);
// Splits a NURBS patch into halves of its u (in_v false) or v range; false
// when it cannot be split.
bool split_nurb_patch(GPrimitive *patch, bool in_v, GPrimitive *&a, GPrimitive *&b);
// A CSG node of a type (19 to 22) over a list of children.
GPrimitive *make_solid(int type, GPrimitive *children);
GPrimitive *make_procedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivide, RtProcFreeFunc free_data);
