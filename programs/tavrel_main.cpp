// tavrel: makes MIP-mapped textures, environment maps and shadow maps from the
// command line through the texture-making requests.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/arch.h"
#include "ri_common/ri.h"
#include "shading_files/texmake.h"

namespace {

[[noreturn]] void usage()
{
    std::printf("\n"
                "tavrel - Make a MIP-Map out of a TIFF file\n"
                "Ostrane Rendering Tools 2.5.0.7 %s (Adheres to the RenderMan Standard)\n"
                "Turns TIFF pictures into MIP-mapped texture files and environment maps,\n"
                "and depth files into shadow maps.\n"
                "\n"
                "Run modes:\n"
                "    tavrel [options] tifffile texturefile\n"
                "    tavrel -envlatl [options] tifffile envfile\n"
                "    tavrel -envcube [-fov <f>] [options] px nx py ny pz nz envfile\n"
                "    tavrel -shadow [options] zfile shadfile\n"
                "options:\n"
                "    -mode (black|clamp|periodic)\n"
                "    -smode (black|clamp|periodic)\n"
                "    -tmode (black|clamp|periodic)\n"
                "    -resize (up|down|round|up-|down-|round-)\n",
                velk::ARCH_CODE);
    std::exit(0);
}

bool is_any(const char *arg, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        if (std::strcmp(arg, n) == 0) return true;
    return false;
}

// Distinct texts, so that untouched defaults count as two different tokens.
char default_swrap[] = "black";
char default_twrap[] = "black";

struct Settings {
    RtToken swrap = default_swrap, twrap = default_twrap;
    RtFloat swidth = 1.0f, twidth = 1.0f;
    const char *filter = "box";   // accepted; the box filter is always passed
    RtFloat fov = 90.0f;
    bool shadow = false, envcube = false, envlatl = false;
    // Every "-resize" adds an entry; all entries share one value.
    RtString resize = "up";
    std::vector<RtToken> tokens;
    std::vector<RtPointer> params;
    std::vector<const char *> files;
};

void parse(int argc, char **argv, Settings &s)
{
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        // An option missing its value at the end of the line is dropped.
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool takes_value = true;
        if (is_any(a, {"-", "-h", "-help"})) {
            usage();
        } else if (is_any(a, {"-swrap", "-smode"})) {
            if (value) s.swrap = value;
        } else if (is_any(a, {"-twrap", "-tmode"})) {
            if (value) s.twrap = value;
        } else if (is_any(a, {"-wrap", "-mode"})) {
            if (value) s.swrap = s.twrap = value;
        } else if (is_any(a, {"-swidth", "-sfilterwidth"})) {
            if (value) s.swidth = float(std::atof(value));
        } else if (is_any(a, {"-twidth", "-tfilterwidth"})) {
            if (value) s.twidth = float(std::atof(value));
        } else if (is_any(a, {"-width", "-filterwidth"})) {
            if (value) s.swidth = s.twidth = float(std::atof(value));
        } else if (is_any(a, {"-filter"})) {
            if (value) s.filter = value;
        } else if (is_any(a, {"-pattern", "-ch"})) {
        } else if (is_any(a, {"-fov"})) {
            if (value) s.fov = float(std::atof(value));
        } else if (is_any(a, {"-resize"})) {
            if (value) {
                s.resize = value;
                s.tokens.push_back(const_cast<RtToken>("resize"));
                s.params.push_back(&s.resize);
            }
        } else {
            takes_value = false;
            if (is_any(a, {"-shadow"}))
                s.shadow = true;
            else if (is_any(a, {"-envcube"}))
                s.envcube = true;
            else if (is_any(a, {"-envlatl"}))
                s.envlatl = true;
            else if (!is_any(a, {"-bump", "-byte", "-short", "-word", "-float", "-uncompressed"}))
                s.files.push_back(a);
        }
        if (takes_value) ++i;
    }
}

} // namespace

int main(int argc, char **argv)
{
    Settings s;
    parse(argc, argv, s);
    if (s.files.size() < 2) {
        std::fputs("tavrel: both input and output filenames required\n", stderr);
        return 255;
    }
    if (int(s.shadow) + int(s.envcube) + int(s.envlatl) > 1) usage();

    // A making that reports an error ends with status 1, not as a success.
    RiLastError = 0;
    const RtInt n = RtInt(s.tokens.size());
    RtToken *tokens = s.tokens.data();
    RtPointer *params = s.params.data();
    const std::vector<const char *> &f = s.files;
    if (s.shadow) {
        make_shadow_file(f[0], f[1], n, tokens, params);
    } else if (s.envcube) {
        if (f.size() != 7) {
            std::fputs("Six input files required for cube env maps\n", stderr);
            return 255;
        }
        make_cubeface_file(f[0], f[1], f[2], f[3], f[4], f[5], f[6], s.fov, RiBoxFilter, s.swidth,
                                   s.twidth, n, tokens, params);
    } else if (s.envlatl) {
        make_latlong_file(f[0], f[1], RiBoxFilter, s.swidth, s.twidth, n, tokens, params);
    } else {
        make_texture_file(f[0], f[1], s.swrap, s.twrap, RiBoxFilter, s.swidth, s.twidth, n, tokens, params);
    }
    return RiLastError == 0 ? 0 : 1;
}
