// The procedurals of RIB: reading an archive, running a program that writes
// RIB, and loading a library that makes primitives through the RI. Each
// takes the string block of the Procedural request (the file, program or
// library name, then the argument string).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "platform/process.h"
#include "ri/renderer.h"
#include "ri/ri.h"
#include "ri/ribfile.h"
#include "ri/rierror.h"
#include "ri/searchpath.h"

namespace {

// The name and the argument string of a procedural's block.
const char *block_name(RtPointer data)
{
    const RtString *s = static_cast<const RtString *>(data);
    return s && s[0] ? s[0] : "";
}

const char *block_args(RtPointer data)
{
    const RtString *s = static_cast<const RtString *>(data);
    return s && s[0] && s[1] ? s[1] : "";
}

// The entries of a procedural library.
typedef RtPointer (*ConvertParametersFunc)(char *args);
typedef RtVoid (*SubdivideFunc)(RtPointer blind, RtFloat detail);
typedef RtVoid (*FreeFunc)(RtPointer blind);

} // namespace

extern "C" {

RtVoid RiProcDelayedReadArchive(RtPointer data, RtFloat)
{
    RiReadArchive(const_cast<RtToken>(block_name(data)), nullptr, RI_NULL);
}

RtVoid RiProcRunProgram(RtPointer data, RtFloat detail)
{
    const char *program = block_name(data);
    // The program line names the program and its own arguments; no shell.
    velk::ChildProcess child;
    std::vector<std::string> argv = velk::split_command_line(program);
    if (argv.empty() || !child.start(argv, velk::ChildProcess::PIPE_BOTH)) {
        ri_error(RIE_SYSTEM, RIE_ERROR, "RiProcRunProgram could not run program \"%s\"", program);
        return;
    }
    char number[64];
    std::snprintf(number, sizeof number, "%g", (double)detail);
    // A program that ends without reading its request still gets read.
    child.write_input(std::string(number) + " " + block_args(data) + "\n");
    // The request is all it gets: its input ends, so that it can end too.
    child.close_input();
    read_rib_fd(child.output_fd());
    child.wait();
}

RtVoid RiProcDynamicLoad(RtPointer data, RtFloat detail)
{
    const char *name = block_name(data);
    std::string file = expand_arch_words(name);
    const char *path = current_renderer ? current_renderer->options.procedural_path : nullptr;
    velk::DynLib *lib = nullptr;
    if (find_dso(file.c_str(), path, &lib) != DSO_LOADED || !lib) {
        ri_error(RIE_NOFILE, RIE_ERROR, "ProcDynamicLoad could not find DSO \"%s\"", name);
        return;
    }
    // The library stays loaded: what it made may still call into it.
    ConvertParametersFunc convert = velk::dynlib_function<ConvertParametersFunc>(lib, "ConvertParameters");
    if (!convert) {
        ri_error(RIE_BADFILE, RIE_ERROR, "Proc DSO \"%s\" had no ConvertParameters routine", name);
        return;
    }
    SubdivideFunc subdivide = velk::dynlib_function<SubdivideFunc>(lib, "Subdivide");
    if (!subdivide) {
        ri_error(RIE_BADFILE, RIE_ERROR, "Proc DSO \"%s\" had no Subdivide routine", name);
        return;
    }
    FreeFunc free_blind = velk::dynlib_function<FreeFunc>(lib, "Free");
    if (!free_blind) {
        ri_error(RIE_BADFILE, RIE_ERROR, "Proc DSO \"%s\" had no Free routine", name);
        return;
    }
    std::string args = block_args(data);
    RtPointer blind = convert(&args[0]);
    subdivide(blind, detail);
    free_blind(blind);
}

RtVoid RiProcFree(RtPointer data)
{
    // The RIB reader allocates the block with calloc.
    std::free(data);
}

} // extern "C"
