// The rendered image as a TIFF file: written row by row from the top, with
// the tags that say which renderer made it, how it was sampled and where the
// cropped part lies in the whole picture.
#pragma once
#include <tiffio.h>

#include <string>
#include <vector>

#include "platform/files.h"

// The tags besides the pixel layout.
struct ImageTiffTags {
    int rows_per_strip = 8;
    float xresolution = 72, yresolution = 72;   // no resolution tags when x is 0
    int resolution_unit = RESUNIT_NONE;
    bool positioned = false;                    // XPosition/YPosition are written
    int xposition = 0, yposition = 0;           // the crop window's first column and row
    int format_width = 0, format_height = 0;    // the whole picture
    int xsamples = 1, ysamples = 1;             // pixel samples
};

// The ImageDescription text ("VELK<version> <arch>, res<w>x<h>, samp<x>x<y>").
std::string image_tiff_description(const ImageTiffTags &tags);
// The Software tag text.
const char *image_tiff_software();
// The host name put in HostComputer: $HOSTNAME, else $host; null when neither is set.
const char *image_tiff_host();

class ImageTiff {
public:
    ImageTiff() = default;
    ~ImageTiff() { close(); }
    ImageTiff(const ImageTiff &) = delete;
    ImageTiff &operator=(const ImageTiff &) = delete;

    // Starts the file (beside path, put in its place by close()): width x
    // height pixels of samples channels of bits (8, 16 or 32 float) each; LZW
    // with horizontal differencing when compress is set and the samples are
    // integers. False when it cannot be created.
    bool create(const char *path, int width, int height, int samples, int bits, bool compress,
                const ImageTiffTags &tags);
    bool is_open() const { return tif_ != nullptr; }
    // Writes row y (from the top). Rows must come in order: rows skipped are
    // written black first, a row already written is ignored. False on a
    // write failure (after which nothing more is written) or a row outside
    // the image.
    bool write_row(int y, const void *pixels);
    // Writes black rows for every row not yet written, closes and puts the
    // file in place; false, the old file left as it was, when anything could
    // not be stored.
    bool close();
    // Drops the unfinished file; the old one stays.
    void abandon();
    // What libtiff said of the first failure ("" when it said nothing).
    const std::string &complaint() const { return complaint_; }

private:
    TIFF *tif_ = nullptr;
    velk::OutputFile file_;
    int width_ = 0, height_ = 0;
    size_t row_bytes_ = 0;
    int next_row_ = 0;
    bool failed_ = false;
    std::string complaint_;
    std::vector<unsigned char> scratch_;
};
