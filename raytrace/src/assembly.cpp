// Scene assembly of the quadrics, tori, polygons and meshes of faces: the
// primitive operations of the ray tracer build their objects here and link
// them into the open level's list.
#include <cmath>
#include <vector>

#include "raytrace/gprim.h"
#include "mesh.h"
#include "raytrace/prim_params.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/quadric.h"
#include "raytrace/raytracer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"

namespace {

// The motion keys of a block past the first add nothing to a still primitive.
bool later_motion_key(const Renderer *r)
{
    return r->motion_specs > 1;
}

// A polygon's normal by Newell's sum over all its vertices (zero when collinear).
Point polygon_normal(const float *P, int n)
{
    Point N;
    for (int k = 0; k < n; k++) {
        const float *a = P + 3 * k, *b = P + 3 * ((k + 1) % n);
        N.x += (a[1] - b[1]) * (a[2] + b[2]);
        N.y += (a[2] - b[2]) * (a[0] + b[0]);
        N.z += (a[0] - b[0]) * (a[1] + b[1]);
    }
    return N;
}

// The "P" parameter of a call, reported when missing ("for polygon" or "for points polygon").
const PrimParam *positions(const PrimParams &pp, const char *what)
{
    const PrimParam *P = pp.find(tok::P);
    if (!P) ri_error(RIE_MISSINGDATA, RIE_ERROR, "\"P\" parameter needed for %s.", what);
    return P;
}

// Whether the vertices of a polygon span an area; reports the polygon when not.
bool polygon_has_area(const float *P, int nverts)
{
    if (nverts < 3) {
        ri_error(RIE_RANGE, RIE_WARNING, "Polygon with %d vertices ignored", nverts);
        return false;
    }
    Point N = polygon_normal(P, nverts);
    // Relative to the polygon's size, so that tiny polygons still count.
    float size = 0;
    for (int i = 1; i < nverts; i++)
        for (int a = 0; a < 3; a++) size = std::fmax(size, std::fabs(P[3 * i + a] - P[a]));
    if (!(N.length() > 1e-12f * size * size) || !std::isfinite(N.length())) {
        ri_error(RIE_RANGE, RIE_WARNING, "Degenerate polygon primitive");
        return false;
    }
    return true;
}

} // namespace

// ---- quadrics and the torus ----------------------------------------------

void RayTracer::add_quadric(GQuadric *q, RtInt n, RtToken tokens[], RtPointer values[])
{
    if (q->degenerate()) {
        ri_error(RIE_RANGE, RIE_WARNING, "Degenerate %s primitive ignored", GPRIM_TYPE_NAMES[q->type]);
        delete q;
        return;
    }
    build_vertex_var_list(q->vertex_vars, 4, 4, 1, POSITION_NONE, n, tokens, values);
    add_object(q);
}

void RayTracer::add_cone(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
                         RtPointer values[])
{
    if (later_motion_key(this)) return;
    add_quadric(new GCone(height, radius, thetamax), n, tokens, values);
}

void RayTracer::add_cylinder(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                             RtToken tokens[], RtPointer values[])
{
    if (later_motion_key(this)) return;
    add_quadric(new GCylinder(radius, zmin, zmax, thetamax), n, tokens, values);
}

void RayTracer::add_disk(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
                         RtPointer values[])
{
    if (later_motion_key(this)) return;
    add_quadric(new GDisk(height, radius, thetamax, 0), n, tokens, values);
}

void RayTracer::add_hyperboloid(RtPoint point1, RtPoint point2, RtFloat thetamax, RtInt n, RtToken tokens[],
                                RtPointer values[])
{
    if (later_motion_key(this)) return;
    Point a = Point::from(point1), b = Point::from(point2);
    if (a.z == b.z) {
        // Both ends at one height: an annulus between the two radii.
        float ra = std::sqrt(a.x * a.x + a.y * a.y), rb = std::sqrt(b.x * b.x + b.y * b.y);
        add_quadric(new GDisk(a.z, std::fmax(ra, rb), thetamax, std::fmin(ra, rb)), n, tokens, values);
        return;
    }
    add_quadric(new GHyperboloid(a, b, thetamax), n, tokens, values);
}

void RayTracer::add_paraboloid(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                               RtToken tokens[], RtPointer values[])
{
    if (later_motion_key(this)) return;
    add_quadric(new GParaboloid(rmax, zmin, zmax, thetamax), n, tokens, values);
}

void RayTracer::add_sphere(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                           RtToken tokens[], RtPointer values[])
{
    if (later_motion_key(this)) return;
    add_quadric(new GSphere(radius, zmin, zmax, thetamax), n, tokens, values);
}

void RayTracer::add_torus(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax,
                          RtInt n, RtToken tokens[], RtPointer values[])
{
    if (later_motion_key(this)) return;
    add_object(make_torus(majorrad, minorrad, phimin, phimax, thetamax, n, tokens, values));
}

// ---- polygons ------------------------------------------------------------

void RayTracer::add_polygon(RtInt nvertices, RtInt n, RtToken tokens[], RtPointer values[])
{
    if (later_motion_key(this)) return;
    PrimParams pp(n, tokens, values, "Unrecognized parameter: \"%s\"");
    const PrimParam *P = positions(pp, "polygon");
    if (!P) return;
    if (!polygon_has_area(reinterpret_cast<const float *>(P->data), nvertices)) return;
    for (const std::vector<int> &piece : polygon_fan(nvertices, split_quads != 0)) {
        PieceParams pieceparams;
        for (const PrimParam &p : pp.params) {
            int detail = p.decl->detail;
            if (detail == DETAIL_VERTEX || detail == DETAIL_VARYING)
                pieceparams.add_indexed(p, piece.data(), (int)piece.size());
            else
                pieceparams.add_range(p, 0, 1);
        }
        int nv = (int)piece.size();
        GPrimitive *o = nv < 4 ? make_triangle(pieceparams.n(), pieceparams.tokens(), pieceparams.values())
                               : make_polygon(nv, pieceparams.n(), pieceparams.tokens(), pieceparams.values());
        add_object(o);
    }
}

void RayTracer::add_general_polygon(RtInt nloops, RtInt nverts[], RtInt n, RtToken tokens[], RtPointer values[])
{
    if (later_motion_key(this)) return;
    PrimParams pp(n, tokens, values, "Unrecognized parameter: \"%s\"");
    const PrimParam *P = positions(pp, "polygon");
    if (!P) return;
    if (nloops < 1 || nverts[0] < 3) {
        ri_error(RIE_RANGE, RIE_WARNING, "Polygon with %d vertices ignored", nloops < 1 ? 0 : nverts[0]);
        return;
    }
    int total = 0;
    for (int i = 0; i < nloops; i++) total += nverts[i] > 0 ? nverts[i] : 0;
    if (!polygon_has_area(reinterpret_cast<const float *>(P->data), nverts[0])) return;
    add_object(make_general_polygon(total, nloops, nverts, n, tokens, values));
}

namespace {

// The values of one face of a points mesh: constant whole, uniform the
// face's own, varying and vertex through the face's vertex indices.
void gather_face(PieceParams &out, const PrimParams &pp, int face, const int *verts, int count)
{
    for (const PrimParam &p : pp.params) {
        switch (p.decl->detail) {
        case DETAIL_CONSTANT: out.add_range(p, 0, 1); break;
        case DETAIL_UNIFORM: out.add_range(p, face, 1); break;
        case DETAIL_VARYING:
        case DETAIL_VERTEX: out.add_indexed(p, verts, count); break;
        default: ri_assert_failed("addgeom", __LINE__);
        }
    }
}

// Whether every index of a face is usable.
bool face_indices_valid(const RtInt *verts, int count)
{
    for (int k = 0; k < count; k++)
        if (verts[k] < 0) {
            ri_error(RIE_RANGE, RIE_ERROR, "Negative vertex index %d in a face: face ignored", verts[k]);
            return false;
        }
    return true;
}

// Whether the faces of a mesh can share one copy of its parameters.
bool shareable_params(const std::vector<PrimParam> &params)
{
    for (const PrimParam &p : params)
        if (!GMesh::shareable(p)) return false;
    return true;
}

} // namespace

bool RayTracer::add_mesh_faces(RtInt npolys, const RtInt nverts[], const RtInt verts[],
                               const std::vector<PrimParam> &params, const PrimParam &P)
{
    if (object_depth_ > 0 || !shareable_params(params) || !GMesh::allowed()) return false;
    int npoints = 0;
    const RtInt *face = verts;
    for (int f = 0; f < npolys; f++)
        for (int k = 0, count = nverts[f] > 0 ? nverts[f] : 0; k < count; k++, face++)
            if (*face + 1 > npoints) npoints = *face + 1;
    GMesh *mesh = new GMesh(params, npoints);
    const float *points = reinterpret_cast<const float *>(P.data);
    std::vector<float> corners;
    std::vector<int> indices;
    face = verts;
    // As add_polygon takes each face, its pieces becoming faces of the mesh.
    for (int f = 0; f < npolys; f++) {
        int count = nverts[f] > 0 ? nverts[f] : 0;
        if (face_indices_valid(face, count)) {
            corners.resize(3 * size_t(count));
            for (int k = 0; k < count; k++)
                for (int a = 0; a < 3; a++) corners[3 * k + a] = points[3 * size_t(face[k]) + a];
            if (polygon_has_area(corners.data(), count))
                for (const std::vector<int> &piece : polygon_fan(count, split_quads != 0)) {
                    indices.clear();
                    for (int k : piece) indices.push_back(face[k]);
                    if (indices.size() <= 4) {
                        GMeshFace *o = mesh->make_face(indices.data(), (int)indices.size());
                        if (!o) continue;
                        add_object(o);
                        // Counted as the triangle or polygon it stands for.
                        gprim_type_counts[GP_MESHFACE]--;
                        gprim_type_counts[o->quad() ? GP_POLYGON : GP_TRIANGLE]++;
                        continue;
                    }
                    PieceParams pieceparams;
                    for (const PrimParam &p : params)
                        if (p.decl->detail == DETAIL_CONSTANT) pieceparams.add_range(p, 0, 1);
                        else pieceparams.add_indexed(p, indices.data(), (int)indices.size());
                    add_object(make_polygon((int)indices.size(), pieceparams.n(), pieceparams.tokens(),
                                            pieceparams.values()));
                }
        }
        face += count;
    }
    if (mesh->faces == 0) delete mesh;
    return true;
}

void RayTracer::add_points_polygons(RtInt npolys, RtInt nverts[], RtInt verts[], RtInt n, RtToken tokens[],
                                    RtPointer values[])
{
    if (later_motion_key(this)) return;
    PrimParams pp(n, tokens, values, "Unrecognized parameter: \"%s\"");
    const PrimParam *P = positions(pp, "points polygon");
    if (!P) return;
    if (add_mesh_faces(npolys, nverts, verts, pp.params, *P)) return;
    const RtInt *face = verts;
    for (int f = 0; f < npolys; f++) {
        int count = nverts[f] > 0 ? nverts[f] : 0;
        if (face_indices_valid(face, count)) {
            PieceParams fp;
            gather_face(fp, pp, f, face, count);
            add_polygon(count, fp.n(), fp.tokens(), fp.values());
        }
        face += count;
    }
}

void RayTracer::add_points_general_polygons(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[], RtInt n,
                                            RtToken tokens[], RtPointer values[])
{
    if (later_motion_key(this)) return;
    PrimParams pp(n, tokens, values, "Unrecognized parameter: \"%s\"");
    if (!positions(pp, "points polygon")) return;
    const RtInt *loops = nverts;
    const RtInt *face = verts;
    for (int f = 0; f < npolys; f++) {
        int nl = nloops[f] > 0 ? nloops[f] : 0;
        int count = 0;
        for (int l = 0; l < nl; l++) count += loops[l] > 0 ? loops[l] : 0;
        if (face_indices_valid(face, count)) {
            PieceParams fp;
            gather_face(fp, pp, f, face, count);
            add_general_polygon(nl, const_cast<RtInt *>(loops), fp.n(), fp.tokens(), fp.values());
        }
        loops += nl;
        face += count;
    }
}

// ---- subdivision meshes --------------------------------------------------

void RayTracer::add_subdivision_mesh(RtToken, RtInt nfaces, RtInt nvertices[], RtInt vertices[], RtInt, RtToken[],
                                     RtInt[], RtInt[], RtFloat[], RtInt n, RtToken tokens[], RtPointer values[])
{
    if (later_motion_key(this)) return;
    PrimParams pp(n, tokens, values, "Unrecognized parameter: \"%s\"");
    const PrimParam *P = positions(pp, "polygon");
    if (!P) return;
    const PrimParam *N = pp.find(tok::N);
    // The vertices the faces name.
    int npoints = 0;
    long total = 0;
    for (int f = 0; f < nfaces; f++) total += nvertices[f] > 0 ? nvertices[f] : 0;
    for (long k = 0; k < total; k++) {
        if (vertices[k] < 0) {
            ri_error(RIE_RANGE, RIE_ERROR, "Negative vertex index %d in a subdivision mesh: mesh ignored",
                     vertices[k]);
            return;
        }
        if (vertices[k] + 1 > npoints) npoints = vertices[k] + 1;
    }
    std::vector<float> normals;
    if (!N) {
        bool inside_out = attributes.is_set() && (attributes->orientation & 1);
        normals = mesh_vertex_normals(reinterpret_cast<const float *>(P->data), npoints, nfaces, nvertices,
                                      vertices, inside_out);
    }
    PrimParam Nparam = N ? *N : PrimParam{tok::N, tok::N, declarations().lookup(tok::N),
                                          reinterpret_cast<const char *>(normals.data()), 3 * (int)sizeof(float)};
    int saved = split_quads;
    split_quads = 0;
    if (!add_mesh_faces(nfaces, nvertices, vertices, {*P, Nparam}, *P)) {
        const RtInt *face = vertices;
        for (int f = 0; f < nfaces; f++) {
            int count = nvertices[f] > 0 ? nvertices[f] : 0;
            PieceParams fp;
            fp.add_indexed(*P, face, count);
            fp.add_indexed(Nparam, face, count);
            add_polygon(count, fp.n(), fp.tokens(), fp.values());
            face += count;
        }
    }
    split_quads = saved;
}

// ---- what is not drawn ---------------------------------------------------

void RayTracer::add_curves(RtToken, RtInt, RtInt[], RtToken, RtInt, RtToken[], RtPointer[])
{
    ri_error_once(RIE_INCAPABLE, RIE_INFO, "Curves primitive not currently supported");
}

void RayTracer::add_points(RtInt, RtInt, RtToken[], RtPointer[])
{
    ri_error_once(RIE_INCAPABLE, RIE_INFO, "Points primitive not currently supported");
}

void RayTracer::add_blobby(RtInt, RtInt, RtInt[], RtInt, RtFloat[], RtInt, RtToken[], RtInt, RtToken[], RtPointer[])
{
    ri_error_once(RIE_INCAPABLE, RIE_INFO, "Blobby primitive not currently supported");
}

void RayTracer::add_procedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc, RtProcFreeFunc freefunc)
{
    GPrimitive *o = make_procedural(data, bound, subdivfunc, freefunc);
    if (!o) {
        if (freefunc) freefunc(data);
        return;
    }
    add_object(o);
}
