#include "platform/image_window.h"

#include <algorithm>
#include <cstring>

namespace velk {

std::unique_ptr<ImageWindow> ImageWindow::open(const std::string &title, int x, int y, int width,
                                               int height, int zoom, std::string *error,
                                               const std::string &display)
{
    if (zoom < 1) zoom = 1;
    WindowOptions o;
    o.display = display;
    o.title = title;
    o.x = x;
    o.y = y;
    o.width = width * zoom;
    o.height = height * zoom;
    std::unique_ptr<Window> w = Window::open(o, error);
    if (!w) return nullptr;
    std::unique_ptr<ImageWindow> iw(new ImageWindow);
    iw->window_ = std::move(w);
    iw->set_size(width, height, zoom);
    return iw;
}

void ImageWindow::set_size(int width, int height, int zoom)
{
    width_ = width;
    height_ = height;
    zoom_ = zoom < 1 ? 1 : zoom;
    image_.assign(size_t(width) * size_t(height) * 4, 0);
    window_->begin_image_drawing(zoom_);
    window_->clear(0.0f, 0.0f, 0.0f);
    window_->flush();
}

void ImageWindow::start_frame(const std::string &title, int width, int height, int zoom)
{
    if (zoom < 1) zoom = 1;
    window_->set_title(title);
    if (width != width_ || height != height_ || zoom != zoom_) window_->resize(width * zoom, height * zoom);
    set_size(width, height, zoom);
}

void ImageWindow::put_block(int x0, int y0, int width, int height, int samples,
                            const unsigned char *pixels)
{
    // Only the part inside the image is taken.
    int xa = std::max(x0, 0), ya = std::max(y0, 0);
    int xb = std::min(x0 + width, width_), yb = std::min(y0 + height, height_);
    if (xa >= xb || ya >= yb || (samples != 3 && samples != 4)) return;
    for (int y = ya; y < yb; ++y) {
        const unsigned char *src = pixels + (size_t(y - y0) * width + (xa - x0)) * samples;
        unsigned char *dst = image_.data() + (size_t(y) * width_ + xa) * 4;
        for (int x = xa; x < xb; ++x, src += samples, dst += 4) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst[3] = samples == 4 ? src[3] : 255;
        }
    }
    draw_rows(ya, yb, xa, xb);
}

void ImageWindow::draw_rows(int y0, int y1, int x0, int x1)
{
    y0 = std::max(y0, 0);
    x0 = std::max(x0, 0);
    y1 = std::min(y1, height_);
    x1 = std::min(x1, width_);
    if (y0 >= y1 || x0 >= x1) return;
    for (int y = y0; y < y1; ++y)
        window_->draw_rgba(x0, y, x1 - x0, 1, image_.data() + (size_t(y) * width_ + x0) * 4, width_);
    window_->flush();
}

void ImageWindow::draw_image()
{
    window_->begin_image_drawing(zoom_);
    window_->clear(0.0f, 0.0f, 0.0f);
    draw_rows(0, height_, 0, width_);
}

bool ImageWindow::poll()
{
    WindowEvents events;
    events.expose = [this] { draw_image(); };
    events.resize = [this](int, int) { draw_image(); };
    return window_->process_events(events, false);
}

void ImageWindow::wait_until_closed(const SaveFunction &save)
{
    bool saved = false;
    draw_image();
    window_->run_until_quit([this] { draw_image(); },
                            [&](int key) {
                                if ((key == 'W' || key == 'w') && !saved) {
                                    saved = true;
                                    if (save) save(image_.data(), width_, height_);
                                }
                            });
}

} // namespace velk
