// Scene assembly of patches, patch meshes and NURBS patches, with the two
// motion keys of moving patches and the screen-size splitting of NURBS.
#include <cmath>
#include <cstring>
#include <vector>

#include "raytrace/gprim.h"
#include "raytrace/prim_params.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/raytracer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"

// ---- motion keys ---------------------------------------------------------

bool RayTracer::motion_key(int kind, GPrimitive *object, std::vector<GPrimitive *> *grid)
{
    if (motion_times <= 0) return false;
    std::vector<GPrimitive *> keys;
    if (grid) keys = *grid;
    else keys.push_back(object);
    if (motion_specs <= 1) {
        // The first key of a block: wait for the second.
        flush_pending_motion();
        pending_kind_ = kind;
        pending_ = keys;
        return true;
    }
    if (pending_.empty() || motion_specs < motion_times) {
        // A later key without a first one, or one between the first and the
        // last: nothing to merge with.
        for (GPrimitive *o : keys) delete o;
        return true;
    }
    if (kind != pending_kind_ || keys.size() != pending_.size()) {
        ri_error(RIE_BADMOTION, RIE_ERROR, "Can't mix primitive types in a motion block");
        for (GPrimitive *o : keys) delete o;
        return true;
    }
    for (size_t i = 0; i < keys.size(); i++) {
        set_motion_key(pending_[i], keys[i]);
        delete keys[i];
    }
    flush_pending_motion();
    return true;
}

void RayTracer::flush_pending_motion()
{
    std::vector<GPrimitive *> left;
    left.swap(pending_);
    int kind = pending_kind_;
    pending_kind_ = 0;
    for (GPrimitive *o : left) {
        if (kind == MOTION_NURB) link_split_nurb(o, 0, nurb_split_depth());
        else add_object(o);
    }
}

int RayTracer::nurb_split_depth() const
{
    // Nothing inside an object definition is split.
    if (open_definition_ || !attributes.is_set()) return 0;
    return attributes->patch_splitdepth;
}

// ---- patches -------------------------------------------------------------

GPrimitive *RayTracer::make_patch(bool bicubic, RtFloat umin, RtFloat umax, RtFloat vmin, RtFloat vmax, RtInt n,
                                  RtToken tokens[], RtPointer values[])
{
    // The patch's place in its mesh: column umin of umax, row vmin of vmax.
    int ucol = (int)umin, nu = (int)umax, vrow = (int)vmin, nv = (int)vmax;
    return bicubic ? make_bicubic_patch(n, tokens, values, ucol, nu, vrow, nv)
                   : make_bilinear_patch(n, tokens, values, ucol, nu, vrow, nv);
}

void RayTracer::add_bilinear_patch(RtFloat umin, RtFloat umax, RtFloat vmin, RtFloat vmax, RtInt n,
                                   RtToken tokens[], RtPointer values[])
{
    if (motion_specs > 1) return;
    add_object(make_patch(false, umin, umax, vmin, vmax, n, tokens, values));
}

void RayTracer::add_bicubic_patch(RtFloat umin, RtFloat umax, RtFloat vmin, RtFloat vmax, RtInt n,
                                  RtToken tokens[], RtPointer values[])
{
    GPrimitive *o = make_patch(true, umin, umax, vmin, vmax, n, tokens, values);
    if (!o) return;
    if (motion_key(MOTION_BICUBIC, o)) return;
    add_object(o);
}

void RayTracer::add_patch_mesh(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, RtInt n,
                               RtToken tokens[], RtPointer values[])
{
    bool bicubic;
    if (type && !std::strcmp(type, "bilinear")) bicubic = false;
    else if (type && !std::strcmp(type, "bicubic")) bicubic = true;
    else {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "Unrecognized patch mesh type: %s", type ? type : "(null)");
        return;
    }
    if (!bicubic && motion_specs > 1) return;
    bool uper = uwrap && !std::strcmp(uwrap, "periodic");
    bool vper = vwrap && !std::strcmp(vwrap, "periodic");
    int us = 1, vs = 1;
    if (bicubic && attributes.is_set()) {
        us = attributes->ustep;
        vs = attributes->vstep;
    }
    if (us < 1 || vs < 1) {
        ri_error(RIE_RANGE, RIE_ERROR, "Patch mesh with a basis step of 0 ignored");
        return;
    }
    int nup, nvp;
    if (!bicubic) {
        nup = uper ? nu : nu - 1;
        nvp = vper ? nv : nv - 1;
    } else {
        nup = uper ? nu / us : (nu - 4) / us + 1;
        nvp = vper ? nv / vs : (nv - 4) / vs + 1;
    }
    if (nu < 1 || nv < 1 || nup < 1 || nvp < 1 || (bicubic && !uper && nu < 4) || (bicubic && !vper && nv < 4)) {
        ri_error(RIE_RANGE, RIE_ERROR, "Patch mesh of %d x %d vertices has no patches", nu, nv);
        return;
    }
    PrimParams pp(n, tokens, values, "Unrecognized parameter %s");
    std::vector<GPrimitive *> grid;
    for (int j = 0; j < nvp; j++)
        for (int i = 0; i < nup; i++) {
            PieceParams patch;
            std::vector<int> cv = mesh_patch_vertices(bicubic, i, j, nu, nv, us, vs);
            std::vector<int> corners = mesh_patch_corners(i, j, nup, nvp, uper, vper);
            for (const PrimParam &p : pp.params) {
                switch (p.decl->detail) {
                case DETAIL_CONSTANT: patch.add_range(p, 0, 1); break;
                case DETAIL_UNIFORM: patch.add_range(p, i + j * nup, 1); break;
                case DETAIL_VARYING: patch.add_indexed(p, corners.data(), 4); break;
                default: patch.add_indexed(p, cv.data(), (int)cv.size()); break;
                }
            }
            GPrimitive *o = make_patch(bicubic, (float)i, (float)nup, (float)j, (float)nvp, patch.n(), patch.tokens(),
                                       patch.values());
            if (o) grid.push_back(o);
        }
    if (bicubic && motion_key(MOTION_PATCH_MESH, nullptr, &grid)) return;
    for (GPrimitive *o : grid) add_object(o);
}

// ---- NURBS ---------------------------------------------------------------

void RayTracer::link_split_nurb(GPrimitive *patch, int depth, int max_depth)
{
    if (depth < max_depth && is_surface_type(patch->type)) {
        GSurface *s = static_cast<GSurface *>(patch);
        s->recompute_bounds();
        int box[4];
        s->screen_bound(box);
        double w = (double)box[1] - box[0], h = (double)box[3] - box[2];
        if (w > 1024 || h > 1024 || w * h > 1048576.0) {
            GPrimitive *a = nullptr, *b = nullptr;
            // Halves of v on even levels, of u on odd ones.
            if (split_nurb_patch(patch, depth % 2 == 0, a, b)) {
                delete patch;
                if (a) link_split_nurb(a, depth + 1, max_depth);
                if (b) link_split_nurb(b, depth + 1, max_depth);
                return;
            }
        }
    }
    add_object(patch);
}

void RayTracer::add_nu_patch(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax, RtInt nv,
                             RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax, RtInt n, RtToken tokens[],
                             RtPointer values[])
{
    PrimParams pp(n, tokens, values, "Unrecognized parameter: \"%s\"");
    const PrimParam *points = pp.find(tok::Pw);
    int kind = 4;
    if (!points) points = pp.find(tok::Pz), kind = 1;
    if (!points) points = pp.find(tok::P), kind = 3;
    if (!points) {
        ri_error(RIE_MISSINGDATA, RIE_ERROR, "NURBS missing P or Pw data");
        return;
    }
    GPrimitive *o = make_nurb_patch(nu, uorder, uknot, umin, umax, nv, vorder, vknot, vmin, vmax,
                                    reinterpret_cast<const RtFloat *>(points->data), kind, n, tokens, values);
    if (!o) return;
    if (motion_key(MOTION_NURB, o)) return;
    link_split_nurb(o, 0, nurb_split_depth());
}
