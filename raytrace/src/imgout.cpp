#include "raytrace/imgout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/files.h"
#include "platform/image_window.h"
#include "ri/counters.h"
#include "ri/declarations.h"
#include "ri/declvalue.h"
#include "ri/depth_projection.h"
#include "ri/display_words.h"
#include "ri/renderer.h"
#include "ri_common/same_string.h"
#include "ri_common/searchpath.h"
#include "ri/transformation.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"
#include "sampling/random.h"
#include "shading_files/depthfile.h"
#include "shading/texture.h"

namespace {
int unwritten = 0;   // pictures refused or not written in full
} // namespace

int unwritten_outputs() { return unwritten; }

namespace {

bool host_little_endian()
{
    const uint16_t one = 1;
    unsigned char first;
    memcpy(&first, &one, 1);
    return first == 1;
}

// Display kinds of the type words that need no library.
struct DisplayType {
    const char *name;
    int kind;
};
const DisplayType DISPLAY_TYPES[] = {
    {"file", DISPLAY_FILE}, {"tiff", DISPLAY_FILE}, {"TIFF", DISPLAY_FILE},
    {"shadow", DISPLAY_ZFILE}, {"zfile", DISPLAY_ZFILE}, {"floatdump", DISPLAY_FLOATDUMP},
    {"ascii", DISPLAY_ASCII}, {"memory", DISPLAY_MEMORY}, {"framebuffer", DISPLAY_WINDOW},
    {"x11", DISPLAY_WINDOW},
};

// Bits of output values for quantisation settings: all 0 means floats.
int quantize_bits(const float q[4])
{
    if (q[0] == 0 && q[1] == 0 && q[2] == 0) return 32;
    return q[2] > 255 ? 16 : 8;
}

// How values (already scaled to 0..1) become output levels, set up once per
// row rather than once per value.
struct Quantizer {
    Quantizer(const float q[4], int bits)
        : bits(bits), one(q[0]), lo(std::max(q[1], 0.0f)),
          hi(std::min(q[2], bits == 16 ? 65535.0f : 255.0f)) {}

    // Stores value v at slot index of an output pixel.
    void store(float v, unsigned char *pixel, int index) const
    {
        if (bits == 32) {
            memcpy(pixel + 4 * index, &v, 4);
            return;
        }
        float s = one * v;
        // NaN (also from one x infinity) falls to 0.
        if (!(s == s)) s = 0;
        // The nearest level: flooring after a symmetric dither would make every
        // picture half a step dark on average.
        s += 0.5f;
        // Truncation is the floor for the usual values; no library call then.
        s = s >= 0 && s < 8388608.0f ? float(int32_t(s)) : std::floor(s);
        if (s < lo) s = lo;
        if (s > hi) s = hi;
        if (!(s >= 0)) s = 0;
        if (bits == 16) {
            uint16_t u = uint16_t(s);
            memcpy(pixel + 2 * index, &u, 2);
        } else {
            pixel[index] = (unsigned char)s;
        }
    }

    int bits;
    float one, lo, hi;
};

void swap_values(unsigned char *data, size_t count, int bytes)
{
    for (size_t i = 0; i < count; ++i, data += bytes) std::reverse(data, data + bytes);
}

// The pointer held by a pointer-sized parameter slot.
void *pointer_value(const void *value)
{
    void *p = nullptr;
    memcpy(&p, value, sizeof p);
    return p;
}

} // namespace

ImageOutput::ImageOutput(Options &options, SessionOptions &session) : options_(options), session_(session) {}

ImageOutput::~ImageOutput()
{
    close();
}

// ---------------------------------------------------------------- RiDisplay

int ImageOutput::display(RtToken name, RtToken type, RtToken mode_word, RtInt n, RtToken tokens[],
                         RtPointer values[])
{
    Options &o = options_;
    if (name && name[0] == '+') {
        ri_error(RIE_UNIMPLEMENT, RIE_WARNING, "No support for arbitrary output variables: display name \"%s\"",
                 name);
        return 0;
    }
    o.pending_display = NewToken(name ? name : "");
    file_kind_ = 0;
    for (const DisplayType &t : DISPLAY_TYPES) {
        if (is(type, t.name) && (t.kind == DISPLAY_FILE || t.kind == DISPLAY_ZFILE)) {
            file_kind_ = t.kind;
            file_type_ = NewToken(type);
        }
    }
    int new_kind = 0;
    if (session_.display_override) {
        type = "framebuffer";
        interlace_step = session_.display_override;
        new_kind = DISPLAY_WINDOW;
        window_loop = session_.display_override > 1;
    } else {
        bool searched = false;
        std::string found, reason, library;
        int result = DSO_NOT_FOUND;
        if (o.useprmandspy && DisplayDriver::valid_type(type)) {
            const char *driver = type;
            if (is(type, "framebuffer")) {
                driver = getenv("RMANFB");
                if (!driver) driver = "dspy";
            }
            if (DisplayDriver::valid_type(driver)) {
                searched = true;
                library = DisplayDriver::library_name(driver);
                result = DisplayDriver::locate(driver, o.display_path, found, reason);
            }
        }
        for (const DisplayType &t : DISPLAY_TYPES)
            if (is(type, t.name)) new_kind = t.kind;
        if (new_kind == DISPLAY_WINDOW && result == DSO_LOADED) new_kind = DISPLAY_DRIVER;
        if (!new_kind && result == DSO_LOADED) new_kind = DISPLAY_DRIVER;
        if (!new_kind) {
            const char *t = type ? type : "";
            if (!searched)
                ri_error(RIE_BADTOKEN, RIE_ERROR, "RiDisplay given invalid type: \"%s\"", t);
            else if (result == DSO_NOT_FOUND)
                ri_error(RIE_BADTOKEN, RIE_ERROR,
                         "RiDisplay given invalid type: \"%s\"\n\tfile \"%s\" not found in DSO path \"%s\"", t,
                         library.c_str(), o.display_path ? o.display_path : ".");
            else
                ri_error(RIE_BADTOKEN, RIE_ERROR, "RiDisplay given invalid type: \"%s\"\n\tdlerror: %s", t,
                         reason.c_str());
            return 0;
        }
        if (new_kind == DISPLAY_ASCII) o.verbosity = 0;
    }
    o.display_kind = new_kind;
    o.display_type = NewToken(type);

    int bits = display_mode_bits(mode_word);
    o.display_mode_bits = uint8_t(bits);
    o.display_mode = NewToken(mode_word ? mode_word : "rgba");

    // The parameters this module reads; pointers are taken only from a
    // caller of the C interface, never from RIB text.
    framebuffer_addr = nullptr;
    scanline_callback = nullptr;
    std::vector<RtToken> kept_tokens;
    std::vector<RtPointer> kept_values;
    for (int i = 0; i < n; ++i) {
        Declaration *d = tokens && tokens[i] ? declarations().lookup(tokens[i]) : nullptr;
        const void *v = values ? values[i] : nullptr;
        const char *t = d ? d->name() : nullptr;
        if (d && v && (is(t, "framebufferaddr") || is(t, "scanlinecallback"))) {
            if (rib_current_file || d->type != DECL_STRING) {
                ri_error(RIE_BADTOKEN, RIE_WARNING,
                         "RiDisplay: \"%s\" takes an address and is accepted only from a program", t);
            } else if (is(t, "framebufferaddr")) {
                framebuffer_addr = pointer_value(v);
            } else {
                void *p = pointer_value(v);
                memcpy(&scanline_callback, &p, sizeof p);
            }
            continue;
        }
        kept_tokens.push_back(tokens[i]);
        kept_values.push_back(values ? values[i] : nullptr);
        if (!d || !v) continue;
        if (is(t, "origin") && d->words() >= 2) {
            o.xpos = decl_int(d, v, 0);
            o.ypos = decl_int(d, v, 1);
        } else if (is(t, "resolution") && d->words() >= 2) {
            o.display_resolution[0] = decl_float(d, v, 0);
            o.display_resolution[1] = decl_float(d, v, 1);
        } else if (is(t, "resolutionunit")) {
            const char *u = decl_string(d, v);
            o.resolution_unit = u ? NewToken(u) : nullptr;
        } else if (is(t, "compression")) {
            int c = display_compression_code(decl_string(d, v));
            if (c >= 0) {
                compression = c;
                if (bits == DISPLAY_Z) zcompression = c;
            }
        } else if (is(t, "zcompression")) {
            int c = display_compression_code(decl_string(d, v));
            if (c == 0 || c == 2) zcompression = c;
        } else if (is(t, "rowsperstrip")) {
            int rows = d->type == DECL_STRING ? atoi(decl_string(d, v) ? decl_string(d, v) : "0") : decl_int(d, v);
            o.rowsperstrip = rows < 1 ? 1 : rows;
        }
    }
    o.display_params.clear();
    build_vertex_var_list(o.display_params, 1, 1, 1, POSITION_NONE, RtInt(kept_tokens.size()), kept_tokens.data(),
                          kept_values.data());
    return 1;
}

// ---------------------------------------------------------------- frame start

void ImageOutput::quantize_setup()
{
    memcpy(colour_quant_, options_.color_quant, sizeof colour_quant_);
    memcpy(depth_quant_, options_.depth_quant, sizeof depth_quant_);
}

namespace {
// Most memory the sample rows of one frame may ask for: what the machine
// (or the process's limit) has, a fixed ceiling when that cannot be told.
double frame_memory_limit()
{
    const uint64_t limit = velk::memory_limit();
    return limit ? double(limit) : double(uint64_t(1) << 35);
}
} // namespace

bool ImageOutput::open()
{
    Options &o = options_;
    close();
    if (session_.display_override) {
        o.display_type = NewToken("framebuffer");
        interlace_step = session_.display_override;
        o.display_kind = DISPLAY_WINDOW;
        window_loop = session_.display_override > 1;
    }
    kind = o.display_kind;
    mode = o.display_mode_bits ? o.display_mode_bits : 3;
    output_name = o.output_file ? o.output_file : (o.display_name ? o.display_name : "ri.tif");
    if ((kind == DISPLAY_FILE || kind == DISPLAY_ZFILE) && safety_file && access(output_name.c_str(), F_OK) == 0) {
        o.render_enabled = 0;
        return false;
    }
    // The picture would take the place of something still being read: the
    // RIB itself, an archive, a texture.
    if ((kind == DISPLAY_FILE || kind == DISPLAY_ZFILE) && velk::open_for_reading_here(output_name.c_str())) {
        ri_error(RIE_CONSISTENCY, RIE_ERROR, "Display: the output \"%s\" is a file being read; the frame is not rendered",
                 output_name.c_str());
        ++unwritten;
        o.render_enabled = 0;
        return false;
    }

    quantize_setup();
    channel_index[0] = 0;
    channel_index[1] = 1;
    channel_index[2] = 2;
    channel_index[3] = 3;
    swap_bytes = false;
    tile_draw = false;
    window_only = false;
    if (kind == DISPLAY_WINDOW) {
        mode = DISPLAY_RGB;
        colour_quant_[0] = 255;
        colour_quant_[1] = 0;
        colour_quant_[2] = 255;
    } else if (kind == DISPLAY_ZFILE) {
        mode = DISPLAY_Z;
        depth_quant_[0] = depth_quant_[1] = depth_quant_[2] = 0;
    } else if (kind == DISPLAY_FLOATDUMP) {
        colour_quant_[0] = colour_quant_[1] = colour_quant_[2] = 0;
    }
    bits_out = quantize_bits(colour_quant_);
    depth_bits = quantize_bits(depth_quant_);
    switch (mode) {
    case DISPLAY_RGB: samples_out = 3; break;
    case DISPLAY_RGB | DISPLAY_ALPHA: samples_out = 4; break;
    case DISPLAY_Z:
        samples_out = 1;
        bits_out = depth_bits;
        break;
    default: samples_out = 3; break;   // colour and depth: no alpha
    }

    filter_radius = int(std::ceil(std::max(o.filter_xwidth, o.filter_ywidth) / 2));
    if (filter_radius < 0) filter_radius = 0;
    filter_span = 2 * filter_radius + 1;
    filter_cells = filter_span * filter_span;
    crop_x0_ = o.crop_bounds[0];
    crop_y0_ = o.crop_bounds[2];
    crop_w_ = std::max(o.crop_width, 1);
    crop_h_ = std::max(o.crop_height, 1);
    // The rows cover the crop window even when the format changed after it was derived.
    const int row_count = std::max(o.yres, o.crop_bounds[3] + 1), row_pixels = std::max(o.xres, o.crop_bounds[1] + 1);
    // What the frame's sample rows will hold at once (all of them in the window loop);
    // a frame beyond any machine is refused before anything is allocated.
    const size_t live_rows = window_loop ? size_t(row_count) : std::min(size_t(row_count), size_t(256 + 2 * filter_span));
    const double need = double(row_count) * sizeof(SampleBuffer) + double(live_rows) * double(row_pixels) * sizeof(PixelSample);
    if (need > frame_memory_limit()) {
        report_out_of_core(size_t(need));
        return false;
    }
    rows_.clear();
    rows_.reserve(size_t(std::max(row_count, 0)));
    for (int y = 0; y < row_count; ++y) rows_.emplace_back(row_pixels);
    blank_.assign(size_t(std::max(row_pixels, 1)), PixelSample());
    colour_row_.assign(size_t(crop_w_) * 4 * 4, 0);
    depth_row_.assign(size_t(crop_w_) * 4, 0);
    memory_ok_ = false;

    switch (kind) {
    case DISPLAY_FILE: open_tiff(); break;
    case DISPLAY_WINDOW:
        if (!open_window() && file_kind_) {
            // The file is written all the same, without further windows.
            session_.display_override = 0;
            o.display_kind = file_kind_;
            o.display_type = file_type_;
            file_kind_ = 0;
            return open();
        }
        break;
    case DISPLAY_ZFILE: open_depth_file(); break;
    case DISPLAY_FLOATDUMP:
        printf("%d %d %s%s%s\n", crop_w_, crop_h_, (mode & DISPLAY_RGB) ? "rgb" : "", samples_out == 4 ? "a" : "",
               (mode & DISPLAY_Z) ? "z" : "");
        fflush(stdout);
        break;
    case DISPLAY_MEMORY:
        if (!framebuffer_addr)
            ri_error(RIE_MISSINGDATA, RIE_SEVERE,
                     "\"memory\" output device requested with Display, but no address was given with "
                     "\"framebufferaddr\"");
        else
            memory_ok_ = true;
        break;
    case DISPLAY_DRIVER: open_driver(); break;
    default: break;
    }
    // An output that could not be opened may have ended the run.
    return o.render_enabled != 0 && !ri_run_end_status();
}

ImageTiffTags ImageOutput::tiff_tags(int rows_per_strip) const
{
    const Options &o = options_;
    ImageTiffTags t;
    t.rows_per_strip = rows_per_strip;
    t.xresolution = o.display_resolution[0];
    t.yresolution = o.display_resolution[1];
    t.resolution_unit = is(o.resolution_unit, "inch") ? RESUNIT_INCH : is(o.resolution_unit, "cm") ? RESUNIT_CENTIMETER
                                                                                                   : RESUNIT_NONE;
    t.positioned = !(o.crop[0] == 0 && o.crop[1] == 1 && o.crop[2] == 0 && o.crop[3] == 1);
    t.xposition = crop_x0_;
    t.yposition = crop_y0_;
    // The frame as rendered (the frame aspect ratio may have cut the
    // format), the one the position is measured in.
    t.format_width = o.eff_xres;
    t.format_height = o.eff_yres;
    t.xsamples = o.xsamples;
    t.ysamples = o.ysamples;
    return t;
}

bool ImageOutput::open_tiff()
{
    last_tags_ = tiff_tags(options_.rowsperstrip);
    if (tiff_.create(output_name.c_str(), crop_w_, crop_h_, samples_out, bits_out, compression != 0, last_tags_))
        return true;
    ri_error(RIE_BADFILE, RIE_SEVERE, "Could not open file \"%s\"", output_name.c_str());
    return false;
}

bool ImageOutput::open_window()
{
    const Options &o = options_;
    const char *title = o.display_name ? o.display_name : output_name.c_str();
    if (window_ && window_->window().is_open()) {
        window_->start_frame(title, crop_w_, crop_h_, session_.pixel_zoom);
    } else {
        std::string why;
        window_ = velk::ImageWindow::open(title, o.xpos, o.ypos, crop_w_, crop_h_, session_.pixel_zoom, &why);
        if (!window_) {
            if (file_kind_) {
                ri_error(RIE_SYSTEM, RIE_WARNING, "Could not open a window: %s; writing \"%s\" only", why.c_str(),
                         output_name.c_str());
                return false;
            }
            ri_error(RIE_SYSTEM, RIE_SEVERE, "Could not open a window: %s", why.c_str());
            return false;
        }
    }
    window_saved_ = false;
    window_target_read_ = false;
    window_frame_open_ = true;
    last_tags_ = tiff_tags(8);
    tile_draw = true;
    window_only = true;
    return true;
}

bool ImageOutput::open_depth_file()
{
    Matrix4 world_to_camera, world_to_screen;
    float window[4];
    crop_screen_window(options_, window);
    depth_projection(options_, window, world_to_camera, world_to_screen);
    if (zfile_out_.open(output_name))
        zfile_ = zfile_open_write(zfile_out_.path().c_str(), crop_w_, crop_h_, world_to_screen.m, world_to_camera.m);
    if (!zfile_) zfile_out_.discard();
    samples_out = 1;
    if (zfile_) return true;
    ri_error(RIE_BADFILE, RIE_SEVERE, "Could not open file \"%s\"", output_name.c_str());
    return false;
}

bool ImageOutput::open_driver()
{
    const Options &o = options_;
    const char *type = o.display_type ? o.display_type : "";
    const char *driver = type;
    if (is(type, "framebuffer")) {
        driver = getenv("RMANFB");
        if (!driver) driver = "dspy";
    }
    std::string found, reason;
    if (DisplayDriver::locate(driver, o.display_path, found, reason) != DSO_LOADED ||
        !driver_.load(found, reason)) {
        ri_error(RIE_SYSTEM, RIE_SEVERE, "Huh? dspy file \"%s\" disappeared",
                 DisplayDriver::library_name(driver).c_str());
        return false;
    }

    // Channels.
    uint32_t channel_type = bits_out == 8 ? DSPY_UNSIGNED8 : bits_out == 16 ? DSPY_UNSIGNED16 : DSPY_FLOAT32;
    channel_type |= DSPY_BYTE_ORDER_LOW_FIRST;
    std::vector<DspyFormat> formats;
    if (samples_out == 4) {
        for (const char *c : {"a", "r", "g", "b"}) formats.push_back(DspyFormat{c, channel_type, 0});
        channel_index[0] = 1;
        channel_index[1] = 2;
        channel_index[2] = 3;
        channel_index[3] = 0;
    } else if (samples_out == 3) {
        for (const char *c : {"r", "g", "b"}) formats.push_back(DspyFormat{c, channel_type, 0});
    } else {
        formats.push_back(DspyFormat{"z", channel_type, 0});
    }

    // Parameters: the renderer's, then the user's that do not repeat them.
    Matrix4 world_to_camera, world_to_screen;
    float window[4];
    crop_screen_window(o, window);
    depth_projection(o, window, world_to_camera, world_to_screen);
    const char *host = getenv("HOSTNAME");
    if (!host) host = getenv("HOST");
    if (!host) host = getenv("host");
    const char *software = image_tiff_software();
    // The whole frame as rendered, in which the origin is measured.
    int32_t original_size[2] = {o.eff_xres, o.eff_yres};
    int32_t origin[2] = {crop_x0_, crop_y0_};
    float near_clip = o.near_clip, far_clip = o.far_clip;
    std::vector<DspyParameter> params;
    auto add = [&params](const char *name, char type, int count, const void *value, int nbytes) {
        if (count > DSPY_MAX_PARAMETER_COUNT) {
            ri_error(RIE_LIMIT, RIE_WARNING,
                     "Display parameter \"%s\" has %d values; a display driver takes at most %d", name, count,
                     int(DSPY_MAX_PARAMETER_COUNT));
            return;
        }
        DspyParameter p = {};
        p.name = name;
        p.type = type;
        p.count = char(count);
        p.value = value;
        p.nbytes = nbytes;
        params.push_back(p);
    };
    add("NP", 'f', 16, world_to_screen.m, 64);
    add("Nl", 'f', 16, world_to_camera.m, 64);
    if (host) add("HostComputer", 's', 1, &host, int(sizeof host));
    add("Software", 's', 1, &software, int(sizeof software));
    add("OriginalSize", 'i', 2, original_size, 8);
    add("origin", 'i', 2, origin, 8);
    add("near", 'f', 1, &near_clip, 4);
    add("far", 'f', 1, &far_clip, 4);
    const size_t fixed = params.size();
    for (VVData *v = o.display_params.head; v; v = v->next) {
        bool repeated = false;
        for (size_t i = 0; i < fixed; ++i) repeated = repeated || is(params[i].name, v->token);
        if (repeated) continue;
        char t = v->type == DECL_STRING ? 's' : v->type == DECL_INTEGER ? 'i' : 'f';
        int count = v->words();
        add(v->token, t, count, v->data, t == 's' ? count * int(sizeof(char *)) : count * 4);
    }

    DspyFlags flags = {0, 0};
    if (driver_.open(type, output_name.c_str(), crop_w_, crop_h_, params, formats, flags) != DSPY_OK) {
        ri_error(RIE_SYSTEM, RIE_SEVERE, "Unable to open dspyserver \"%s\"", type);
        return false;
    }
    tile_draw = (flags.flags & DSPY_WANTS_SCANLINE_ORDER) == 0;
    for (size_t i = 0; i < formats.size(); ++i) {
        const char *name = formats[i].name;
        switch (name ? name[0] : 0) {
        case 'r': channel_index[0] = int(i); break;
        case 'g': channel_index[1] = int(i); break;
        case 'b': channel_index[2] = int(i); break;
        case 'a': channel_index[3] = int(i); break;
        default: break;
        }
    }
    bool wants_low_first = (formats[0].type & DSPY_BYTE_ORDER_LOW_FIRST) != 0;
    swap_bytes = wants_low_first != host_little_endian();
    return true;
}

// ---------------------------------------------------------------- frame end

void ImageOutput::report_unwritten(const ImageTiff &file) const
{
    ++unwritten;
    if (file.complaint().empty())
        ri_error(RIE_BADFILE, RIE_ERROR, "Could not write file \"%s\"", output_name.c_str());
    else
        ri_error(RIE_BADFILE, RIE_ERROR, "Could not write file \"%s\" (%s)", output_name.c_str(),
                 file.complaint().c_str());
}

bool ImageOutput::is_frame_input(const char *path) const
{
    return texture_file_in_use(path) || velk::was_input(path) || velk::open_for_reading_here(path);
}

void ImageOutput::close()
{
    if (window_frame_open_) window_target_read_ = is_frame_input(output_name.c_str());
    window_frame_open_ = false;
    // A texture or an archive the frame read keeps its bytes: the picture is dropped instead.
    if ((tiff_.is_open() || zfile_) &&
        (texture_file_in_use(output_name.c_str()) || velk::was_input(output_name.c_str()))) {
        ri_error(RIE_CONSISTENCY, RIE_ERROR, "Display: the output \"%s\" is a file this frame read; it is not replaced",
                 output_name.c_str());
        ++unwritten;
        abandon();
        return;
    }
    if (tiff_.is_open() && !tiff_.close()) report_unwritten(tiff_);
    if (zfile_) {
        bool ok = zfile_close(zfile_) && zfile_out_.commit();
        zfile_ = nullptr;
        zfile_out_.discard();
        if (!ok) {
            ++unwritten;
            ri_error(RIE_BADFILE, RIE_ERROR, "Could not write file \"%s\"", output_name.c_str());
        }
    }
    driver_.close();
}

void ImageOutput::abandon()
{
    if (window_frame_open_) window_target_read_ = is_frame_input(output_name.c_str());
    window_frame_open_ = false;
    tiff_.abandon();
    if (zfile_) zfile_close(zfile_);
    zfile_ = nullptr;
    zfile_out_.discard();
    driver_.close();
}

void ImageOutput::save_window_image(const unsigned char *rgba, int width, int height)
{
    if (safety_file && access(output_name.c_str(), F_OK) == 0) return;
    if (window_target_read_ || is_frame_input(output_name.c_str())) {
        ri_error(RIE_CONSISTENCY, RIE_ERROR,
                 "The window's picture is not saved: \"%s\" is a file the frame read; it is not replaced",
                 output_name.c_str());
        ++unwritten;
        return;
    }
    ImageTiff file;
    ImageTiffTags tags = last_tags_;
    tags.rows_per_strip = 8;
    if (!file.create(output_name.c_str(), width, height, 4, 8, compression != 0, tags)) {
        ri_error(RIE_BADFILE, RIE_SEVERE, "Could not open file \"%s\"", output_name.c_str());
        return;
    }
    for (int y = 0; y < height; ++y) file.write_row(y, rgba + size_t(y) * size_t(width) * 4);
    if (!file.close()) report_unwritten(file);
}

void ImageOutput::end_of_run()
{
    close();
    if (window_ && window_->window().is_open())
        window_->wait_until_closed([this](const unsigned char *rgba, int w, int h) {
            if (!window_saved_) save_window_image(rgba, w, h);
            window_saved_ = true;
        });
    window_.reset();
    driver_.unload();
}

// ---------------------------------------------------------------- rows

PixelSample *ImageOutput::row(int y)
{
    if (y < 0 || y >= int(rows_.size())) return nullptr;
    return rows_[size_t(y)].allocate();
}

void ImageOutput::release_row(int y)
{
    if (y >= 0 && y < int(rows_.size())) rows_[size_t(y)].release();
}

void ImageOutput::release_rows()
{
    rows_.clear();
}

const PixelSample *ImageOutput::row_samples(int y, int x0, int count)
{
    if (x0 < 0 || count < 0 || size_t(x0) + size_t(count) > blank_.size()) return nullptr;
    if (y >= 0 && y < int(rows_.size()) && rows_[size_t(y)].allocated()) return rows_[size_t(y)].pixels() + x0;
    std::fill(blank_.begin(), blank_.end(), PixelSample());
    return blank_.data() + x0;
}

// ---------------------------------------------------------------- conversion

void ImageOutput::run_imager(float x, float y, Color &c, Color &op, float &a) const
{
    if (options_.imager && imager_runner) imager_runner(options_, x, y, c, op, a);
}

void ImageOutput::output_pixels(const PixelSample *samples, int first_x, int y, int count, unsigned char *colour,
                                unsigned char *depth)
{
    const Options &o = options_;
    const int pb = pixel_bytes();
    const bool alpha_out = samples_out == 4;
    const Quantizer colour_levels(colour_quant_, bits_out), depth_levels(depth_quant_, depth_bits);
    // Dither (and an imager's draws) by the pixel, not by the order pixels
    // go out in, which a crop window changes. Without an imager the draws
    // come from a stream of the pixel's own; the shared generator is left
    // as drawing from the global one would have left it.
    const uint64_t frame_key = frame_random_key(o.frame_number, RANDOM_FOR_DITHER);
    const bool imager = o.imager && imager_runner;
    uint64_t key = 0;
    int draws = 0;
    for (int i = 0; i < count; ++i) {
        Color c, op;
        float a;
        resolve_pixel(samples[i], c, op, a);
        key = pixel_key_in_frame(frame_key, first_x + i, y);
        RandomStream stream(key);
        draws = 0;
        auto signed_draw = [&]() {
            ++draws;
            return 2.0f * (imager ? random_uniform() : stream.next()) - 1.0f;
        };
        if (imager) {
            seed_random_stream(key);
            run_imager(float(first_x + i) + 0.5f, float(y) + 0.5f, c, op, a);
        }
        if (colour && (mode & DISPLAY_RGB)) {
            unsigned char *px = colour + size_t(i) * size_t(pb);
            if (o.exposure_differs) {
                float inv = 1.0f / o.exposure_gamma;
                for (int k = 0; k < 3; ++k) {
                    float v = c[k] * o.exposure_gain;
                    c[k] = v > 0 ? std::pow(v, inv) : 0.0f;
                }
            }
            // Dither spreads quantisation steps; floats have none.
            const bool dither = colour_quant_[3] != 0 && bits_out < 32;
            if (dither)
                for (int k = 0; k < 3; ++k) c[k] += signed_draw() * colour_quant_[3];
            for (int k = 0; k < 3; ++k) colour_levels.store(c[k], px, channel_index[k]);
            if (alpha_out) {
                // Coverage is not dithered: full coverage stays exactly full.
                float alpha = (op.x + op.y + op.z) / 3.0f;
                colour_levels.store(alpha, px, channel_index[3]);
            }
        }
        if (depth && (mode & DISPLAY_Z)) {
            float d = samples[i].depth;
            if (depth_bits < 32 && depth_quant_[3] != 0) d += signed_draw() * depth_quant_[3];
            depth_levels.store(d, depth + size_t(i) * size_t(depth_bits / 8), 0);
        }
    }
    if (count > 0 && !imager) {
        seed_random_stream(key);
        for (int k = 0; k < draws; ++k) random_uniform();
    }
    if (swap_bytes) {
        if (colour && (mode & DISPLAY_RGB) && bits_out != 8)
            swap_values(colour, size_t(count) * size_t(samples_out), bits_out / 8);
        if (depth && (mode & DISPLAY_Z) && depth_bits != 8) swap_values(depth, size_t(count), depth_bits / 8);
    }
}

// ---------------------------------------------------------------- devices

void ImageOutput::emit_scanline(int y, bool force)
{
    if (!force && (y < crop_y0_ || y >= crop_y0_ + crop_h_)) return;
    const PixelSample *s = row_samples(y, crop_x0_, crop_w_);
    if (!s) return;
    const int out_row = y - crop_y0_;
    if (kind == DISPLAY_MEMORY) {
        if (memory_ok_ && out_row >= 0 && out_row < crop_h_) {
            unsigned char *base = static_cast<unsigned char *>(framebuffer_addr);
            unsigned char *dst = base + size_t(out_row) * size_t(crop_w_) * size_t(pixel_bytes());
            if (mode & DISPLAY_RGB) output_pixels(s, crop_x0_, y, crop_w_, dst, nullptr);
            else output_pixels(s, crop_x0_, y, crop_w_, nullptr, dst);
        }
    } else if (kind == DISPLAY_ASCII) {
        write_ascii(s, crop_w_);
    } else if (kind != DISPLAY_WINDOW) {
        const bool has_colour = (mode & DISPLAY_RGB) != 0;
        const bool has_depth = (mode & DISPLAY_Z) != 0;
        colour_row_.assign(size_t(crop_w_) * size_t(pixel_bytes()), 0);
        depth_row_.assign(size_t(crop_w_) * size_t(depth_bits / 8), 0);
        output_pixels(s, crop_x0_, y, crop_w_, has_colour ? colour_row_.data() : nullptr,
                      has_depth ? depth_row_.data() : nullptr);
        const unsigned char *image_row = has_colour ? colour_row_.data() : depth_row_.data();
        switch (kind) {
        case DISPLAY_FILE: tiff_.write_row(out_row, image_row); break;
        case DISPLAY_ZFILE:
            if (zfile_ && out_row >= 0 && out_row < crop_h_)
                zfile_write_rows(zfile_, size_t(crop_w_), reinterpret_cast<const float *>(depth_row_.data()));
            break;
        case DISPLAY_FLOATDUMP:
            write_float_dump(has_colour ? colour_row_.data() : nullptr, has_depth ? depth_row_.data() : nullptr,
                             crop_w_);
            break;
        case DISPLAY_DRIVER:
            if (out_row >= 0 && out_row < crop_h_)
                driver_.data(0, crop_w_, out_row, out_row + 1, has_colour ? pixel_bytes() : depth_bits / 8,
                             image_row);
            break;
        default: break;
        }
    }
    if (scanline_callback) scanline_callback(y);
}

void ImageOutput::emit_row(int y)
{
    if (window_only) draw_window_rows(y, y + 1, crop_x0_, crop_x0_ + crop_w_, true);
    else emit_scanline(y, false);
}

namespace {

// One value of an output row as text.
void print_value(const unsigned char *p, int bits)
{
    if (bits == 32) {
        float f;
        memcpy(&f, p, 4);
        printf("%g ", f);
    } else if (bits == 16) {
        uint16_t u;
        memcpy(&u, p, 2);
        printf("%u ", unsigned(u));
    } else {
        printf("%u ", unsigned(*p));
    }
}

} // namespace

void ImageOutput::write_float_dump(const unsigned char *colour, const unsigned char *depth, int count)
{
    const int vb = value_bytes(), db = depth_bits / 8;
    for (int i = 0; i < count; ++i) {
        if (colour)
            for (int k = 0; k < samples_out; ++k) print_value(colour + (size_t(i) * size_t(samples_out) + size_t(k)) * size_t(vb), bits_out);
        if (depth) print_value(depth + size_t(i) * size_t(db), depth_bits);
    }
    printf("\n");
}

void ImageOutput::write_ascii(const PixelSample *samples, int count)
{
    static const char SHADES[] = " .,-+=*#(";
    std::string line;
    for (int i = 0; i < count; ++i) {
        Color c, op;
        float a;
        resolve_pixel(samples[i], c, op, a);
        float lum = 0.299f * c.x + 0.587f * c.y + 0.114f * c.z;
        float level = lum > 0 ? std::floor(std::pow(lum, 0.75f) * 8.0f) : 0.0f;
        if (!(level >= 0)) level = 0;
        if (level > 7) level = 7;
        line += SHADES[int(level)];
    }
    printf("%s\n", line.c_str());
    fflush(stdout);
}

void ImageOutput::draw_window_rows(int y0, int y1, int x0, int x1, bool)
{
    if (kind != DISPLAY_WINDOW && kind != DISPLAY_DRIVER) return;
    x0 = std::max(x0, crop_x0_);
    y0 = std::max(y0, crop_y0_);
    x1 = std::min(x1, crop_x0_ + crop_w_);
    y1 = std::min(y1, crop_y0_ + crop_h_);
    if (x0 >= x1 || y0 >= y1) return;
    const int w = x1 - x0, h = y1 - y0, pb = pixel_bytes();
    const bool has_colour = (mode & DISPLAY_RGB) != 0;
    const size_t row_bytes = size_t(w) * size_t(has_colour ? pb : depth_bits / 8);
    block_.assign(row_bytes * size_t(h), 0);
    for (int y = y0; y < y1; ++y) {
        const PixelSample *s = row_samples(y, x0, w);
        if (!s) return;
        unsigned char *dst = block_.data() + size_t(y - y0) * row_bytes;
        output_pixels(s, x0, y, w, has_colour ? dst : nullptr, has_colour ? nullptr : dst);
    }
    if (kind == DISPLAY_DRIVER) {
        driver_.data(x0 - crop_x0_, x1 - crop_x0_, y0 - crop_y0_, y1 - crop_y0_,
                     has_colour ? pb : depth_bits / 8, block_.data());
    } else if (window_) {
        window_->put_block(x0 - crop_x0_, y0 - crop_y0_, w, h, samples_out, block_.data());
        window_->poll();
    }
}

void ImageOutput::draw_window_image(int step)
{
    if (!window_ || kind != DISPLAY_WINDOW) return;
    if (step < 1) step = 1;
    unsigned char *image = window_->image();
    std::vector<unsigned char> rgb(size_t(crop_w_) * 3);
    for (int r = 0; r < crop_h_; ++r) {
        int y = crop_y0_ + r;
        int src = y - (y - crop_y0_) % step;
        unsigned char *dst = image + size_t(r) * size_t(crop_w_) * 4;
        bool rendered = src >= 0 && src < int(rows_.size()) && rows_[size_t(src)].allocated();
        if (!rendered) {
            memset(dst, 0, size_t(crop_w_) * 4);
            continue;
        }
        output_pixels(rows_[size_t(src)].pixels() + crop_x0_, crop_x0_, src, crop_w_, rgb.data(), nullptr);
        for (int x = 0; x < crop_w_; ++x) {
            dst[4 * x] = rgb[3 * size_t(x)];
            dst[4 * x + 1] = rgb[3 * size_t(x) + 1];
            dst[4 * x + 2] = rgb[3 * size_t(x) + 2];
            dst[4 * x + 3] = 255;
        }
    }
    window_->draw_image();
    window_->poll();
}

void ImageOutput::poll_window()
{
    if (window_) window_->poll();
}

void ImageOutput::print_progress(float fraction) const
{
    int percent = int(std::floor(fraction * 100.0f));
    if (options_.verbosity > 0) {
        printf("\rDone computing %d%%   ", percent);
        fflush(stdout);
    } else if (session_.progress_mode == 1) {
        printf("   %2d%%\r", percent);
        fflush(stdout);
    } else if (session_.progress_mode == 2) {
        printf("R90000   %2d%%\n", percent);
        fflush(stdout);
    }
}
