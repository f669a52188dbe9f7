#include "preview/framedump.h"

#include <GL/gl.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include "platform/files.h"
#include "platform/window.h"
#include "preview/glrenderer.h"
#include "ri/depth_projection.h"
#include "ri_common/rierror.h"
#include "ri_common/same_string.h"
#include "shading_files/depthfile.h"
#include "shading_files/tiffimage.h"

namespace {

const char SOFTWARE[] = "pevrin - Ostrane Rendering Tools 2.5.0g";

} // namespace

std::string zfile_name(const std::string &image)
{
    size_t slash = image.rfind('/');
    size_t dot = image.rfind('.');
    // A "." of a directory is not the file name's.
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return image + ".zfile";
    return image.substr(0, dot) + ".zfile";
}

float gl_depth_to_camera(float d, float n, float f, bool orthographic)
{
    if (d >= 1) return 1e30f;
    if (orthographic) return n + (f - n) * d;
    return -(n * f) / (f - n) / (d - (f + n) / (2 * (f - n)) - 0.5f);
}

std::string tiff_date_time()
{
    std::time_t now = std::time(nullptr);
    std::tm t;
    localtime_r(&now, &t);
    char text[80];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

void GlRenderer::dump_frame()
{
    if (!window_) return;
    int w = options.crop_width, h = options.crop_height;
    if (w < 1 || h < 1) return;
    std::unique_ptr<unsigned char[]> rgba(new (std::nothrow) unsigned char[size_t(w) * h * 4]);
    if (!rgba) {
        ri_error(RIE_NOMEM, RIE_ERROR, "Could not allocate memory for dumping the GL buffer");
        return;
    }
    velk::ReadBuffer from = options.offscreen || options.doublebuffer ? velk::ReadBuffer::BACK
                                                                      : velk::ReadBuffer::FRONT;
    std::memset(rgba.get(), 0, size_t(w) * h * 4);
    window_->read_rgba(0, 0, w, h, from, rgba.get());

    const char *name = options.display_name ? options.display_name : "ri.tif";
    // A dump never takes the place of something still being read (the RIB) or read before (an archive).
    auto being_read = [](const char *file) {
        if (velk::open_for_reading_here(file)) {
            ri_error(RIE_CONSISTENCY, RIE_ERROR, "Display: the output \"%s\" is a file being read; it is not written",
                     file);
            return true;
        }
        if (!velk::was_input(file)) return false;
        ri_error(RIE_CONSISTENCY, RIE_ERROR, "Display: the output \"%s\" is a file the frame read; it is not written",
                 file);
        return true;
    };
    if (being_read(name)) return;
    TiffImageInfo info;
    info.width = w;
    info.height = h;
    info.samples = 4;
    info.bits = 8;
    velk::OutputFile image_file;
    TIFF *tif = image_file.open(name) ? tiff_open_write(image_file.path().c_str(), info, COMPRESSION_LZW) : nullptr;
    if (!tif) {
        image_file.discard();
        ri_error(RIE_BADFILE, RIE_SEVERE, "Could not open file \"%s\"", name);
        return;
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(options.rowsperstrip > 0 ? options.rowsperstrip : 1));
    if (options.display_resolution[0] != 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, options.display_resolution[0]);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, options.display_resolution[1]);
        const char *unit = options.resolution_unit;
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT,
                     uint16_t(is(unit, "inch") ? RESUNIT_INCH : is(unit, "cm") ? RESUNIT_CENTIMETER : RESUNIT_NONE));
    } else {
        TIFFUnsetField(tif, TIFFTAG_XRESOLUTION);
        TIFFUnsetField(tif, TIFFTAG_YRESOLUTION);
        TIFFUnsetField(tif, TIFFTAG_RESOLUTIONUNIT);
    }
    const float *c = options.crop;
    if (c[0] != 0 || c[1] != 1 || c[2] != 0 || c[3] != 1) {
        TIFFSetField(tif, TIFFTAG_XPOSITION, float(options.crop_bounds[0]));
        TIFFSetField(tif, TIFFTAG_YPOSITION, float(options.crop_bounds[2]));
    }
    TIFFSetField(tif, TIFFTAG_DATETIME, tiff_date_time().c_str());
    const char *host = std::getenv("HOSTNAME");
    if (!host) host = std::getenv("host");
    if (host) TIFFSetField(tif, TIFFTAG_HOSTCOMPUTER, host);
    TIFFSetField(tif, TIFFTAG_SOFTWARE, SOFTWARE);
    std::vector<unsigned char> row(size_t(w) * 4);
    bool written = true;
    for (int i = 0; i < h; i++) {
        // GL rows run from the bottom.
        std::memcpy(row.data(), rgba.get() + size_t(h - 1 - i) * w * 4, row.size());
        if (TIFFWriteScanline(tif, row.data(), uint32_t(i), 0) < 0) written = false;
    }
    if (!TIFFFlush(tif)) written = false;
    TIFFClose(tif);
    written = written && image_file.commit();
    if (!written) ri_error(RIE_BADFILE, RIE_ERROR, "Could not write file \"%s\"", name);

    if (!(options.dumpimage & 4)) return;
    std::unique_ptr<float[]> depth(new (std::nothrow) float[size_t(w) * h]);
    if (!depth) {
        ri_error(RIE_NOMEM, RIE_ERROR, "Could not allocate memory for dumping the GL zbuffer");
        return;
    }
    for (size_t k = 0; k < size_t(w) * h; k++) depth[k] = 1;
    window_->read_depth(0, 0, w, h, from, depth.get());
    float n, f;
    clip_range(options, n, f);
    bool ortho = options.projection == PROJ_ORTHOGRAPHIC;
    for (size_t k = 0; k < size_t(w) * h; k++) depth[k] = gl_depth_to_camera(depth[k], n, f, ortho);
    std::string zname = zfile_name(name);
    if (being_read(zname.c_str())) return;
    // The map covers the crop window's part of the screen window, as drawn.
    const float *sw = options.screen, *cw = options.crop;
    const float window[4] = {sw[0] + (sw[1] - sw[0]) * cw[0], sw[0] + (sw[1] - sw[0]) * cw[1],
                             sw[3] - (sw[3] - sw[2]) * cw[3], sw[3] - (sw[3] - sw[2]) * cw[2]};
    Matrix4 world_to_camera, world_to_screen;
    depth_projection(options, window, world_to_camera, world_to_screen);
    velk::OutputFile depth_file;
    DepthFile *zf = depth_file.open(zname) ? zfile_open_write(depth_file.path().c_str(), w, h, world_to_screen.m,
                                                              world_to_camera.m)
                                           : nullptr;
    if (!zf) {
        ri_error(RIE_SYSTEM, RIE_ERROR, "Could not open zfile \"%s\" for writing\n", zname.c_str());
        return;
    }
    bool ok = true;
    for (int i = 0; i < h; i++) ok = zfile_write_rows(zf, size_t(w), depth.get() + size_t(h - 1 - i) * w) && ok;
    ok = zfile_close(zf) && ok && depth_file.commit();
    if (!ok) ri_error(RIE_BADFILE, RIE_ERROR, "Could not write file \"%s\"", zname.c_str());
}

void GlRenderer::wait_for_quit(int width, int height)
{
    if (width <= 0 || height <= 0 || !window_ || !window_->make_current()) return;
    std::vector<unsigned char> bottom_up(size_t(width) * height * 4, 0), picture(bottom_up.size());
    window_->read_rgba(0, 0, width, height, velk::ReadBuffer::FRONT, bottom_up.data());
    size_t row = size_t(width) * 4;
    for (int y = 0; y < height; y++)
        std::memcpy(picture.data() + size_t(y) * row, bottom_up.data() + size_t(height - 1 - y) * row, row);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
    glDisable(GL_LOGIC_OP);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    bool double_buffer = options.doublebuffer != 0;
    auto redraw = [&]() {
        if (!window_->make_current()) return;
        window_->begin_image_drawing(1);
        glDrawBuffer(double_buffer ? GL_BACK : GL_FRONT);
        window_->clear(clear_color[0], clear_color[1], clear_color[2], 0);
        window_->draw_rgba(0, 0, width, height, picture.data(), width);
        if (double_buffer) window_->swap_buffers();
        else window_->flush(true);
    };
    window_->run_until_quit(redraw);
}
