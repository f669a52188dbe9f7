// A back end for the unit tests that records every operation it receives,
// with its arguments, and keeps the attribute state and transformation each
// primitive was made under.
#pragma once
#include <sstream>
#include <string>
#include <vector>

#include "ri/renderer.h"

namespace velktest {

class RecordingRenderer : public Renderer {
public:
    std::vector<std::string> calls;
    std::vector<GStateRef> primitive_states;
    std::vector<TransformationRef> primitive_transforms;
    int max_times = 2;
    int objects_made = 0;
    int object_store[64];

    // The last call recorded, or "".
    std::string last() const { return calls.empty() ? "" : calls.back(); }
    bool saw(const std::string &prefix) const {
        for (auto &c : calls) if (c.compare(0, prefix.size(), prefix) == 0) return true;
        return false;
    }

    void render_world() override { calls.push_back("render_world"); }
    RtPointer shader(RtToken name, int use, RtInt n, RtToken[], RtPointer[]) override {
        rec("shader", name, use, n);
        return nullptr;
    }
    void illuminate(RtLightHandle, int on) override { rec("illuminate", on); }
    void make_current() override { calls.push_back("make_current"); }
    void frame_begin(int n) override { rec("frame_begin", n); Renderer::frame_begin(n); }
    void frame_end() override { calls.push_back("frame_end"); Renderer::frame_end(); }
    void world_begin() override { calls.push_back("world_begin"); Renderer::world_begin(); }
    void world_end() override { calls.push_back("world_end"); Renderer::world_end(); }
    void color_changed(const float *c) override { rec("color_changed", c[0], c[1], c[2]); }
    void sides_changed() override { calls.push_back("sides_changed"); }
    void representation_changed() override { calls.push_back("representation_changed"); }

    void add_cone(RtFloat h, RtFloat r, RtFloat t, RtInt n, RtToken[], RtPointer[]) override { prim("cone", h, r, t, n); }
    void add_cylinder(RtFloat r, RtFloat z0, RtFloat z1, RtFloat t, RtInt n, RtToken[], RtPointer[]) override { prim("cylinder", r, z0, z1, t, n); }
    void add_disk(RtFloat h, RtFloat r, RtFloat t, RtInt n, RtToken[], RtPointer[]) override { prim("disk", h, r, t, n); }
    void add_hyperboloid(RtPoint a, RtPoint b, RtFloat t, RtInt n, RtToken[], RtPointer[]) override { prim("hyperboloid", a[0], b[2], t, n); }
    void add_paraboloid(RtFloat r, RtFloat z0, RtFloat z1, RtFloat t, RtInt n, RtToken[], RtPointer[]) override { prim("paraboloid", r, z0, z1, t, n); }
    void add_sphere(RtFloat r, RtFloat z0, RtFloat z1, RtFloat t, RtInt n, RtToken[], RtPointer[]) override { prim("sphere", r, z0, z1, t, n); }
    void add_torus(RtFloat a, RtFloat b, RtFloat p0, RtFloat p1, RtFloat t, RtInt n, RtToken[], RtPointer[]) override { prim("torus", a, b, p0, p1, t, n); }
    void add_polygon(RtInt nv, RtInt n, RtToken[], RtPointer[]) override { prim("polygon", nv, n); }
    void add_general_polygon(RtInt nl, RtInt nv[], RtInt n, RtToken[], RtPointer[]) override { prim("general_polygon", nl, nv[0], n); }
    void add_points_polygons(RtInt np, RtInt nv[], RtInt v[], RtInt n, RtToken[], RtPointer[]) override { prim("points_polygons", np, nv[0], v[0], n); }
    void add_points_general_polygons(RtInt np, RtInt nl[], RtInt nv[], RtInt v[], RtInt n, RtToken[], RtPointer[]) override { prim("points_general_polygons", np, nl[0], nv[0], v[0], n); }
    void add_bilinear_patch(RtFloat u0, RtFloat u1, RtFloat v0, RtFloat v1, RtInt n, RtToken[], RtPointer[]) override { prim("bilinear_patch", u0, u1, v0, v1, n); }
    void add_bicubic_patch(RtFloat u0, RtFloat u1, RtFloat v0, RtFloat v1, RtInt n, RtToken[], RtPointer[]) override { prim("bicubic_patch", u0, u1, v0, v1, n); }
    void add_patch_mesh(RtToken t, RtInt nu, RtToken uw, RtInt nv, RtToken vw, RtInt n, RtToken[], RtPointer[]) override { prim("patch_mesh", t, nu, uw, nv, vw, n); }
    void add_nu_patch(RtInt nu, RtInt uo, RtFloat uk[], RtFloat u0, RtFloat u1, RtInt nv, RtInt vo, RtFloat vk[], RtFloat v0, RtFloat v1, RtInt n, RtToken[], RtPointer[]) override { prim("nu_patch", nu, uo, uk[0], u0, u1, nv, vo, vk[0], v0, v1, n); }
    void add_curves(RtToken t, RtInt nc, RtInt nv[], RtToken w, RtInt n, RtToken[], RtPointer[]) override { prim("curves", t, nc, nv[0], w, n); }
    void add_points(RtInt np, RtInt n, RtToken[], RtPointer[]) override { prim("points", np, n); }
    void add_subdivision_mesh(RtToken s, RtInt nf, RtInt nv[], RtInt v[], RtInt nt, RtToken[], RtInt[], RtInt[], RtFloat[], RtInt n, RtToken[], RtPointer[]) override { prim("subdivision_mesh", s, nf, nv[0], v[0], nt, n); }
    void add_blobby(RtInt nl, RtInt nc, RtInt c[], RtInt nf, RtFloat[], RtInt ns, RtToken[], RtInt n, RtToken[], RtPointer[]) override { prim("blobby", nl, nc, c[0], nf, ns, n); }
    void add_procedural(RtPointer d, RtBound b, RtProcSubdivFunc, RtProcFreeFunc) override { prim("procedural", (const char *)d, b[0], b[5]); }
    void solid_begin(RtToken op) override { rec("solid_begin", op); }
    void solid_end() override { calls.push_back("solid_end"); }
    RtObjectHandle object_begin() override {
        rec("object_begin");
        return &object_store[objects_made++ % 64];
    }
    void object_end() override { calls.push_back("object_end"); }
    void object_instance(RtObjectHandle h) override {
        rec("object_instance", (int)((int *)h - object_store));
        primitive_states.push_back(attributes);
    }
    int max_motion_times() override { return max_times; }
    int option(RtToken name, RtToken token, RtPointer value) override {
        rec("option", name, token);
        return Renderer::option(name, token, value);
    }
    int attribute(RtToken name, RtToken token, RtPointer value) override {
        rec("attribute", name, token);
        return Renderer::attribute(name, token, value);
    }
    int display(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken[], RtPointer[]) override {
        rec("display", name, type, mode, n);
        return 0;
    }

private:
    template <class... A> void rec(const char *op, A... args) {
        std::ostringstream s;
        s << op;
        ((s << ' ' << args), ...);
        calls.push_back(s.str());
    }
    template <class... A> void prim(const char *op, A... args) {
        rec(op, args...);
        primitive_states.push_back(attributes);
        primitive_transforms.push_back(transformation);
    }
};

// Makes a recording renderer current for a test and removes it afterwards.
struct CurrentRecorder {
    RecordingRenderer *r;
    CurrentRecorder() : r(new RecordingRenderer) { current_renderer = r; }
    ~CurrentRecorder() { if (current_renderer == r) current_renderer = nullptr; delete r; }
    RecordingRenderer *operator->() { return r; }
};

} // namespace velktest
