// Image output: the display chosen by RiDisplay, opened at the start of a
// frame; finished rows of filtered samples converted (imager, exposure,
// dither, quantisation, channel and byte order) and written to the device:
// TIFF file, depth file, float dump or ASCII preview on standard output, a
// caller's memory, the image window, or a display-driver library. Also the
// render progress line and the end-of-run window loop.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "raytrace/display_driver.h"
#include "raytrace/image_tiff.h"
#include "raytrace/sample_buffer.h"
#include "ri/options.h"
#include "ri/raylume_options.h"

namespace velk { class ImageWindow; }
struct DepthFile;

// Display kinds besides DISPLAY_FILE (2) and DISPLAY_ASCII (64) of the options.
enum { DISPLAY_WINDOW = 4, DISPLAY_ZFILE = 8, DISPLAY_FLOATDUMP = 32, DISPLAY_MEMORY = 128, DISPLAY_DRIVER = 256 };
// Display mode bits.
enum { DISPLAY_RGB = 1, DISPLAY_ALPHA = 2, DISPLAY_Z = 4 };

// The routine of a "scanlinecallback" display parameter: called with the
// image row after each row is written.
typedef void (*ScanlineCallback)(int row);

// Runs the imager shader of the options on one pixel at raster (x, y),
// replacing its colour, opacity and alpha (imager.cpp; null leaves pixels alone).
typedef void (*ImagerRunner)(const Options &options, float x, float y, Color &color, Color &opacity,
                             float &alpha);
extern ImagerRunner imager_runner;

class ImageOutput {
public:
    // The options are the renderer's record and the session's command-line
    // settings (both read at every call).
    ImageOutput(Options &options, SessionOptions &session);
    ~ImageOutput();
    ImageOutput(const ImageOutput &) = delete;
    ImageOutput &operator=(const ImageOutput &) = delete;

    // RiDisplay: checks the name, type and mode, takes the parameters; 1 when
    // taken, 0 when refused.
    int display(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[], RtPointer values[]);

    // Opens the device for the frame and makes the empty sample rows; false
    // when the frame is to render nothing (the render switch is then off).
    bool open();
    // Ends the frame: the files and the driver image are closed; the window stays.
    void close();
    // Ends a frame that failed: its files are dropped, the ones they would
    // have replaced left as they were.
    void abandon();
    // Keeps the window up until the user quits ('W' saves the shown image once).
    void end_of_run();

    // The sample row of image row y (its pixels allocated).
    PixelSample *row(int y);
    // Frees the samples of row y; all rows.
    void release_row(int y);
    void release_rows();

    // Converts count pixels of row y from column first_x into output values:
    // colour (samples_out values) into colour, depth into depth (either may be null).
    void output_pixels(const PixelSample *samples, int first_x, int y, int count, unsigned char *colour,
                       unsigned char *depth);
    // Writes row y to the device (rows outside the crop window only when forced).
    void emit_scanline(int y, bool force);
    // A finished row leaves the frame: to the window when it is the only
    // output, else emit_scanline.
    void emit_row(int y);
    // Shows the block of rows y0..y1 - 1, columns x0..x1 - 1 on the window or the driver.
    void draw_window_rows(int y0, int y1, int x0, int x1, bool force);
    // The interlaced picture: each row shows the nearest rendered row above it
    // in the pattern of the given step.
    void draw_window_image(int step);
    // Handles waiting window events (redraws) during rendering.
    void poll_window();
    // "Done computing n%" or the progress mode's line.
    void print_progress(float fraction) const;

    // Display state.
    int kind = 2;                   // DISPLAY_*
    int mode = 3;                   // DISPLAY_RGB | DISPLAY_ALPHA | DISPLAY_Z bits
    int samples_out = 4;            // colour values per pixel
    int bits_out = 8;               // 8, 16 or 32 (float)
    int depth_bits = 32;            // of the depth values
    int channel_index[4] = {0, 1, 2, 3};   // red, green, blue, alpha
    bool swap_bytes = false;        // the driver wants the other byte order
    bool tile_draw = false;         // finished tiles are shown at once
    bool window_only = false;       // the window is the output
    int interlace_step = 1;         // row step of the window loop
    bool window_loop = false;       // the interlaced window loop renders the frame
    int filter_radius = 1, filter_span = 3, filter_cells = 9;
    void *framebuffer_addr = nullptr;
    ScanlineCallback scanline_callback = nullptr;
    int compression = 1;            // 0 none, 1 LZW, 2 zip
    int zcompression = 0;
    std::string output_name;

    // Bytes of one colour value and one pixel as written.
    int value_bytes() const { return bits_out / 8; }
    int pixel_bytes() const { return samples_out * (bits_out / 8); }
    // The window (null when none was opened).
    velk::ImageWindow *window() { return window_.get(); }

private:
    bool open_tiff();
    bool open_window();
    bool open_depth_file();
    bool open_driver();
    void quantize_setup();
    void run_imager(float x, float y, Color &c, Color &o, float &a) const;
    // Samples of row y from column x0 (zero pixels where the row has none).
    const PixelSample *row_samples(int y, int x0, int count);
    void write_float_dump(const unsigned char *colour, const unsigned char *depth, int count);
    void write_ascii(const PixelSample *samples, int count);
    void save_window_image(const unsigned char *rgba, int width, int height);
    ImageTiffTags tiff_tags(int rows_per_strip) const;

    Options &options_;
    SessionOptions &session_;
    float colour_quant_[4] = {255, 0, 255, 0};   // one, min, max, dither
    float depth_quant_[4] = {0, 0, 0, 0};
    int crop_x0_ = 0, crop_y0_ = 0, crop_w_ = 1, crop_h_ = 1;
    // Reports a TIFF file that could not be written, with libtiff's reason.
    void report_unwritten(const ImageTiff &file) const;
    ImageTiff tiff_;
    DepthFile *zfile_ = nullptr;
    velk::OutputFile zfile_out_;
    DisplayDriver driver_;
    std::unique_ptr<velk::ImageWindow> window_;
    // The file display that "-d" put a window in place of (0 and null when
    // none): written when no window can be opened.
    int file_kind_ = 0;
    RtToken file_type_ = nullptr;
    bool window_saved_ = false;
    // The shown frame read the file its 'W' save would replace (known only
    // until the frame's inputs are forgotten, so taken at frame end).
    bool window_target_read_ = false;
    bool window_frame_open_ = false;
    bool is_frame_input(const char *path) const;
    ImageTiffTags last_tags_;
    bool memory_ok_ = false;
    std::vector<SampleBuffer> rows_;
    std::vector<PixelSample> blank_;
    std::vector<unsigned char> colour_row_, depth_row_, block_;
};

// Pictures of this run that were refused or could not be written in full;
// the program's exit status tells a script so.
int unwritten_outputs();
