// Whole-image TIFF reads and writes for texture making, texture opening and
// image output. Failures leave a text for the caller to report
// (tiff_error_text); nothing here reports through the RI error handler.
#pragma once
#include <tiffio.h>

#include <cstddef>
#include <vector>

// What a TIFF file holds. Sample format 1 is unsigned integer, 3 float.
struct TiffImageInfo {
    int width = 0;
    int height = 0;
    int samples = 0;        // samples per pixel
    int bits = 0;           // bits per sample: 8, 16 or 32
    int sampleformat = 1;
    float xposition = 0.0f;
    float yposition = 0.0f;
    int tile_width = 0;     // 0 for a scanline file
    int tile_length = 0;
};

// The text of the last failure: "TIFF file not found", "exists but is not a
// TIFF texture (<what libtiff found>)", "Bad TIFF bitspersample", "Could not
// open TIFF file for writing", ...; null before any.
const char *tiff_error_text();
// True when the last failure was a file that is there but that libtiff
// refused to open.
bool tiff_error_refused();

// Opens a TIFF file for reading, libtiff's warnings and its complaint about
// the file kept quiet; null when it cannot (the error text then tells a
// missing file from one that is not a TIFF file, with libtiff's reason).
TIFF *tiff_open(const char *path);

// Reads the description of a file; false when it cannot be opened or its bits
// per sample are not 8, 16 or 32.
bool tiff_probe(const char *path, TiffImageInfo &info);

// As tiff_probe but keeps the file open and returns the libtiff handle (the
// caller closes it with TIFFClose). PixarLog files are set to deliver float
// samples and reported as 32-bit float.
TIFF *tiff_open_read(const char *path, TiffImageInfo &info);

// Reads the whole image, rows from the top, pixels of info.samples samples
// packed back to back, into pixels (resized to fit). False on failure.
bool tiff_read_image(const char *path, TiffImageInfo &info, std::vector<unsigned char> &pixels);

// Bytes of a packed image of that description.
size_t tiff_image_bytes(const TiffImageInfo &info);

// Creates a file with the fields of the description: planar contiguous,
// orientation top-left, the compression, tiles when both tile sizes are set
// (else 8 rows per strip), grey for one sample, RGB otherwise, associated
// alpha for four samples, 72 pixels per inch. Null when it cannot be created.
TIFF *tiff_open_write(const char *path, const TiffImageInfo &info, int compression);

// Writes a packed image (as tiff_read_image gives it) with the description's
// layout; LZW of integer samples uses horizontal differencing. 0, or -1 when
// the file cannot be created or written.
int tiff_write_image(const char *path, const void *pixels, const TiffImageInfo &info,
                     int compression);
