#include "ri/display_words.h"

#include "ri_common/rierror.h"
#include "ri_common/same_string.h"

namespace {

struct DisplayMode {
    const char *name;
    int bits;
};
const DisplayMode DISPLAY_MODES[] = {
    {"rgb", 1}, {"RGB", 1}, {"rgba", 3}, {"RGBA", 3}, {"rgbz", 7}, {"RGBZ", 7},
    {"rgbaz", 7}, {"RGBAZ", 7}, {"z", 4},
};

} // namespace

int display_mode_bits(const char *mode)
{
    for (const DisplayMode &m : DISPLAY_MODES)
        if (is(mode, m.name)) return m.bits;
    ri_error(RIE_UNIMPLEMENT, RIE_WARNING, "No support for arbitrary output variables: display mode \"%s\"",
             mode ? mode : "");
    return 3;
}

int display_compression_code(const char *word)
{
    if (is(word, "none")) return 0;
    if (is(word, "lzw")) return 1;
    if (is(word, "zip")) return 2;
    return -1;
}
