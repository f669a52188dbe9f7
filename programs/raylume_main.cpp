// raylume: the ray-tracing renderer. Creates the renderer, reads the rc file,
// applies the command line and reads every named RIB file (or standard input).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "raytrace/imgout.h"
#include "raytrace/raytracer.h"
#include "ri/raylume_options.h"
#include "ri/reader_state.h"
#include "ri/ribfile.h"
#include "ri_common/ri.h"
#include "ri_common/rierror.h"

int main(int argc, char **argv) {
    RiBegin(RI_NULL);
    read_rc_file();
    // An error that ends the run ends the program with its status.
    if (int ended = ri_run_end_status()) return ended;
    SessionOptions session;
    int first = parse_options(argc, argv, session);
    if (session.end_status >= 0) return session.end_status;
    if (RayTracer *tracer = RayTracer::current()) tracer->session = session;
    // A file that cannot be read fails the run, after the others are read.
    int status = 0;
    if (first >= argc) {
        read_rib_file(nullptr, current_archive_path(), current_verbosity(), 0);
    } else {
        for (int i = first; i < argc && !ri_run_end_status(); i++)
            if (read_rib_file(argv[i], current_archive_path(), current_verbosity(), 1) != 0) status = 1;
    }
    if (int ended = ri_run_end_status()) return ended;
    if (session.bell) {
        std::printf("\a\n");
        std::fflush(stdout);
    }
    RiEnd();
    if (int ended = ri_run_end_status()) return ended;
    // A picture that could not be written fails the run too.
    if (unwritten_outputs() > 0) status = 1;
    return status;
}
