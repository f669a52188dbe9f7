#include "ri/raylume_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/arch.h"
#include "ri/ribfile.h"
#include "ri/reader_state.h"
#include "ri_common/rierror.h"
#include "ri_common/ri.h"
#include "ri/tokens.h"

namespace {

void verbosity(const char *word) {
    RtString value = word;
    RiOption("runtime", "verbosity", &value, RI_NULL);
}

void int_option(const char *name, const char *token, const char *operand) {
    RtInt v = std::atoi(operand);
    RiOption(name, token, &v, RI_NULL);
}

void float_option(const char *name, const char *token, const char *operand) {
    RtFloat v = static_cast<RtFloat>(std::atof(operand));
    RiOption(name, token, &v, RI_NULL);
}

// One option: its names, its operand count and what it does with them.
struct CommandOption {
    const char *names[3];
    int operands;
    void (*apply)(char **op, SessionOptions &session);
};

const CommandOption OPTIONS[] = {
    {{"-", "-h", "-help"}, 0, [](char **, SessionOptions &s) {
         usage();
         s.end_status = 0;
     }},
    {{"-debug"}, 0, [](char **, SessionOptions &) { verbosity("debug"); }},
    {{"-frames"}, 2, [](char **op, SessionOptions &) {
         rib_frame_filter.first = std::atoi(op[0]);
         rib_frame_filter.last = std::atoi(op[1]);
     }},
    {{"-res"}, 2, [](char **op, SessionOptions &) { RiFormat(std::atoi(op[0]), std::atoi(op[1]), 1.0f); }},
    {{"-safe"}, 0, [](char **, SessionOptions &) {
         RtInt one = 1;
         RiOption("render", "safetyfile", &one, RI_NULL);
     }},
    {{"-sync"}, 1, [](char **, SessionOptions &) {}},
    {{"-samples"}, 2, [](char **op, SessionOptions &) {
         RiPixelSamples(static_cast<RtFloat>(std::atoi(op[0])), static_cast<RtFloat>(std::atoi(op[1])));
     }},
    {{"-crop"}, 4, [](char **op, SessionOptions &) {
         RiCropWindow(static_cast<RtFloat>(std::atof(op[0])), static_cast<RtFloat>(std::atof(op[1])),
                      static_cast<RtFloat>(std::atof(op[2])), static_cast<RtFloat>(std::atof(op[3])));
     }},
    {{"-var"}, 3, [](char **op, SessionOptions &) {
         RiPixelVariance(static_cast<RtFloat>(std::atof(op[0])));
         RtInt lo = std::atoi(op[1]), hi = std::atoi(op[2]);
         RiOption("render", "minsamples", &lo, "maxsamples", &hi, RI_NULL);
     }},
    {{"-v"}, 0, [](char **, SessionOptions &) { verbosity("verbose"); }},
    {{"-silent"}, 0, [](char **, SessionOptions &) { verbosity("silent"); }},
    {{"-progress"}, 0, [](char **, SessionOptions &s) {
         verbosity("silent");
         s.progress_mode = 1;
     }},
    {{"-Progress"}, 0, [](char **, SessionOptions &s) {
         verbosity("silent");
         s.progress_mode = 2;
     }},
    {{"-stat", "-stats"}, 0, [](char **, SessionOptions &) { verbosity("stats"); }},
    {{"-d"}, -1, nullptr},  // an optional operand: handled in parse_options
    {{"-ascii"}, 0, [](char **, SessionOptions &) { options_set_ascii_preview(); }},
    {{"-zoom"}, 1, [](char **op, SessionOptions &s) {
         s.pixel_zoom = std::atoi(op[0]);
         if (s.pixel_zoom < 1) s.pixel_zoom = 1;
     }},
    {{"-radio"}, 1, [](char **op, SessionOptions &) { int_option("radiosity", "steps", op[0]); }},
    {{"-patchsize"}, 1, [](char **op, SessionOptions &) { float_option("radiosity", "patchsize", op[0]); }},
    {{"-elemsize"}, 1, [](char **op, SessionOptions &) { float_option("radiosity", "elemsize", op[0]); }},
    {{"-minsize"}, 1, [](char **op, SessionOptions &) { float_option("radiosity", "minsize", op[0]); }},
    {{"-radout"}, 0, [](char **, SessionOptions &s) { s.radiosity_output = 1; }},
    {{"-rsamples"}, 1, [](char **op, SessionOptions &) { int_option("radiosity", "minpatchsamples", op[0]); }},
    {{"-pos"}, 2, [](char **op, SessionOptions &) { options_set_window_position(std::atoi(op[0]), std::atoi(op[1])); }},
    {{"-rayserver"}, 0, [](char **, SessionOptions &) {
         options_set_ray_server();
         verbosity("silent");
         RtFloat half = 0.5f, bias = 0.02f;
         RiAttribute("render", "patch_multiplier", &half, RI_NULL);
         RiOption("render", "minshadowbias", &bias, RI_NULL);
     }},
    {{"-of"}, 1, [](char **op, SessionOptions &) { options_set_output_name(NewToken(op[0])); }},
    {{"-beep"}, 0, [](char **, SessionOptions &s) { s.bell = 1; }},
    {{"-maxload"}, 1, [](char **, SessionOptions &) {}},
    {{"-arch"}, 0, [](char **, SessionOptions &s) {
         std::printf("%s\n", velk::ARCH_CODE);
         s.end_status = 0;
     }},
};

const CommandOption *find_option(const char *arg) {
    for (const CommandOption &o : OPTIONS)
        for (const char *name : o.names)
            if (name && std::strcmp(name, arg) == 0) return &o;
    return nullptr;
}

// "-d [n]": the display override, a power of two up to 32 when n is given.
int display_option(int argc, char **argv, int i, SessionOptions &session) {
    session.display_override = 1;
    if (i + 1 < argc) {
        int n = std::atoi(argv[i + 1]);
        if (n > 0) {
            if (n > 32) n = 32;
            int step = 1;
            while (step * 2 <= n) step *= 2;
            session.display_override = step;
            return i + 2;
        }
    }
    return i + 1;
}

} // namespace

int parse_options(int argc, char **argv, SessionOptions &session) {
    options_set_window_position(100, 100);
    if (argc < 2) return 1;
    int i = 1;
    while (i < argc) {
        const CommandOption *o = find_option(argv[i]);
        if (!o) {
            if (is_unknown_option(argv[i])) session.end_status = 1;
            break;
        }
        if (o->operands < 0) {
            i = display_option(argc, argv, i, session);
            continue;
        }
        if (o->operands > argc - i - 1) {
            ri_error(RIE_MISSINGDATA, RIE_ERROR, "Option %s takes %d operand%s", argv[i], o->operands,
                     o->operands == 1 ? "" : "s");
            session.end_status = 1;
            break;
        }
        o->apply(argv + i + 1, session);
        i += 1 + o->operands;
        if (session.end_status >= 0) break;
    }
    return i;
}

void usage() {
    std::fputs("\n"
               "raylume - Ray tracing / radiosity renderer for RIB files\n"
               "Ostrane Rendering Tools 2.5.0.7 intelnt (Adheres to the RenderMan Standard)\n"
               "Reads scene descriptions in RIB (ASCII, binary or gzip-compressed)\n"
               "from the files named, or from standard input when none is named.\n"
               "\n"
               "Usage: raylume [options] file1 ... fileN\n"
               "  options:  -res x y          Specify image resolution (if not in RIB)\n"
               "\t    -samples x y      Specify pixel sampling rate (if not in RIB)\n"
               "\t    -var v min max    Specify pixel sampling variance\n"
               "\t    -frames f1 f2     Specify frame interval\n"
               "\t    -radio n          Perform radiosity calculation with n steps\n"
               "\t    -crop x1 x2 y1 y2 Set the crop window (screen space units)\n"
               "\t    -safe             Safety of existing files (no overwrite)\n"
               "\t    -d [interlace]    Display override - show in framebuffer\n"
               "\t    -pos x y          Specify image position (for framebuffer display)\n"
               "\t    -v                Verbose mode\n"
               "\t    -stats            Display rendering statistics\n"
               "\t    -silent           Display only error messages\n"
               "\t    -rayserver        Act as a ray server\n"
               "\t    -beep             Ring the terminal bell when finished\n"
               "\t    -arch             Print out the platform architecture code\n"
               "\n",
               stdout);
}
