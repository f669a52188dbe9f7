// murnpeek: prints the kind, the name and the parameters with their defaults
// of each compiled shader named on the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "ri_common/rierror.h"
#include "tools/murnargs.h"

namespace {

const char USAGE[] =
    "murnpeek - Give info on compiled shader file (.murn)\n"
    "Ostrane Rendering Tools 2.5.0.7 intelnt (Adheres to the RenderMan Standard)\n"
    "\n"
    "Usage: murnpeek <shadername>\n"
    "\n";

// A string as it stands between quotes: quotes, backslashes and line ends
// escaped.
std::string escaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

void print_triple(const MurnargsParam &p, const char *default_space)
{
    std::printf("\"%s\" [%g %g %g]\n", p.has_space ? p.space.c_str() : default_space,
                static_cast<double>(p.values[0]), static_cast<double>(p.values[1]),
                static_cast<double>(p.values[2]));
}

// The default of one parameter, ending its line.
void print_default(const MurnargsParam &p)
{
    if (p.known == MurnargsParam::PER_POINT) {
        std::printf("only known per shading point\n");
        return;
    }
    if (p.known == MurnargsParam::NOT_KNOWN) {
        std::printf("not known (computed by code that cannot run here)\n");
        return;
    }
    if (!p.array_values.empty()) {
        // Arrays: every element, the triples and matrices in brackets of their own.
        size_t n = p.type == MA_FLOAT ? 1 : p.type == MA_MATRIX ? 16 : 3;
        std::printf("[");
        for (size_t i = 0; i < p.array_values.size(); ++i) {
            if (i > 0) std::printf(" ");
            if (n > 1 && i % n == 0) std::printf("[");
            std::printf("%g", static_cast<double>(p.array_values[i]));
            if (n > 1 && i % n == n - 1) std::printf("]");
        }
        std::printf("]\n");
        return;
    }
    if (!p.default_value()) {
        std::printf("\n");
        return;
    }
    switch (p.type) {
    case MA_FLOAT:
        std::printf("%g\n", static_cast<double>(p.values[0]));
        break;
    case MA_POINT: case MA_VECTOR: case MA_NORMAL:
        print_triple(p, "current");
        break;
    case MA_COLOR:
        print_triple(p, "rgb");
        break;
    case MA_STRING:
        std::printf("\"%s\"\n", escaped(p.text).c_str());
        break;
    case MA_MATRIX:
        std::printf("[ ");
        for (float v : p.values) std::printf("%g ", static_cast<double>(v));
        std::printf("]\n");
        break;
    default:
        std::printf("\n");
        break;
    }
}

// Prints one shader's interface; false when it cannot be found or read.
bool report(const char *arg)
{
    std::string name = arg;
    const std::string ext = ".murn";
    if (name.size() >= ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
        name.resize(name.size() - ext.size());
    int opened = murnargs_open(name.c_str());
    if (ri_run_end_status()) return false;   // a broken shader ended the run: nothing more is told
    if (opened != 0) {
        if (*murnargs_error())
            std::fprintf(stderr, "murnpeek: Bad compiled shader %s\n", murnargs_error());
        else
            std::fprintf(stderr, "murnpeek: Could not find shader \"%s\"\n", name.c_str());
        return false;
    }
    std::printf("%s \"%s\"\n", murnargs_type_name(murnargs_shader_type()), murnargs_shader_name());
    for (int i = 1; i <= murnargs_param_count(); ++i) {
        const MurnargsParam *p = murnargs_param_by_index(i);
        const char *type = murnargs_type_name(p->type);
        std::printf("    \"%s\" \"%s%s %s", p->name.c_str(), p->storage == MA_OUTPUTPARAMETER ? "output " : "",
                    murnargs_detail_name(p->detail), type ? type : "");
        if (p->array_length > 0) std::printf("[%d]", p->array_length);
        std::printf("\"\n\t\tDefault value: ");
        print_default(*p);
    }
    std::printf("\n");
    std::fflush(stdout);
    murnargs_release();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs(USAGE, stderr);
        return 0;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (!std::strcmp(a, "-") || !std::strcmp(a, "-help") || !std::strcmp(a, "-h")) {
            std::fputs(USAGE, stderr);
            break;
        }
        if (!report(a)) status = 1;
        if (int ended = ri_run_end_status()) return ended;
    }
    return status;
}
