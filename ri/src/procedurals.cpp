// The procedurals of RIB: reading an archive, running a program that writes
// RIB, and loading a library that makes primitives through the RI. Each
// takes the string block of the Procedural request (the file, program or
// library name, then the argument string).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/process.h"
#include "ri/front_end.h"
#include "ri/renderer.h"
#include "rib_answer.h"
#include "ri_common/ri.h"
#include "ri/ribfile.h"
#include "ri_common/rierror.h"
#include "ri_common/searchpath.h"

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

enum AnswerEnd { ANSWER_DONE, ANSWER_SILENT, ANSWER_TOO_LONG, ANSWER_TOO_LARGE };

double now_seconds()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Reads a program's answer into out: its output up to the end-of-answer
// byte (where a request may begin) or the end of its output, within the
// time and size bounds.
AnswerEnd read_answer(velk::ChildProcess &child, FILE *out, double seconds, long bytes)
{
    unsigned char buffer[65536];
    RibAnswerScanner scanner;
    const double until = now_seconds() + seconds;
    long total = 0;
    for (;;) {
        double left_ms = (until - now_seconds()) * 1000;
        if (left_ms <= 0) return ANSWER_TOO_LONG;
        int wait_ms = left_ms < ANSWER_SILENCE_MS ? int(left_ms) + 1 : ANSWER_SILENCE_MS;
        long n = child.read_output_within(buffer, sizeof buffer, wait_ms);
        if (n == -2) return wait_ms == ANSWER_SILENCE_MS ? ANSWER_SILENT : ANSWER_TOO_LONG;
        if (n <= 0) return ANSWER_DONE;
        long end = scanner.scan(buffer, size_t(n));
        long keep = end >= 0 ? end : n;
        if (keep > bytes - total) return ANSWER_TOO_LARGE;
        std::fwrite(buffer, 1, size_t(keep), out);
        total += keep;
        if (end >= 0) return ANSWER_DONE;
    }
}

} // namespace

RtVoid ri_front::ProcDelayedReadArchive(RtPointer data, RtFloat)
{
    RiReadArchive(const_cast<RtToken>(block_name(data)), nullptr, RI_NULL);
}

RtVoid ri_front::ProcRunProgram(RtPointer data, RtFloat detail)
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
    // No picture of this frame replaces the program.
    std::string file = velk::program_file(argv[0]);
    if (!file.empty()) velk::remember_input(file.c_str());
    char number[64];
    std::snprintf(number, sizeof number, "%g", (double)detail);
    // A program that ends without reading its request still gets read.
    child.write_input(std::string(number) + " " + block_args(data) + "\n");
    // The request is all it gets: a program that loops over requests sees
    // the end of its input after answering and ends.
    child.close_input();
    FILE *answer = std::tmpfile();
    if (!answer) {
        child.wait_within(0);
        ri_error(RIE_SYSTEM, RIE_ERROR, "RiProcRunProgram could not keep the program's answer");
        return;
    }
    const Options *o = current_renderer ? &current_renderer->options : nullptr;
    const int seconds = o ? o->program_seconds : 600;
    const long bytes = o ? o->program_bytes : 1073741824L;
    AnswerEnd how = read_answer(child, answer, seconds, bytes);
    child.wait_within(how == ANSWER_DONE ? AFTER_ANSWER_MS : 0);
    switch (how) {
    case ANSWER_DONE:
        std::fflush(answer);
        std::rewind(answer);
        read_rib_fd(fileno(answer), program);
        break;
    case ANSWER_SILENT:
        ri_error(RIE_SYSTEM, RIE_ERROR, "RiProcRunProgram: program \"%s\" sent nothing for %d seconds", program,
                 ANSWER_SILENCE_MS / 1000);
        break;
    case ANSWER_TOO_LONG:
        ri_error(RIE_LIMIT, RIE_ERROR,
                 "RiProcRunProgram: program \"%s\" did not end its answer within %d seconds; it was stopped",
                 program, seconds);
        break;
    case ANSWER_TOO_LARGE:
        ri_error(RIE_LIMIT, RIE_ERROR,
                 "RiProcRunProgram: program \"%s\" answered more than %ld bytes without ending; it was stopped",
                 program, bytes);
        break;
    }
    std::fclose(answer);
}

RtVoid ri_front::ProcDynamicLoad(RtPointer data, RtFloat detail)
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

RtVoid ri_front::ProcFree(RtPointer data)
{
    // The RIB reader allocates the block with calloc.
    std::free(data);
}
