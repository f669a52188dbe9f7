// Depth files ("zfiles"): a depth map with the camera matrices it was made
// under. Layout, all big-endian: magic 2f 08 67 ab, 16-bit width and height,
// world-to-screen and world-to-camera matrices (16 floats each, row by row),
// then width x height depth floats, rows from the top.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// An open depth file; opaque.
struct DepthFile;

const uint32_t ZFILE_MAGIC = 0x2f0867abu;
const size_t ZFILE_HEADER_SIZE = 136;
// Largest width or height the 16-bit fields hold.
const int ZFILE_MAX_SIZE = 65535;

// Error codes left by the open routines.
enum ZFileError {
    ZFILE_OK = 0,
    ZFILE_CANNOT_CREATE = 1,   // the file could not be created
    ZFILE_CANNOT_OPEN = 2,     // the file could not be opened for reading
    ZFILE_BAD_MAGIC = 3,       // not a depth file
    ZFILE_SHORT_HEADER = 4,    // the header ends early
    ZFILE_BAD_SIZE = 5,        // width or height outside 1..65535
    ZFILE_NO_PIXELS = 6,       // the header gives no pixels (read whole only)
    ZFILE_ENDS_EARLY = 7,      // fewer depths than the header gives (read whole only)
};

// The error code of the last failed open.
int zfile_error();

// Opens a depth file for reading and reads its header (either byte order of the
// magic is accepted; everything else is big-endian); the matrices may be null.
// Prints "Opened zfile <path>, <w> x <h>" on standard output when announce.
// Null on failure.
DepthFile *zfile_open_read(const char *path, int *width, int *height,
                           float world_to_screen[16], float world_to_camera[16], bool announce = true);

// A depth file read whole.
struct DepthMap {
    int width = 0, height = 0;
    float world_to_screen[16] = {}, world_to_camera[16] = {};
    std::vector<float> depths;   // rows from the top
};
// Reads a depth file whole: ZFILE_OK, or the reason it could not (also left
// for zfile_error). A file too short for its header's size is refused before
// room is made for the depths.
int zfile_read_map(const char *path, DepthMap &map, bool announce = true);
// Creates a depth file and writes its header; sizes that do not fit the
// 16-bit fields are refused. Null on failure.
DepthFile *zfile_open_write(const char *path, int width, int height,
                            const float world_to_screen[16], const float world_to_camera[16]);
// Reads count depths; false when the file ends early (the rest are set to 0).
bool zfile_read_rows(DepthFile *file, size_t count, float *out);
// Writes count depths (the caller's buffer is not changed); false on failure.
bool zfile_write_rows(DepthFile *file, size_t count, const float *depths);
// Closes the file; false when anything written could not be stored.
bool zfile_close(DepthFile *file);
