// The toolkit as a user meets it: installed under a prefix it finds its own
// standard shaders, and the README's "Using it" commands work as written.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/render_support.h"
#include "tests/support/run_program.h"
#include "tests/support/x11_peer.h"
#include "tests/support/xvfb.h"

namespace {

using velktest::RunOptions;
using velktest::RunResult;
using velktest::TempDir;

const char SCENE[] = "Display \"out.tif\" \"file\" \"rgb\"\nFormat 16 16 1\nPixelSamples 1 1\n"
                     "Projection \"perspective\" \"fov\" 40\nTranslate 0 0 4\nWorldBegin\n"
                     "LightSource \"distantlight\" 1 \"from\" [0 0 -1] \"to\" [0 0 0]\n"
                     "Color [1 0.2 0.1]\nSurface \"plastic\"\nSphere 1 -1 1 360\nWorldEnd\n";

// Environment without the user's shader paths or rc file folder.
RunOptions plain_env(const TempDir &dir)
{
    RunOptions o;
    o.cwd = dir.path();
    o.env = {{"VELKSHADERS", ""}, {"SHADERS", ""}, {"VELKHOME", ""}, {"HOME", dir.path()}};
    return o;
}

TEST(Install, InstalledRaylumeFindsItsOwnShadersFirst)
{
    TempDir prefix, work;
    RunResult inst = velktest::run({"/usr/bin/env", "cmake", "--install", velktest::build_path(""), "--prefix",
                                    prefix.path()});
    ASSERT_EQ(inst.status, 0) << inst.out << inst.err;
    for (const char *f : {"bin/raylume", "bin/pevrin", "bin/tavrel", "bin/murn", "bin/murnpeek",
                          "share/velk/shaders/plastic.murn", "lib/libribout.a", "include/velk/ri/ri.h",
                          "include/velk/raytrace/dspy.h", "include/velk/shading/shadeop_table.h",
                          "include/velk/shading/native_shader.h"})
        EXPECT_TRUE(prefix.exists(f)) << f;

    const std::string raylume = prefix.path() + "/bin/raylume";
    work.write("s.rib", SCENE);
    RunResult r = velktest::run({raylume, "-silent", "s.rib"}, plain_env(work));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    e2e::Image lit = e2e::read_tiff(work.path() + "/out.tif");
    ASSERT_FALSE(lit.empty());
    EXPECT_GT(lit.at(8, 8, 0), 150);   // red plastic, lit head on
    EXPECT_LT(lit.at(8, 8, 1), 120);

    // A "plastic" of the prefix's own that paints green is the one used:
    // the install is searched before the build folder.
    RunResult c = velktest::murn_compile(work, "plastic", "surface plastic() { Oi = Os; Ci = color(0, 1, 0); }\n",
                                         {"-o", prefix.path() + "/share/velk/shaders/plastic.murn"});
    ASSERT_EQ(c.status, 0) << c.err;
    r = velktest::run({raylume, "-silent", "s.rib"}, plain_env(work));
    ASSERT_EQ(r.status, 0) << r.err;
    e2e::Image green = e2e::read_tiff(work.path() + "/out.tif");
    ASSERT_FALSE(green.empty());
    EXPECT_LT(green.at(8, 8, 0), 5);
    EXPECT_GT(green.at(8, 8, 1), 250);
}

// An RI program in the C binding's style, built against the installed header
// and RIB writer: standard token names, a filter function, error codes and
// RiLastError after an output that cannot be made.
const char RI_PROGRAM[] = R"(#include <ri/ri.h>
#include <stdio.h>
#include <string.h>
int main(int argc, char **argv)
{
    RtColor orange = {1, 0.5f, 0};
    RtPoint square[4] = {{-1, -1, 0}, {-1, 1, 0}, {1, 1, 0}, {1, -1, 0}};
    RtColor corners[4] = {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}};
    RtFloat fov = 40, kd = 0.9f, intensity = 1;
    RtPoint from = {0, 0, -1}, to = {0, 0, 0};
    if (argc > 1) {
        RiErrorHandler(RiErrorIgnore);
        RiBegin(argv[1]);
        RiEnd();
        return RiLastError == RIE_NOFILE ? 7 : 1;
    }
    RiBegin(RI_NULL);
    RiDisplay("c.tif", RI_FILE, RI_RGB, RI_NULL);
    RiFormat(16, 16, 1);
    RiPixelFilter(RiGaussianFilter, 2, 2);
    RiProjection(RI_PERSPECTIVE, RI_FOV, &fov, RI_NULL);
    RiTranslate(0, 0, 4);
    RiWorldBegin();
    RiLightSource(RI_DISTANTLIGHT, RI_INTENSITY, &intensity, RI_FROM, from, RI_TO, to, RI_NULL);
    RiColor(orange);
    RiSurface(RI_MATTE, RI_KD, &kd, RI_NULL);
    RiPolygon(4, RI_P, (RtPointer)square, RI_CS, (RtPointer)corners, RI_NULL);
    RiWorldEnd();
    RiEnd();
    return strcmp(RI_ORTHOGRAPHIC, "orthographic") == 0 && RIE_SEVERE == 3 ? 0 : 1;
}
)";

TEST(Install, CProgramsInTheBindingsStyleBuildAgainstTheInstalledHeader)
{
    TempDir prefix, work;
    RunResult inst = velktest::run({"/usr/bin/env", "cmake", "--install", velktest::build_path(""), "--prefix",
                                    prefix.path()});
    ASSERT_EQ(inst.status, 0) << inst.out << inst.err;
    work.write("prog.c", RI_PROGRAM);
    RunResult cc = velktest::run(
        {"/bin/sh", "-c",
         "cc -std=c99 -pedantic -Wall -Werror prog.c -I'" + prefix.path() + "/include/velk' -L'" + prefix.path() +
#ifdef VELK_SANITIZED
             "/lib' -fsanitize=address,undefined"
#else
             "/lib'"
#endif
             " -lbinding -lribout -lri_common -lplatform -lstdc++ -lm -o prog"},
        plain_env(work));
    ASSERT_EQ(cc.status, 0) << cc.out << cc.err;
    RunResult r = velktest::run({"/bin/sh", "-c", "./prog | '" + prefix.path() + "/bin/raylume'"}, plain_env(work));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    e2e::Image im = e2e::read_tiff(work.path() + "/c.tif");
    ASSERT_FALSE(im.empty());
    EXPECT_GT(im.at(8, 8, 0), 150);   // the vertex colours, lit by the matte surface
    EXPECT_LT(im.at(8, 8, 1), 5);
    // An output that cannot be made is the program's to handle.
    r = velktest::run({work.path() + "/prog", "/no/such/folder/x.rib"}, plain_env(work));
    EXPECT_EQ(r.status, 7) << r.err;
    EXPECT_EQ(r.err, "");
}

// The indented lines of the README's "Using it" section, in order.
std::string readme_commands()
{
    std::ifstream in(velktest::source_path("README.md"));
    std::string line, script;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line.rfind("## ", 0) == 0) inside = line == "## Using it";
        else if (inside && line.rfind("    ", 0) == 0) script += line.substr(4) + "\n";
    }
    return script;
}

// Presses Escape on every window shown on the display until stopped, as a
// user closes each window the commands open.
void close_windows(const std::string &display, const std::atomic<bool> &stop)
{
    Display *d = XOpenDisplay(display.c_str());
    if (!d) return;
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    while (!stop) {
        ::Window root, parent, *children = nullptr;
        unsigned n = 0;
        if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) {
            for (unsigned i = 0; i < n; ++i) {
                XWindowAttributes a;
                if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable)
                    velktest::press_key(d, children[i], XK_Escape);
            }
            if (children) XFree(children);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    XCloseDisplay(d);
}

TEST(Readme, UsingItCommandsWorkAsWritten)
{
    std::string script = readme_commands();
    ASSERT_NE(script.find("raylume ball.rib"), std::string::npos) << script;
    velktest::XvfbServer x;
    ASSERT_TRUE(x.ok()) << x.error();

    // A fresh clone after the first README command: the sources and a build.
    TempDir root;
    ASSERT_EQ(symlink(velktest::source_path("scenes").c_str(), (root.path() + "/scenes").c_str()), 0);
    ASSERT_EQ(symlink(velktest::build_path("").c_str(), (root.path() + "/build").c_str()), 0);
    ASSERT_EQ(mkdir((root.path() + "/home").c_str(), 0755), 0);
    root.write("readme.sh", script);
    RunOptions o = plain_env(root);
    o.env["HOME"] = root.path() + "/home";
    o.env["DISPLAY"] = x.display();
    o.timeout_seconds = 600;
#ifdef VELK_SANITIZED
    // The installed libraries carry the sanitizers' calls: so must the link.
    mkdir((root.path() + "/cc").c_str(), 0755);
    root.write("cc/cc", "#!/bin/sh\nexec /usr/bin/cc -fsanitize=address,undefined \"$@\"\n");
    chmod((root.path() + "/cc/cc").c_str(), 0755);
    o.env["PATH"] = root.path() + "/cc:" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
#endif

    std::atomic<bool> stop{false};
    std::thread closer(close_windows, x.display(), std::cref(stop));
    RunResult r = velktest::run({"/bin/sh", "-e", "readme.sh"}, o);
    stop = true;
    closer.join();
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const char *f : {"ball.tif", "stripes.murn", "striped.tif", "card.tx", "mapped.tif", "hello.tif"})
        EXPECT_TRUE(root.exists(std::string("mywork/") + f)) << f;
    // The ball wears the card all over: its middle (the sphere's pole, the
    // texture's first row) is not left black.
    e2e::Image mapped = e2e::read_tiff(root.path() + "/mywork/mapped.tif");
    ASSERT_FALSE(mapped.empty());
    for (int y : {120, 110, 100})
        EXPECT_GT(std::max({mapped.at(160, y, 0), mapped.at(160, y, 1), mapped.at(160, y, 2)}), 40) << y;
    EXPECT_NE(r.out.find("surface \"stripes\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("surface \"plastic\""), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("WARNING"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("ERROR"), std::string::npos) << r.err;
}

} // namespace
