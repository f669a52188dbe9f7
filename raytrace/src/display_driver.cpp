#include "raytrace/display_driver.h"

#include <cstring>

#include "platform/dynlib.h"
#include "ri_common/searchpath.h"

std::string DisplayDriver::library_name(const char *type)
{
    return std::string("d_") + (type ? type : "") + ".so";
}

bool DisplayDriver::valid_type(const char *type)
{
    return type && *type && !strchr(type, '/') && !strchr(type, '\\');
}

int DisplayDriver::locate(const char *type, const char *path, std::string &found, std::string &reason)
{
    found.clear();
    reason.clear();
    if (!valid_type(type)) return DSO_NOT_FOUND;
    if (!find_in_path(library_name(type).c_str(), path ? path : ".", found)) return DSO_NOT_FOUND;
    velk::DynLib *lib = velk::dynlib_open(found.c_str());
    if (!lib) {
        reason = velk::dynlib_last_error();
        return DSO_LOAD_FAILED;
    }
    velk::dynlib_close(lib);
    return DSO_LOADED;
}

bool DisplayDriver::load(const std::string &found, std::string &reason)
{
    unload();
    lib_ = velk::dynlib_open(found.c_str());
    if (!lib_) {
        reason = velk::dynlib_last_error();
        return false;
    }
    open_fn_ = velk::dynlib_function<DspyImageOpenFunction>(lib_, "DspyImageOpen");
    data_fn_ = velk::dynlib_function<DspyImageDataFunction>(lib_, "DspyImageData");
    close_fn_ = velk::dynlib_function<DspyImageCloseFunction>(lib_, "DspyImageClose");
    delay_close_fn_ = velk::dynlib_function<DspyImageCloseFunction>(lib_, "DspyImageDelayClose");
    if (!open_fn_ || !data_fn_) {
        reason = velk::dynlib_last_error();
        unload();
        return false;
    }
    return true;
}

void DisplayDriver::unload()
{
    if (open_) close();
    if (lib_) velk::dynlib_close(lib_);
    lib_ = nullptr;
    open_fn_ = nullptr;
    data_fn_ = nullptr;
    close_fn_ = delay_close_fn_ = nullptr;
}

int DisplayDriver::open(const char *type, const char *filename, int width, int height,
                        const std::vector<DspyParameter> &parameters, std::vector<DspyFormat> &formats,
                        DspyFlags &flags)
{
    if (open_) close();
    if (!open_fn_) return DSPY_ERROR;
    image_ = nullptr;
    flags.flags = 0;
    flags.reserved = 0;
    int answer = open_fn_(&image_, type, filename, width, height, int32_t(parameters.size()),
                          parameters.data(), int32_t(formats.size()), formats.data(), &flags);
    open_ = answer == DSPY_OK;
    return answer;
}

int DisplayDriver::data(int xmin, int xmax_plus_one, int ymin, int ymax_plus_one, int entrysize,
                        const unsigned char *pixels)
{
    if (!open_ || !data_fn_) return DSPY_ERROR;
    return data_fn_(image_, xmin, xmax_plus_one, ymin, ymax_plus_one, entrysize, pixels);
}

void DisplayDriver::close()
{
    if (!open_) return;
    open_ = false;
    if (delay_close_fn_) delay_close_fn_(image_);
    else if (close_fn_) close_fn_(image_);
    image_ = nullptr;
}
