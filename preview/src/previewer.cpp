#include "preview/previewer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "preview/glrenderer.h"
#include "ri/reader_state.h"
#include "ri/ribfile.h"
#include "ri_common/rierror.h"
#include "ri_common/ri.h"

int previewer_verbose = 0;

namespace {

void verbosity(const char *word)
{
    RtString value = word;
    RiOption("runtime", "verbosity", &value, RI_NULL);
}

void window_option(const char *token, RtInt value)
{
    RiOption("window", token, &value, RI_NULL);
}

// The program settings go to the current back end (none: nowhere).
GlRenderer *previewer()
{
    return current_gl_renderer();
}

void light(const char *shader, RtFloat intensity)
{
    RiLightSource(const_cast<char *>(shader), "intensity", &intensity, RI_NULL);
}

void background(RtFloat grey)
{
    RtColor c = {grey, grey, grey};
    RiImager("background", "background", c, RI_NULL);
}

// One option: its names, how many values it takes and what it does.
struct PreviewOption {
    const char *names[3];
    int values;
    void (*apply)(char **v);
};

// Set by an option that ends the program: its status.
int options_end_status = -1;

const PreviewOption OPTIONS[] = {
    {{"-", "-h", "-help"}, 0, [](char **) {
         previewer_usage();
         options_end_status = 0;
     }},
    {{"-debug"}, 0, [](char **) { verbosity("debug"); }},
    {{"-frames"}, 2, [](char **v) {
         rib_frame_filter.first = std::atoi(v[0]);
         rib_frame_filter.last = std::atoi(v[1]);
     }},
    {{"-res"}, 2, [](char **v) { RiFormat(std::atoi(v[0]), std::atoi(v[1]), 1.0f); }},
    {{"-pos"}, 2, [](char **v) { options_set_window_position(std::atoi(v[0]), std::atoi(v[1])); }},
    {{"-crop"}, 4, [](char **v) {
         RiCropWindow(RtFloat(std::atof(v[0])), RtFloat(std::atof(v[1])), RtFloat(std::atof(v[2])),
                      RtFloat(std::atof(v[3])));
     }},
    {{"-sync"}, 1, [](char **v) { if (GlRenderer *r = previewer()) r->pacer.set_rate(std::atoi(v[0])); }},
    {{"-v"}, 0, [](char **) {
         previewer_verbose = 1;
         verbosity("verbose");
     }},
    {{"-stat", "-stats"}, 0, [](char **) { verbosity("stats"); }},
    {{"-nowait"}, 0, [](char **) { if (GlRenderer *r = previewer()) r->wait_at_end = false; }},
    {{"-1buffer"}, 0, [](char **) { window_option("doublebuffer", 0); }},
    {{"-dumprgb"}, 0, [](char **) { window_option("dumpimage", 1); }},
    {{"-dumprgba"}, 0, [](char **) { window_option("dumpimage", 3); }},
    {{"-dumprgbaz"}, 0, [](char **) { window_option("dumpimage", 7); }},
    {{"-offscreen"}, 0, [](char **) { window_option("integer offscreen", 1); }},
    {{"-unlit"}, 0, [](char **) {
         light("ambientlight", 0.1f);
         light("distantlight", 0.9f);
         if (GlRenderer *r = previewer()) r->unlit = true;
     }},
    {{"-fc"}, 1, [](char **v) { if (GlRenderer *r = previewer()) r->frame_command = v[0]; }},
    {{"-rd"}, 1, [](char **v) { RiRelativeDetail(RtFloat(std::atof(v[0]))); }},
    {{"-lines"}, 0, [](char **) {
         RiGeometricRepresentation("lines");
         background(0.1f);
     }},
    {{"-sketch"}, 0, [](char **) {
         RiGeometricRepresentation("sketch");
         background(1.0f);
     }},
};

const PreviewOption *find_option(const char *arg)
{
    for (const PreviewOption &o : OPTIONS)
        for (const char *name : o.names)
            if (name && std::strcmp(name, arg) == 0) return &o;
    return nullptr;
}

} // namespace

int previewer_parse_options(int argc, char **argv, int *end_status)
{
    options_end_status = -1;
    int i = 1;
    while (i < argc && options_end_status < 0) {
        const PreviewOption *o = find_option(argv[i]);
        if (!o) {
            if (is_unknown_option(argv[i])) options_end_status = 1;
            break;
        }
        if (o->values > argc - i - 1) {
            ri_error(RIE_MISSINGDATA, RIE_ERROR, "Option %s takes %d value%s", argv[i], o->values,
                     o->values == 1 ? "" : "s");
            options_end_status = 1;
            break;
        }
        o->apply(argv + i + 1);
        i += 1 + o->values;
    }
    if (end_status) *end_status = options_end_status;
    return i;
}

void previewer_usage()
{
    std::fputs("pevrin - Polygon preview for RIB files\n"
               "Ostrane Rendering Tools 2.5.0.7 intelnt (Adheres to the RenderMan Standard)\n"
               "Draws RIB scene descriptions with OpenGL, shaded, as wireframes or with\n"
               "hidden lines, from the files named or from standard input when none is named.\n"
               "\n"
               "Usage: pevrin [options] file1 ... fileN\n"
               "   options:\n"
               "\t            -res x y           Specify image resolution\n"
               "\t            -pos x y           Specify image position on the display\n"
               "\t            -crop x1 x2 y1 y2  Set the crop window (screen space units)\n"
               "\t            -frames f1 f2      Specify frame interval\n"
               "\t            -sync n            Synchronize frame times to <n> per second\n"
               "\t            -nowait            Do not wait for ESC key when finished\n"
               "\t            -stats             print statistics\n"
               "\t            -1buffer           render to front buffer\n"
               "\t            -dumprgba[z]       write out rgba (or rgba and z) files\n"
               "\t            -lines             draw wireframe image\n"
               "\t            -unlit             ignore lights, render like defaultsurface\n"
               "\t            -v                 Verbose mode\n"
               "\t            -rd det            Multiply level of detail by <det>\n"
               "\t            -fc command        Execute shell command at every FrameEnd\n"
               "\n",
               stdout);
}

int previewer_main(int argc, char **argv)
{
    new_gl_renderer();
    read_rc_file();
    // An error that ends the run ends the program with its status.
    if (int ended = ri_run_end_status()) return ended;
    int end_status = -1;
    int first = previewer_parse_options(argc, argv, &end_status);
    if (end_status >= 0) return end_status;
    // A file that cannot be read fails the run, after the others are read.
    int status = 0;
    if (first >= argc) {
        read_rib_file(nullptr, current_archive_path(), current_verbosity(), 0);
    } else {
        for (int i = first; i < argc && !ri_run_end_status(); i++)
            if (read_rib_file(argv[i], current_archive_path(), current_verbosity(), 1) != 0) status = 1;
    }
    if (int ended = ri_run_end_status()) return ended;
    RiEnd();
    if (int ended = ri_run_end_status()) return ended;
    return status;
}
