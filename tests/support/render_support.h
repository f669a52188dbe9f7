// Renders RIB with the real raylume and reads back what it wrote: a float dump
// on its standard output or a TIFF file. The tools of the image tests.
#pragma once
#include <string>
#include <vector>

#include "tests/support/run_program.h"

namespace e2e {

// An image of floats, rows from the top, channels interleaved.
struct Image {
    int width = 0, height = 0, channels = 0;
    std::vector<float> values;
    bool empty() const { return values.empty(); }
    float at(int x, int y, int c) const { return values[(size_t(y) * width + x) * channels + c]; }
};

// One run of raylume and the image it gave (empty when none could be read).
struct Render {
    velktest::RunResult run;
    Image image;
};

// Runs raylume -silent on the RIB in dir (written there as scene.rib), with a
// HOME of its own and no shader path in the environment.
velktest::RunResult raylume(const velktest::TempDir &dir, const std::string &rib,
                            std::vector<std::string> args = {});

// Renders a frame to a float dump ("rgba") and parses it.
Render render_floatdump(const std::string &rib);

// Reads an 8- or 16-bit or float TIFF file (contiguous samples) as floats of
// the stored values; empty when it cannot be read.
Image read_tiff(const std::string &path);

// The options of an exact frame: w x h pixels, one unjittered sample at each
// pixel centre, a box filter that keeps every pixel to itself, no dither, and
// float output to a float dump.
std::string exact_floatdump_options(int w, int h);

// An orthographic camera on which one world unit is one pixel: world (x, y)
// with 0 <= x < w, 0 <= y < h falls in pixel (x, h - 1 - y); the world lies
// at depth 5.
std::string pixel_camera(int w, int h);

// A disk that covers the centre of the unit square whose lower left corner
// is at (x, y, z), and no other pixel centre: on the pixel camera it lights
// exactly one pixel.
std::string unit_disk(float x, float y, float z = 0);

} // namespace e2e
