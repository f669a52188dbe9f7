// On-screen windows with an OpenGL context: the renderer's image window and
// the previewer's drawing window. Callers never see the window system: they
// get sizes, events as callbacks, RGBA drawing and pixel read-back.
#pragma once
#include <functional>
#include <memory>
#include <string>

namespace velk {

// How a window is made.
struct WindowOptions {
    std::string display;         // window-system display; empty means $DISPLAY
    std::string title;
    int x = 100, y = 100;        // position of the top-left corner on the screen
    int width = 640, height = 480;   // size of the drawing area
    bool double_buffer = false;  // draw to a back buffer shown by swap_buffers
    bool depth_buffer = false;   // a depth buffer for hidden surfaces
    bool alpha_buffer = false;   // destination alpha, when the screen offers it
};

// Key codes passed to key callbacks: characters as typed, and these.
enum WindowKey { KEY_ESCAPE = 27, KEY_OTHER = 0 };

// What a window reports while events are processed; any member may be empty.
struct WindowEvents {
    std::function<void()> expose;                        // contents must be drawn again
    std::function<void(int width, int height)> resize;   // new drawing-area size
    std::function<void(int key)> key;                    // a key went down
    std::function<void(int button, bool down, int x, int y)> button;   // mouse button 1..5
    std::function<void(int x, int y)> motion;            // pointer moved
    std::function<void()> close;                         // the user closed the window
};

// Which buffer pixels are read from.
enum class ReadBuffer { FRONT, BACK };

class Window {
public:
    // Opens a window with a current OpenGL context, shown and ready to draw;
    // null when there is no display or no suitable visual, with the reason in
    // error. Never waits for a user.
    static std::unique_ptr<Window> open(const WindowOptions &options, std::string *error = nullptr);
    // Releases the context, destroys the window and closes the display.
    ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    bool is_open() const;
    int width() const { return width_; }
    int height() const { return height_; }
    // An opaque window-system id of the window (for tests and tools).
    unsigned long native_id() const;

    void set_title(const std::string &title);
    // Moves and sizes the window so that its drawing area is width x height.
    void move_resize(int x, int y, int width, int height);
    void resize(int width, int height);

    // Makes the window's OpenGL context current; false (reason in
    // last_error) when that fails.
    bool make_current();
    void swap_buffers();
    // Sends queued drawing to the screen (with wait set, until it is there).
    void flush(bool wait = false);
    // The reason of the last failure.
    const std::string &last_error() const { return error_; }

    // Sets up drawing of images in window pixels: viewport over the window,
    // origin at the top-left, pixel zoom.
    void begin_image_drawing(int zoom);
    // Clears the window to a colour.
    void clear(float r, float g, float b, float a = 0.0f);
    // Draws a block of RGBA bytes (rows from the top, row_length pixels apart)
    // with its top-left pixel at image position (x, y), each pixel zoom x zoom
    // screen pixels (after begin_image_drawing).
    void draw_rgba(int x, int y, int width, int height, const unsigned char *rgba, int row_length);

    // Reads RGBA bytes of the drawing area (rows from the bottom, as OpenGL
    // gives them) into out (4 x width x height bytes). The front buffer of a
    // double-buffered window is what the display shows there (alpha 255).
    bool read_rgba(int x, int y, int width, int height, ReadBuffer from, unsigned char *out);
    // Reads depth values in [0, 1] (rows from the bottom) into out.
    bool read_depth(int x, int y, int width, int height, ReadBuffer from, float *out);

    // Handles the events that are waiting, or waits for at least one with
    // wait set; false once the window is closed.
    bool process_events(const WindowEvents &events, bool wait);
    // Runs the event loop until Esc, 'q' or 'Q' is pressed or the window is
    // closed: expose calls redraw; other keys go to on_key.
    void run_until_quit(const std::function<void()> &redraw,
                        const std::function<void(int key)> &on_key = nullptr);

    struct Native;   // window-system state

private:
    Window();
    std::unique_ptr<Native> native_;
    int width_ = 0, height_ = 0;
    int zoom_ = 1;
    // Binds the context again when it is current, so that its buffers follow
    // a new window size.
    void rebind_after_resize();
    std::string error_;
};

} // namespace velk
