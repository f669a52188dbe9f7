// Procedurals in the previewer: subdivided at once when their bound reaches
// the picture; and the three built-in procedurals of RIB: a RIB file read in
// place, a program whose RIB output is read, and a plug-in library (weak, so
// that the renderer's own take their place where a program has both).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "platform/process.h"
#include "preview/glrenderer.h"
#include "ri/renderer.h"
#include "ri/ribfile.h"
#include "ri/rierror.h"
#include "ri/ri.h"
#include "ri/searchpath.h"
#include "ri/stdtokens.h"

namespace {

// Element i of a procedural's data block of strings ("" when absent).
const char *data_string(RtPointer data, int i)
{
    const char *s = data ? static_cast<RtString *>(data)[i] : nullptr;
    return s ? s : "";
}

} // namespace

bool GlRenderer::procedural_detail(const RtBound bound, float &detail)
{
    float to_camera[16], to_raster[16];
    if (!space_to_space(tok::object, tok::camera, nullptr, transformation.get(), 0, to_camera) ||
        !space_to_space(tok::object, tok::raster, nullptr, transformation.get(), 0, to_raster)) {
        detail = 1e38f;
        return true;
    }
    float xmin = 1e30f, xmax = -1e30f, ymin = 1e30f, ymax = -1e30f;
    for (int c = 0; c < 8; c++) {
        float corner[3] = {bound[c & 1], bound[2 + ((c >> 1) & 1)], bound[4 + ((c >> 2) & 1)]};
        float cam[3], ras[3];
        point_times_matrix(corner, to_camera, cam);
        // A box reaching the eye's plane covers the whole picture.
        if (options.projection == PROJ_PERSPECTIVE && !(cam[2] > 0)) {
            detail = 1e38f;
            return true;
        }
        point_times_matrix(corner, to_raster, ras);
        xmin = std::min(xmin, ras[0]);
        xmax = std::max(xmax, ras[0]);
        ymin = std::min(ymin, ras[1]);
        ymax = std::max(ymax, ras[1]);
    }
    const int *sb = options.sample_bounds;
    if (xmax < sb[0] || xmin > sb[1] + 1 || ymax < sb[2] || ymin > sb[3] + 1) return false;
    float area = (xmax - xmin + 2) * (ymax - ymin + 2);
    float most = float(options.xres) * float(options.yres);
    detail = area < most ? area : most;
    return true;
}

void GlRenderer::add_procedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc, RtProcFreeFunc freefunc)
{
    float detail = 0;
    if (!skip_primitive() && drawing_world() && subdivfunc && procedural_detail(bound, detail))
        subdivfunc(data, detail);
    // The primitives it made are drawn: its data is not needed any more.
    if (freefunc) freefunc(data);
}

extern "C" {

__attribute__((weak)) RtVoid RiProcDelayedReadArchive(RtPointer data, RtFloat)
{
    RiReadArchiveV(const_cast<char *>(data_string(data, 0)), nullptr, 0, nullptr, nullptr);
}

__attribute__((weak)) RtVoid RiProcRunProgram(RtPointer data, RtFloat detail)
{
    const char *program = data_string(data, 0);
    velk::ChildProcess child;
    std::vector<std::string> argv = velk::split_command_line(program);
    if (argv.empty() || !child.start(argv, velk::ChildProcess::PIPE_BOTH)) {
        ri_error(RIE_SYSTEM, RIE_ERROR, "RiProcRunProgram could not run program \"%s\"", program);
        return;
    }
    // One request per run: the program sees the end of its input after it.
    char request[64];
    std::snprintf(request, sizeof request, "%g ", double(detail));
    child.write_input(std::string(request) + data_string(data, 1) + "\n");
    child.close_input();
    read_rib_fd(child.output_fd());
    child.wait();
}

__attribute__((weak)) RtVoid RiProcDynamicLoad(RtPointer data, RtFloat detail)
{
    const char *name = data_string(data, 0);
    std::string file = expand_arch_words(name);
    const char *path = current_renderer ? current_renderer->options.procedural_path : nullptr;
    velk::DynLib *lib = nullptr;
    if (find_dso(file.c_str(), path, &lib) != DSO_LOADED || !lib) {
        ri_error(RIE_NOFILE, RIE_ERROR, "ProcDynamicLoad could not find DSO \"%s\"", name);
        return;
    }
    using Convert = RtPointer (*)(RtString);
    using Subdivide = RtVoid (*)(RtPointer, RtFloat);
    using Free = RtVoid (*)(RtPointer);
    auto convert = velk::dynlib_function<Convert>(lib, "ConvertParameters");
    if (!convert) return ri_error(RIE_BADFILE, RIE_ERROR, "Proc DSO \"%s\" had no ConvertParameters routine", name);
    auto subdivide = velk::dynlib_function<Subdivide>(lib, "Subdivide");
    if (!subdivide) return ri_error(RIE_BADFILE, RIE_ERROR, "Proc DSO \"%s\" had no Subdivide routine", name);
    auto free_blind = velk::dynlib_function<Free>(lib, "Free");
    if (!free_blind) return ri_error(RIE_BADFILE, RIE_ERROR, "Proc DSO \"%s\" had no Free routine", name);
    // The library stays loaded: what it made may call back into it.
    RtPointer blind = convert(const_cast<char *>(data_string(data, 1)));
    subdivide(blind, detail);
    free_blind(blind);
}

__attribute__((weak)) RtVoid RiProcFree(RtPointer data)
{
    std::free(data);
}

} // extern "C"
