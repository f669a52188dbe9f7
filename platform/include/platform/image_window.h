// The renderer's image window: an RGBA image of the frame kept in memory and
// shown zoomed in a window, drawn row by row or block by block as pixels are
// finished, redrawn when uncovered, and kept on the screen at the end of the
// run until the user quits.
#pragma once
#include "platform/window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velk {

class ImageWindow {
public:
    // Opens a window for a width x height image at screen position (x, y),
    // each image pixel shown as zoom x zoom screen pixels, cleared to black.
    // Null when no window can be made (reason in error).
    static std::unique_ptr<ImageWindow> open(const std::string &title, int x, int y, int width,
                                             int height, int zoom, std::string *error = nullptr,
                                             const std::string &display = std::string());

    // Starts a new frame: the same size clears the image and the window;
    // another size makes a new image and resizes the window.
    void start_frame(const std::string &title, int width, int height, int zoom);

    int image_width() const { return width_; }
    int zoom() const { return zoom_; }
    // The image: rows from the top, 4 bytes (red, green, blue, alpha) a pixel.
    unsigned char *image() { return image_.data(); }
    const unsigned char *image() const { return image_.data(); }

    // Stores a block of pixels (rows from the top, 3 or 4 bytes a pixel,
    // alpha 255 for 3) at image position (x0, y0) and draws it.
    void put_block(int x0, int y0, int width, int height, int samples, const unsigned char *pixels);
    // Draws image rows y0 .. y1 - 1, columns x0 .. x1 - 1 from the image.
    void draw_rows(int y0, int y1, int x0, int x1);
    // Draws the whole image.
    void draw_image();
    // Handles waiting events (redraws, resizes) without blocking; false once
    // the user closed the window.
    bool poll();

    // The end-of-run loop: shows the image until Esc, 'q' or 'Q' or until the
    // window is closed; 'W' or 'w' the first time calls save with the image
    // and its own size (whatever the window's size is by then).
    typedef std::function<void(const unsigned char *rgba, int width, int height)> SaveFunction;
    void wait_until_closed(const SaveFunction &save);

    Window &window() { return *window_; }

private:
    ImageWindow() = default;
    void set_size(int width, int height, int zoom);
    std::unique_ptr<Window> window_;
    std::vector<unsigned char> image_;
    int width_ = 0, height_ = 0, zoom_ = 1;
};

} // namespace velk
