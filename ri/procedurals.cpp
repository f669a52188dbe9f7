// The procedurals of RIB: reading an archive, running a program that writes
// RIB, and loading a library that makes primitives through the RI. Each
// takes the string block of the Procedural request (the file, program or
// library name, then the argument string).
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// How long a program may stay silent while its answer is awaited, and how
// long it may take to end once it has answered.
const int ANSWER_SILENCE_MS = 60000;
const int AFTER_ANSWER_MS = 2000;
// The byte that ends a program's answer.
const char END_OF_ANSWER = '\377';

// Reads a program's answer: its output up to the end-of-answer byte or the
// end of its output. False when it stayed silent too long.
bool read_answer(velk::ChildProcess &child, std::string &answer)
{
    char buffer[4096];
    for (;;) {
        long n = child.read_output_within(buffer, sizeof buffer, ANSWER_SILENCE_MS);
        if (n == -2) return false;
        if (n <= 0) return true;
        const char *end = static_cast<const char *>(std::memchr(buffer, END_OF_ANSWER, size_t(n)));
        answer.append(buffer, end ? size_t(end - buffer) : size_t(n));
        if (end) return true;
    }
}

// Reads RIB held in memory, through a scratch file, under the name that
// messages give it.
void read_rib_bytes(const std::string &rib, const char *name)
{
    FILE *scratch = std::tmpfile();
    if (!scratch) {
        ri_error(RIE_SYSTEM, RIE_ERROR, "RiProcRunProgram could not keep the program's answer");
        return;
    }
    std::fwrite(rib.data(), 1, rib.size(), scratch);
    std::fflush(scratch);
    std::rewind(scratch);
    read_rib_fd(fileno(scratch), name);
    std::fclose(scratch);
}

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
    if (argv.empty() ||
        !child.start(argv, velk::ChildProcess::PIPE_BOTH | velk::ChildProcess::OWN_GROUP)) {
        ri_error(RIE_SYSTEM, RIE_ERROR, "RiProcRunProgram could not run program \"%s\"", program);
        return;
    }
    char number[64];
    std::snprintf(number, sizeof number, "%g", (double)detail);
    // A program that ends without reading its request still gets read.
    child.write_input(std::string(number) + " " + block_args(data) + "\n");
    // The request is all it gets: a program that loops over requests sees
    // the end of its input after answering and ends.
    child.close_input();
    std::string answer;
    bool silent = false;
    if (!read_answer(child, answer)) silent = true;
    child.wait_within(silent ? 0 : AFTER_ANSWER_MS);
    if (silent) {
        ri_error(RIE_SYSTEM, RIE_ERROR, "RiProcRunProgram: program \"%s\" sent nothing for %d seconds", program,
                 ANSWER_SILENCE_MS / 1000);
        return;
    }
    read_rib_bytes(answer, program);
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
