#include "compiler/driver.h"

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "builtins.h"
#include "emit.h"
#include "intern.h"
#include "compiler/messages.h"
#include "compiler/nodes.h"
#include "parser.h"
#include "compiler/preprocess.h"
#include "compiler/shadeops.h"
#include "symbols.h"
#include "compiler/writer.h"
#include "platform/arch.h"
#include "platform/process.h"

namespace murn {

namespace {

const char USAGE[] =
    "murn - Shading Language Compiler\n"
    "Ostrane Rendering Tools 2.5.0.7 intelnt (Adheres to the RenderMan Standard)\n"
    "\n"
    "Usage: murn [options] file.sl\n"
    "   options:\n"
    "         -Ipath       Specify a path for #include files\n"
    "         -Dsym[=val]  Specify preprocessor symbol definition\n"
    "         -o name      Specify alternative output filename\n"
    "         -q           Quiet mode (minimal terminal output)\n"
    "         -v           Verbose mode (more than usual terminal output\n"
    "         -x           Encrypt the .murn file (doesn't work with -dso)\n"
    "         -arch        Print out the platform architecture code\n"
    "\n";

} // namespace

// The output file to delete on an interrupt; copied here so that the handler
// reads only plain memory.
static char interrupt_output[4096];

void set_interrupt_output(const std::string &path)
{
    std::snprintf(interrupt_output, sizeof interrupt_output, "%s",
                  path.size() < sizeof interrupt_output ? path.c_str() : "");
}

namespace {


extern "C" void compiler_on_interrupt(int)
{
    std::fputs("*** Compilation interrupted.  Aborting.\n", stderr);
    if (interrupt_output[0])
        std::remove(interrupt_output);
    std::_Exit(1);
}

void print_usage()
{
    std::fflush(stderr);
    std::fputs(USAGE, stderr);
    std::fflush(stderr);
}


} // namespace

void begin_compilation()
{
    end_compilation();
    declare_global_variables();
    declare_builtin_functions();
}

void end_compilation()
{
    reset_parser();
    reset_emission();
    reset_nodes();
    reset_symbol_tables();
    reset_shadeops();
    reset_string_pool();
    checking_function = nullptr;
    error_flag = 0;
}

int compile_preprocessed(std::FILE *in)
{
    parse_stream(in);
    return compile_parsed();
}

int compile_parsed()
{
    if (error_flag)
        return error_flag;
    if (!root) {
        std::fflush(stderr);
        std::fputs("No code generated\n", stderr);
        std::fflush(stderr);
        error_flag = 1;
        return error_flag;
    }
    root->type_check(0);
    if (error_flag)
        return error_flag;
    ParseNode *tree = root->fold();
    if (!error_flag) {
        tree->emit_asm();
    }
    return error_flag;
}

void remove_failed_output()
{
    if (!error_flag)
        return;
    // Only a file this run made: an existing file, FIFO or device is not ours.
    if (output_created())
        std::remove(opened_output_path().c_str());
}

int compiler_main(int argc, char **argv)
{
    reset_writer();
    verbosity = 1;
    std::vector<std::string> cpp_options;
    std::string input;
    shadeop_path = ".";

    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (!std::strcmp(a, "-") || !std::strcmp(a, "-help") || !std::strcmp(a, "-h")) {
            print_usage();
            return 0;
        } else if (!std::strcmp(a, "-o")) {
            if (i + 1 < argc)
                output_path = argv[++i];
        } else if (!std::strcmp(a, "-crypt") || !std::strcmp(a, "-encrypt")) {
            scramble_level = 1;
        } else if (!std::strcmp(a, "-dso")) {
            std::fflush(stderr);
            std::fprintf(stderr, "murn: the -dso flag is not supported on %s\n", velk::ARCH_CODE);
            std::fflush(stderr);
        } else if (!std::strcmp(a, "-d")) {
            debug_lines = true;
        } else if (!std::strcmp(a, "-v")) {
            verbosity = 2;
        } else if (!std::strcmp(a, "-q")) {
            verbosity = 0;
        } else if (!std::strcmp(a, "-g") || !std::strcmp(a, "-O") || !std::strcmp(a, "-O2") ||
                   !std::strcmp(a, "-sd") || !std::strcmp(a, "-nosd")) {
        } else if (!std::strcmp(a, "-arch")) {
            std::printf("%s\n", velk::ARCH_CODE);
            std::fflush(stdout);
            return 0;
        } else if (a[0] == '-') {
            cpp_options.push_back(a);
            // ';' separates the directories: after ':' a one-letter directory
            // name would read as a drive letter.
            if (!std::strncmp(a, "-I", 2))
                shadeop_path += std::string(";") + (a + 2);
        } else {
            input = a;
        }
    }

    if (input.empty()) {
        print_usage();
        return -1;
    }
    if (std::FILE *f = std::fopen(input.c_str(), "r")) {
        std::fclose(f);
    } else {
        std::fflush(stderr);
        std::fprintf(stderr, "murn error: File \"%s\" not found.\n", input.c_str());
        std::fflush(stderr);
        return -1;
    }
    std::string cpp = find_preprocessor();
    if (cpp.empty()) {
        std::fflush(stderr);
        std::fputs("murn error: cannot find cpp\n", stderr);
        std::fflush(stderr);
        return -1;
    }

    std::string path_setting = shadeop_path;
    begin_compilation();
    shadeop_path = path_setting;
    source_path = input;
    set_interrupt_output("");
    std::signal(SIGINT, compiler_on_interrupt);

    velk::ChildProcess preprocessor;
    if (!preprocessor.start(preprocessor_argv(cpp, cpp_options, input), velk::ChildProcess::PIPE_OUTPUT)) {
        std::fflush(stderr);
        std::fprintf(stderr, "murn error: cannot run %s: %s\n", cpp.c_str(),
                     preprocessor.error().c_str());
        std::fflush(stderr);
        end_compilation();
        return -1;
    }
    std::FILE *in = fdopen(preprocessor.release_output(), "r");
    parse_stream(in);
    // Our end of the pipe closes first, so that a preprocessor still writing
    // ends instead of waiting for us.
    std::fclose(in);
    int status = preprocessor.wait();
    if (status != 0 && !error_flag) {
        std::fflush(stderr);
        std::fprintf(stderr, "murn error: %s failed on \"%s\"\n", cpp.c_str(), input.c_str());
        std::fflush(stderr);
        error_flag = 1;
    }
    compile_parsed();
    remove_failed_output();
    int result = error_flag;
    std::signal(SIGINT, SIG_DFL);
    end_compilation();
    reset_writer();
    return result;
}

} // namespace murn
