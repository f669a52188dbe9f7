// Writes one of the test scenes through the RIB writer:
//   velk_test_ribwriter every|render OUTPUT [binary] [DISPLAY]
// OUTPUT is what RiBegin takes ("-" for standard output).
#include <cstring>

#include "ri_common/ri.h"
#include "tests/tools/ribwriter/scene.h"

int main(int argc, char **argv)
{
    if (argc < 3) return 2;
    bool binary = argc > 3 && std::strcmp(argv[3], "binary") == 0;
    const char *display = argc > 4 ? argv[4] : "out.tif";
    RiBegin(std::strcmp(argv[2], "-") == 0 ? RI_NULL : argv[2]);
    if (binary) {
        RtInt one = 1;
        RiOption("rib", "binary", &one, RI_NULL);
    }
    if (std::strcmp(argv[1], "every") == 0) ribtest::write_every_request(display);
    else ribtest::write_render_scene(display);
    RiEnd();
    return 0;
}
