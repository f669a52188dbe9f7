// Display-driver libraries: finding "d_<type>.so" on the display search path,
// loading it and calling its entry points.
#pragma once
#include <string>
#include <vector>

#include "raytrace/dspy.h"

namespace velk { struct DynLib; }

class DisplayDriver {
public:
    DisplayDriver() = default;
    ~DisplayDriver() { unload(); }
    DisplayDriver(const DisplayDriver &) = delete;
    DisplayDriver &operator=(const DisplayDriver &) = delete;

    // The library file name of a driver type ("d_<type>.so").
    static std::string library_name(const char *type);
    // A type may name a driver only when it is a plain name (no "/").
    static bool valid_type(const char *type);
    // Finds the library of type on path (null: "."): DSO_LOADED with its full
    // name in found after a trial load, DSO_NOT_FOUND, or DSO_LOAD_FAILED with
    // the loader's reason.
    static int locate(const char *type, const char *path, std::string &found, std::string &reason);

    // Loads the library at found (the one locate found) in place of the
    // current one; false with the reason when it does not load or lacks
    // DspyImageOpen or DspyImageData.
    bool load(const std::string &found, std::string &reason);
    bool loaded() const { return lib_ != nullptr; }
    void unload();

    // DspyImageOpen; the answer of the driver (DSPY_OK on success).
    int open(const char *type, const char *filename, int width, int height,
             const std::vector<DspyParameter> &parameters, std::vector<DspyFormat> &formats,
             DspyFlags &flags);
    bool is_open() const { return open_; }
    // DspyImageData for a block of image coordinates.
    int data(int xmin, int xmax_plus_one, int ymin, int ymax_plus_one, int entrysize,
             const unsigned char *pixels);
    // DspyImageDelayClose when the driver has it, else DspyImageClose.
    void close();

private:
    velk::DynLib *lib_ = nullptr;
    DspyImageOpenFunction open_fn_ = nullptr;
    DspyImageDataFunction data_fn_ = nullptr;
    DspyImageCloseFunction close_fn_ = nullptr;
    DspyImageCloseFunction delay_close_fn_ = nullptr;
    DspyImageHandle image_ = nullptr;
    bool open_ = false;
};
