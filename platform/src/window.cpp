// X11 and GLX behind the window interface.
#include "platform/window.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// The software OpenGL driver keeps a few small blocks per context from pixel
// drawing that it never frees; they are not leaks of ours.
#define DRIVER_BLOCKS_ARE_NOT_LEAKS __lsan::ScopedDisabler driver_blocks
#else
#define DRIVER_BLOCKS_ARE_NOT_LEAKS
#endif

namespace velk {

struct Window::Native {
    Display *display = nullptr;
    ::Window window = 0;
    GLXContext context = nullptr;
    Colormap colormap = 0;
    Atom delete_atom = None;
    bool double_buffer = false;
    bool open = false;
};

namespace {

// X protocol errors are noted, not fatal (the default handler ends the program).
int last_x_error = 0;

int note_x_error(Display *, XErrorEvent *event)
{
    last_x_error = event->error_code;
    return 0;
}

void install_error_handler()
{
    static bool installed = false;
    if (!installed) {
        XSetErrorHandler(note_x_error);
        installed = true;
    }
}

// The best visual for the options: full colour first, then whatever there is.
XVisualInfo *choose_visual(Display *display, const WindowOptions &o)
{
    const int colour_bits[] = {8, 4, 1};
    for (int alpha = o.alpha_buffer ? 1 : 0; alpha >= 0; --alpha)
        for (int bits : colour_bits) {
            int attributes[20];
            int n = 0;
            attributes[n++] = GLX_RGBA;
            attributes[n++] = GLX_RED_SIZE;
            attributes[n++] = bits;
            attributes[n++] = GLX_GREEN_SIZE;
            attributes[n++] = bits;
            attributes[n++] = GLX_BLUE_SIZE;
            attributes[n++] = bits;
            if (alpha) {
                attributes[n++] = GLX_ALPHA_SIZE;
                attributes[n++] = 1;
            }
            if (o.double_buffer) attributes[n++] = GLX_DOUBLEBUFFER;
            if (o.depth_buffer) {
                attributes[n++] = GLX_DEPTH_SIZE;
                attributes[n++] = 16;
            }
            attributes[n++] = None;
            XVisualInfo *vi = glXChooseVisual(display, DefaultScreen(display), attributes);
            if (vi) return vi;
        }
    return nullptr;
}

int key_code(XKeyEvent *event)
{
    char text[8] = {};
    KeySym sym = NoSymbol;
    int n = XLookupString(event, text, sizeof text, &sym, nullptr);
    if (sym == XK_Escape) return KEY_ESCAPE;
    if (n == 1) return static_cast<unsigned char>(text[0]);
    return KEY_OTHER;
}

} // namespace

Window::Window() : native_(new Native) {}

std::unique_ptr<Window> Window::open(const WindowOptions &o, std::string *error)
{
    auto fail = [error](const char *why) {
        if (error) *error = why;
        return std::unique_ptr<Window>();
    };
    if (o.width < 1 || o.height < 1) return fail("bad window size");
    install_error_handler();
    std::unique_ptr<Window> w(new Window);
    Native &n = *w->native_;
    n.display = XOpenDisplay(o.display.empty() ? nullptr : o.display.c_str());
    if (!n.display) {
        const char *named = o.display.empty() ? std::getenv("DISPLAY") : o.display.c_str();
        std::string why = !named || !*named ? std::string("no X display is named (DISPLAY is not set)")
                          : "the X display \"" + std::string(named) + "\"" +
                                (o.display.empty() ? " named by DISPLAY" : "") + " could not be opened";
        return fail(why.c_str());
    }
    int error_base, event_base;
    if (!glXQueryExtension(n.display, &error_base, &event_base)) return fail("the display has no OpenGL");
    XVisualInfo *vi = choose_visual(n.display, o);
    if (!vi) return fail("no suitable visual for OpenGL");

    ::Window root = RootWindow(n.display, vi->screen);
    n.colormap = XCreateColormap(n.display, root, vi->visual, AllocNone);
    XSetWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    attributes.colormap = n.colormap;
    attributes.background_pixel = BlackPixel(n.display, vi->screen);
    attributes.border_pixel = 0;
    attributes.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask |
                            ButtonReleaseMask | PointerMotionMask;
    n.window = XCreateWindow(n.display, root, o.x, o.y, unsigned(o.width), unsigned(o.height), 0,
                             vi->depth, InputOutput, vi->visual,
                             CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    if (!n.window) {
        XFree(vi);
        return fail("cannot create the window");
    }
    n.context = glXCreateContext(n.display, vi, nullptr, True);
    XFree(vi);
    if (!n.context) return fail("cannot create an OpenGL context");
    n.double_buffer = o.double_buffer;
    n.open = true;
    w->width_ = o.width;
    w->height_ = o.height;

    // Ask the window manager to keep the position we give.
    XSizeHints hints;
    std::memset(&hints, 0, sizeof hints);
    hints.flags = USPosition | USSize;
    hints.x = o.x;
    hints.y = o.y;
    hints.width = o.width;
    hints.height = o.height;
    XSetWMNormalHints(n.display, n.window, &hints);
    n.delete_atom = XInternAtom(n.display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(n.display, n.window, &n.delete_atom, 1);
    w->set_title(o.title);
    XMapWindow(n.display, n.window);
    // Wait until the window is on the screen, so that drawing is not lost.
    for (;;) {
        XEvent event;
        XWindowEvent(n.display, n.window, StructureNotifyMask, &event);
        if (event.type == MapNotify) break;
        if (event.type == ConfigureNotify) {
            w->width_ = event.xconfigure.width;
            w->height_ = event.xconfigure.height;
        }
    }
    if (!w->make_current()) return fail("cannot make the OpenGL context current");
    return w;
}

Window::~Window()
{
    Native &n = *native_;
    if (!n.display) return;
    if (n.context) {
        glXMakeCurrent(n.display, None, nullptr);
        glXDestroyContext(n.display, n.context);
    }
    if (n.open && n.window) XDestroyWindow(n.display, n.window);
    if (n.colormap) XFreeColormap(n.display, n.colormap);
    XCloseDisplay(n.display);
}

bool Window::is_open() const
{
    return native_->open;
}

unsigned long Window::native_id() const
{
    return native_->window;
}

void Window::set_title(const std::string &title)
{
    Native &n = *native_;
    if (!n.open) return;
    XStoreName(n.display, n.window, title.c_str());
    Atom utf8 = XInternAtom(n.display, "UTF8_STRING", False);
    Atom name = XInternAtom(n.display, "_NET_WM_NAME", False);
    XChangeProperty(n.display, n.window, name, utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(title.c_str()), int(title.size()));
    XFlush(n.display);
}

void Window::move_resize(int x, int y, int width, int height)
{
    Native &n = *native_;
    if (!n.open || width < 1 || height < 1) return;
    XMoveResizeWindow(n.display, n.window, x, y, unsigned(width), unsigned(height));
    XSync(n.display, False);
    width_ = width;
    height_ = height;
    rebind_after_resize();
}

void Window::resize(int width, int height)
{
    Native &n = *native_;
    if (!n.open || width < 1 || height < 1) return;
    XResizeWindow(n.display, n.window, unsigned(width), unsigned(height));
    XSync(n.display, False);
    width_ = width;
    height_ = height;
    rebind_after_resize();
}

void Window::rebind_after_resize()
{
    Native &n = *native_;
    // The GL buffers of a window take its new size when the context is bound
    // to it again; until then drawing is cut to the old size.
    if (glXGetCurrentContext() != n.context || glXGetCurrentDrawable() != n.window) return;
    glXMakeCurrent(n.display, None, nullptr);
    glXMakeCurrent(n.display, n.window, n.context);
    // A back buffer is sized again at a swap (what it showed is cleared
    // before the next frame anyway).
    if (n.double_buffer) glXSwapBuffers(n.display, n.window);
}

bool Window::make_current()
{
    Native &n = *native_;
    if (!n.open) {
        error_ = "the window is closed";
        return false;
    }
    if (glXGetCurrentContext() == n.context && glXGetCurrentDrawable() == n.window) return true;
    last_x_error = 0;
    if (!glXMakeCurrent(n.display, n.window, n.context)) {
        error_ = "glXMakeCurrent failed";
        if (last_x_error) error_ += " (X error " + std::to_string(last_x_error) + ")";
        return false;
    }
    return true;
}

void Window::swap_buffers()
{
    Native &n = *native_;
    if (!n.open) return;
    if (n.double_buffer) glXSwapBuffers(n.display, n.window);
    else glFlush();
}

void Window::flush(bool wait)
{
    Native &n = *native_;
    if (!n.open || !make_current()) return;
    if (wait) {
        glFinish();
        XSync(n.display, False);
    } else {
        glFlush();
        XFlush(n.display);
    }
}

void Window::begin_image_drawing(int zoom)
{
    if (!make_current()) return;
    if (zoom < 1) zoom = 1;
    glViewport(0, 0, width_, height_);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width_, 0.0, height_, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_DITHER);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelZoom(float(zoom), -float(zoom));
    zoom_ = zoom;
}

void Window::clear(float r, float g, float b, float a)
{
    if (!make_current()) return;
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

void Window::draw_rgba(int x, int y, int width, int height, const unsigned char *rgba, int row_length)
{
    if (width < 1 || height < 1 || !make_current()) return;
    // The raster position must lie inside the window; blocks starting
    // outside it are not visible anyway.
    int wx = x * zoom_, wy = height_ - y * zoom_;
    if (wx < 0 || wx > width_ || wy < 0 || wy > height_) return;
    DRIVER_BLOCKS_ARE_NOT_LEAKS;
    glPixelStorei(GL_UNPACK_ROW_LENGTH, row_length);
    glRasterPos2i(wx, wy);
    glDrawPixels(width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

namespace {

bool read_pixels(int x, int y, int width, int height, ReadBuffer from, GLenum format,
                 GLenum type, void *out)
{
    glReadBuffer(from == ReadBuffer::FRONT ? GL_FRONT : GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    while (glGetError() != GL_NO_ERROR) {
    }
    glReadPixels(x, y, width, height, format, type, out);
    return glGetError() == GL_NO_ERROR;
}

} // namespace

namespace {

// The 8-bit value of the channel under mask in an X pixel.
unsigned channel(unsigned long pixel, unsigned long mask)
{
    if (!mask) return 255;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    unsigned long top = mask >> shift;
    return unsigned(((pixel & mask) >> shift) * 255 / top);
}

} // namespace

bool Window::read_rgba(int x, int y, int width, int height, ReadBuffer from, unsigned char *out)
{
    if (!make_current()) return false;
    if (from == ReadBuffer::BACK || !native_->double_buffer)
        return read_pixels(x, y, width, height, from, GL_RGBA, GL_UNSIGNED_BYTE, out);

    // After a swap, OpenGL cannot be relied on to read the front buffer back
    // (software drivers keep no copy of it): the window's pixels are the
    // front buffer, so they are read from the display, in OpenGL's row order.
    Native &n = *native_;
    if (x < 0 || y < 0 || width < 1 || height < 1 || x + width > width_ || y + height > height_)
        return false;
    glFinish();
    XSync(n.display, False);
    XImage *image = XGetImage(n.display, n.window, x, height_ - (y + height), unsigned(width),
                              unsigned(height), AllPlanes, ZPixmap);
    if (!image) return false;
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            unsigned long pixel = XGetPixel(image, c, height - 1 - r);
            unsigned char *o = out + (size_t(r) * width + c) * 4;
            o[0] = (unsigned char)channel(pixel, image->red_mask);
            o[1] = (unsigned char)channel(pixel, image->green_mask);
            o[2] = (unsigned char)channel(pixel, image->blue_mask);
            o[3] = 255;
        }
    XDestroyImage(image);
    return true;
}

bool Window::read_depth(int x, int y, int width, int height, ReadBuffer from, float *out)
{
    if (!make_current()) return false;
    return read_pixels(x, y, width, height, from, GL_DEPTH_COMPONENT, GL_FLOAT, out);
}

bool Window::process_events(const WindowEvents &events, bool wait)
{
    Native &n = *native_;
    if (!n.open) return false;
    bool waited = !wait;
    while (n.open && (XPending(n.display) > 0 || !waited)) {
        XEvent event;
        XNextEvent(n.display, &event);
        waited = true;
        if (event.xany.window != n.window) continue;
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0 && events.expose) events.expose();
            break;
        case ConfigureNotify:
            if (event.xconfigure.width != width_ || event.xconfigure.height != height_) {
                width_ = event.xconfigure.width;
                height_ = event.xconfigure.height;
                if (events.resize) events.resize(width_, height_);
            }
            break;
        case KeyPress:
            if (events.key) events.key(key_code(&event.xkey));
            break;
        case ButtonPress:
        case ButtonRelease:
            if (events.button)
                events.button(int(event.xbutton.button), event.type == ButtonPress,
                              event.xbutton.x, event.xbutton.y);
            break;
        case MotionNotify:
            if (events.motion) events.motion(event.xmotion.x, event.xmotion.y);
            break;
        case ClientMessage:
            if (Atom(event.xclient.data.l[0]) == n.delete_atom) {
                if (events.close) events.close();
                if (n.context) {
                    glXMakeCurrent(n.display, None, nullptr);
                    glXDestroyContext(n.display, n.context);
                    n.context = nullptr;
                }
                XDestroyWindow(n.display, n.window);
                XSync(n.display, False);
                n.open = false;
            }
            break;
        case DestroyNotify:
            n.open = false;
            break;
        default:
            break;
        }
    }
    return n.open;
}

void Window::run_until_quit(const std::function<void()> &redraw,
                            const std::function<void(int key)> &on_key)
{
    bool quit = false;
    WindowEvents events;
    events.expose = redraw;
    events.resize = [&redraw](int, int) {
        if (redraw) redraw();
    };
    events.key = [&](int key) {
        if (key == KEY_ESCAPE || key == 'q' || key == 'Q') quit = true;
        else if (on_key) on_key(key);
    };
    while (!quit && process_events(events, true)) {
    }
}

} // namespace velk
