#include "platform/dynlib.h"
#include "platform/image_window.h"
#include "platform/window.h"
#include "shading_files/tiffimage.h"
#include "tests/support/run_program.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "tests/support/x11_peer.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

// One virtual server for the whole test program; every test runs under an alarm.
velktest::XvfbServer &server()
{
    static velktest::XvfbServer s;
    return s;
}

class WindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        alarm(120);
        ASSERT_TRUE(server().ok()) << server().error();
        peer_ = XOpenDisplay(server().display().c_str());
        ASSERT_NE(peer_, nullptr);
    }
    void TearDown() override
    {
        if (peer_) XCloseDisplay(peer_);
        alarm(0);
    }

    // The window's pixels as the server has them: 0xRRGGBB per pixel.
    std::vector<unsigned long> screenshot(unsigned long id, int w, int h)
    {
        std::vector<unsigned long> out;
        XImage *image = XGetImage(peer_, id, 0, 0, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
        if (!image) return out;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) out.push_back(XGetPixel(image, x, y) & 0xffffff);
        XDestroyImage(image);
        return out;
    }

    // Sends a key press as the user would make it.
    void press(unsigned long id, KeySym sym, unsigned state = 0) { velktest::press_key(peer_, id, sym, state); }

    Display *peer_ = nullptr;
};

// An 8 x 6 test picture: red rises to the right, green downwards.
std::vector<unsigned char> picture(int w, int h, int samples)
{
    std::vector<unsigned char> p;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            p.push_back((unsigned char)(x * 30));
            p.push_back((unsigned char)(y * 40));
            p.push_back(200);
            if (samples == 4) p.push_back(128);
        }
    return p;
}

unsigned long rgb(int r, int g, int b)
{
    return (unsigned long)(r << 16 | g << 8 | b);
}

} // namespace

TEST(WindowWithoutDisplay, FailsAtOnce)
{
    alarm(60);
    std::string error;
    velk::WindowOptions o;
    o.display = "unix:987654";
    EXPECT_EQ(velk::Window::open(o, &error), nullptr);
    EXPECT_FALSE(error.empty());

    const char *saved = std::getenv("DISPLAY");
    std::string keep = saved ? saved : "";
    unsetenv("DISPLAY");
    error.clear();
    EXPECT_EQ(velk::ImageWindow::open("x", 0, 0, 4, 4, 1, &error), nullptr);
    EXPECT_FALSE(error.empty());
    if (saved) setenv("DISPLAY", keep.c_str(), 1);
    alarm(0);
}

TEST_F(WindowTest, ImageIsShownZoomedAtItsPlaceWithItsTitle)
{
    std::string error;
    auto win = velk::ImageWindow::open("frame.tif", 30, 40, 8, 6, 2, &error, server().display());
    ASSERT_NE(win, nullptr) << error;
    unsigned long id = win->window().native_id();
    EXPECT_EQ(win->window().width(), 16);
    EXPECT_EQ(win->window().height(), 12);

    std::vector<unsigned char> rgb3 = picture(8, 6, 3);
    // Rows as they come: the top half, then the rest.
    win->put_block(0, 0, 8, 3, 3, rgb3.data());
    win->put_block(0, 3, 8, 3, 3, rgb3.data() + 8 * 3 * 3);
    win->window().flush(true);

    std::vector<unsigned long> shot = screenshot(id, 16, 12);
    ASSERT_EQ(shot.size(), 16u * 12u);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(shot[size_t(y) * 16 + x], rgb((x / 2) * 30, (y / 2) * 40, 200)) << x << "," << y;
    EXPECT_EQ(win->image()[(5 * 8 + 7) * 4 + 3], 255);   // three samples get alpha 255

    char *name = nullptr;
    ASSERT_TRUE(XFetchName(peer_, id, &name));
    EXPECT_STREQ(name, "frame.tif");
    XFree(name);
    int rx = -1, ry = -1;
    ::Window child;
    XTranslateCoordinates(peer_, id, DefaultRootWindow(peer_), 0, 0, &rx, &ry, &child);
    EXPECT_EQ(rx, 30);
    EXPECT_EQ(ry, 40);

    // Uncovering redraws from the stored image.
    XClearArea(peer_, id, 0, 0, 0, 0, True);
    XSync(peer_, False);
    EXPECT_EQ(screenshot(id, 16, 12)[0], 0u);
    for (int i = 0; i < 50 && screenshot(id, 16, 12)[0] == 0u; ++i) {
        EXPECT_TRUE(win->poll());
        win->window().flush(true);
        usleep(10000);
    }
    EXPECT_EQ(screenshot(id, 16, 12)[15 * 1 + 16 * 11], rgb(7 * 30, 5 * 40, 200));

    // A new frame of another size: a new black image, the window follows.
    win->start_frame("next", 4, 2, 1);
    win->window().flush(true);
    XSync(peer_, False);
    EXPECT_EQ(win->image_width(), 4);
    std::vector<unsigned long> black = screenshot(id, 4, 2);
    for (unsigned long p : black) EXPECT_EQ(p, 0u);
}

TEST_F(WindowTest, SavesOnceOnWAndQuitsOnEscape)
{
    std::string error;
    auto win = velk::ImageWindow::open("save", 100, 100, 8, 6, 1, &error, server().display());
    ASSERT_NE(win, nullptr) << error;
    std::vector<unsigned char> rgba = picture(8, 6, 4);
    win->put_block(0, 0, 8, 6, 4, rgba.data());
    unsigned long id = win->window().native_id();

    // The user makes the window larger first: the image keeps its own size.
    XResizeWindow(peer_, id, 50, 40);
    XSync(peer_, False);
    press(id, XK_w, ShiftMask);
    press(id, XK_w);
    press(id, XK_Escape);

    velktest::TempDir dir;
    std::string path = dir.path() + "/shown.tif";
    int saves = 0;
    win->wait_until_closed([&](const unsigned char *image, int w, int h) {
        ++saves;
        TiffImageInfo info;
        info.width = w;
        info.height = h;
        info.samples = 4;
        info.bits = 8;
        info.sampleformat = 1;
        EXPECT_EQ(tiff_write_image(path.c_str(), image, info, 1), 0);
    });
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(win->window().width(), 50);

    TiffImageInfo info;
    std::vector<unsigned char> back;
    ASSERT_TRUE(tiff_read_image(path.c_str(), info, back));
    EXPECT_EQ(info.width, 8);
    EXPECT_EQ(info.height, 6);
    EXPECT_EQ(info.samples, 4);
    EXPECT_EQ(back, rgba);
}

TEST_F(WindowTest, QuitKeysAndClosing)
{
    for (KeySym quit : {KeySym(XK_q), KeySym(XK_Q)}) {
        auto win = velk::ImageWindow::open("q", 0, 0, 4, 4, 1, nullptr, server().display());
        ASSERT_NE(win, nullptr);
        press(win->window().native_id(), quit, quit == XK_Q ? ShiftMask : 0);
        win->wait_until_closed(nullptr);
    }

    // Closing through the window manager ends the loop and the window.
    auto win = velk::ImageWindow::open("close", 0, 0, 4, 4, 1, nullptr, server().display());
    ASSERT_NE(win, nullptr);
    unsigned long id = win->window().native_id();
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = id;
    e.xclient.message_type = XInternAtom(peer_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(peer_, "WM_DELETE_WINDOW", False));
    XSendEvent(peer_, id, False, NoEventMask, &e);
    XSync(peer_, False);
    int saves = 0;
    win->wait_until_closed([&](const unsigned char *, int, int) { ++saves; });
    EXPECT_FALSE(win->window().is_open());
    EXPECT_FALSE(win->poll());
    EXPECT_EQ(saves, 0);
}

TEST_F(WindowTest, DoubleBufferedDrawingAndReadBack)
{
    velk::WindowOptions o;
    o.display = server().display();
    o.title = "gl";
    o.width = 32;
    o.height = 24;
    o.double_buffer = true;
    o.depth_buffer = true;
    std::string error;
    auto win = velk::Window::open(o, &error);
    ASSERT_NE(win, nullptr) << error;
    ASSERT_TRUE(win->make_current());

    win->clear(0.0f, 1.0f, 0.0f);
    std::vector<unsigned char> pixels(32 * 24 * 4);
    ASSERT_TRUE(win->read_rgba(0, 0, 32, 24, velk::ReadBuffer::BACK, pixels.data()));
    EXPECT_EQ(pixels[0], 0);
    EXPECT_EQ(pixels[1], 255);
    win->swap_buffers();
    win->flush(true);
    ASSERT_TRUE(win->read_rgba(0, 0, 32, 24, velk::ReadBuffer::FRONT, pixels.data()));
    EXPECT_EQ(pixels[(23 * 32 + 31) * 4 + 1], 255);
    EXPECT_EQ(screenshot(win->native_id(), 32, 24)[5], rgb(0, 255, 0));

    std::vector<float> depth(32 * 24, -1.0f);
    ASSERT_TRUE(win->read_depth(0, 0, 32, 24, velk::ReadBuffer::BACK, depth.data()));
    EXPECT_GE(depth[0], 0.0f);
    EXPECT_LE(depth[0], 1.0f);

    // Events reach their callbacks.
    int resized_w = 0, key = 0, button = 0;
    velk::WindowEvents events;
    events.resize = [&](int w, int) { resized_w = w; };
    events.key = [&](int k) { key = k; };
    events.button = [&](int b, bool down, int, int) { if (down) button = b; };
    XResizeWindow(peer_, win->native_id(), 64, 48);
    press(win->native_id(), XK_a);
    XEvent e = {};
    e.xbutton.type = ButtonPress;
    e.xbutton.window = win->native_id();
    e.xbutton.button = 3;
    e.xbutton.same_screen = True;
    XSendEvent(peer_, win->native_id(), True, ButtonPressMask, &e);
    XSync(peer_, False);
    for (int i = 0; i < 100 && (resized_w == 0 || key == 0 || button == 0); ++i) {
        ASSERT_TRUE(win->process_events(events, false));
        usleep(10000);
    }
    EXPECT_EQ(resized_w, 64);
    EXPECT_EQ(win->width(), 64);
    EXPECT_EQ(key, 'a');
    EXPECT_EQ(button, 3);
}

#ifdef VELK_SANITIZED
namespace {

// A block of ours lost while a GL context is current.
__attribute__((noinline)) void lose_a_block_on_a_gl_path(velk::Window &win)
{
    unsigned char *volatile pixels = new unsigned char[77 * 4];
    win.read_rgba(0, 0, 7, 11, velk::ReadBuffer::BACK, pixels);
    pixels = nullptr;
}

} // namespace

// Run by the test below as a process of its own; skipped otherwise.
TEST(GlPathLeak, Child)
{
    const char *library = std::getenv("VELK_LEAK_LIBRARY");
    if (!library) GTEST_SKIP();
    velk::DynLib *lib = velk::dynlib_open(library);
    ASSERT_NE(lib, nullptr) << velk::dynlib_last_error();
    velk::dynlib_close(lib);
    velk::WindowOptions o;
    o.display = std::getenv("VELK_LEAK_DISPLAY");
    o.width = 7;
    o.height = 11;
    auto win = velk::Window::open(o);
    ASSERT_NE(win, nullptr);
    ASSERT_TRUE(win->make_current());
    win->clear(1.0f, 0.0f, 0.0f);
    lose_a_block_on_a_gl_path(*win);
}

// The suppressions name the GL driver stack's libraries, even when such a
// library is unloaded before the report; our own leak on a GL path still fails.
TEST_F(WindowTest, OurLeaksOnGlPathsAreReportedAndUnloadedLibrariesNamed)
{
    std::ostringstream project;
    project << std::ifstream(velktest::source_path("tests/lsan.supp")).rdbuf();
    ASSERT_FALSE(project.str().empty());
    velktest::TempDir dir;
    std::string supp = dir.write("lsan.supp", project.str() + "leak:libvelk_test_leaky.so\n");
    velktest::RunOptions o;
    o.env["VELK_LEAK_LIBRARY"] = VELK_LEAKY_LIBRARY;
    o.env["VELK_LEAK_DISPLAY"] = server().display();
    o.env["LSAN_OPTIONS"] = "suppressions=" + supp + ":print_suppressions=1";
    velktest::RunResult r = velktest::run({VELK_PLATFORM_TESTS, "--gtest_filter=GlPathLeak.Child"}, o);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("Direct leak of 308 byte(s)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lose_a_block_on_a_gl_path"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Direct leak of 128 byte(s)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("libvelk_test_leaky.so"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("<unknown module>"), std::string::npos) << r.err;
}
#endif
