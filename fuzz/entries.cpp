#include "fuzz/entries.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "compiler/driver.h"
#include "compiler/messages.h"
#include "compiler/shadeops.h"
#include "compiler/writer.h"
#include "raytrace/irradiance.h"
#include "raytrace/raytracer.h"
#include "ri/ribfile.h"
#include "ri_common/ri.h"
#include "shading_files/depthfile.h"
#include "shading_files/texmake.h"
#include "shading/loader.h"
#include "shading/texhandles.h"
#include "shading_files/tiffimage.h"
#include "tools/murnargs.h"

namespace fuzz {

namespace {

// A directory of this process for the files the readers open.
const std::string &scratch_dir()
{
    static std::string dir = [] {
        char path[] = "/tmp/velkfuzz.XXXXXX";
        const char *made = mkdtemp(path);
        return std::string(made ? made : "/tmp");
    }();
    return dir;
}

// Writes the bytes as a file of the scratch directory; returns its path.
std::string scratch_file(const char *name, const uint8_t *data, size_t size)
{
    std::string path = scratch_dir() + "/" + name;
    if (std::FILE *f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

// Every error is reported and returned from: the readers must go on safely.
void quiet_errors()
{
    RiErrorHandler(RiErrorIgnore);
}

// The ray tracer with its frame left unrendered: the scene is still built.
class ParseOnlyTracer : public RayTracer {
public:
    void render_world() override {}
};

void begin_renderer(bool render)
{
    quiet_errors();
    RiBegin(RI_NULL);
    if (!render) {
        delete current_renderer;
        current_renderer = new ParseOnlyTracer;
        current_renderer->make_current();
        RtColor white = {1, 1, 1};
        RiColor(white);
    }
}

// Forgets the textures read before (they are cached by name).
void forget_textures()
{
    static std::FILE *sink = std::fopen("/dev/null", "w");
    if (sink) print_texture_stats(sink);
}

} // namespace

int rib(const uint8_t *data, size_t size)
{
    std::string path = scratch_file("in.rib", data, size);
    begin_renderer(false);
    // Archives are found beside the input, so that it can read itself.
    const char *here = scratch_dir().c_str();
    RiOption(const_cast<RtToken>("searchpath"), const_cast<RtToken>("archive"), &here, RI_NULL);
    read_rib_file(path.c_str(), nullptr, 0, 1);
    RiEnd();
    return 0;
}

int rayserver(const uint8_t *data, size_t size)
{
    static const char SCENE[] =
        "Format 4 4 1\nPixelSamples 1 1\nDisplay \"null\" \"null\" \"rgb\"\nProjection \"perspective\"\n"
        "WorldBegin\nLightSource \"pointlight\" 1 \"from\" [0 2 0]\nSurface \"plastic\"\nTranslate 0 0 5\n"
        "Sphere 1 -1 1 360\nPolygon \"P\" [-3 -1 -3 3 -1 -3 3 -1 3 -3 -1 3]\nWorldEnd\n";
    std::string scene = scratch_file("scene.rib", reinterpret_cast<const uint8_t *>(SCENE), sizeof SCENE - 1);
    std::string queries = scratch_file("queries", data, size);
    // The server answers on the standard streams.
    std::fflush(stdout);
    int saved_in = dup(0), saved_out = dup(1);
    int in = open(queries.c_str(), O_RDONLY), out = open("/dev/null", O_WRONLY);
    dup2(in, 0);
    dup2(out, 1);
    begin_renderer(true);
    current_renderer->options.rayserver = 1;
    read_rib_file(scene.c_str(), nullptr, 0, 1);
    RiEnd();
    std::fflush(stdout);
    dup2(saved_in, 0);
    dup2(saved_out, 1);
    for (int fd : {saved_in, saved_out, in, out}) close(fd);
    return 0;
}

int compiled_shader(const uint8_t *data, size_t size)
{
    quiet_errors();
    std::string path = scratch_file("fuzzed.murn", data, size);
    read_text_shader("fuzzed", path.c_str());
    murnargs_set_path(scratch_dir().c_str());
    murnargs_open("fuzzed");
    murnargs_release();
    return 0;
}

int shading_language(const uint8_t *data, size_t size)
{
    std::string text = "# 1 \"fuzzed.sl\"\n" + std::string(reinterpret_cast<const char *>(data), size);
    murn::reset_writer();
    murn::output_path = scratch_dir() + "/fuzzed_out.murn";
    murn::verbosity = 0;
    murn::begin_compilation();
    murn::shadeop_path = ".";
    if (std::FILE *in = fmemopen(&text[0], text.size(), "r")) {
        murn::compile_preprocessed(in);
        std::fclose(in);
    }
    murn::remove_failed_output();
    murn::end_compilation();
    murn::reset_writer();
    return 0;
}

int texture(const uint8_t *data, size_t size)
{
    quiet_errors();
    forget_textures();
    std::string path = scratch_file("fuzzed.tex", data, size);
    TextureArgs a;
    a.measure = 1;
    a.channels = 3;
    float corners[8] = {0.1f, 0.2f, 0.6f, 0.2f, 0.1f, 0.7f, 0.6f, 0.7f}, result[4] = {};
    texture_lookup(path.c_str(), corners, result, a);
    const Point dirs[4] = {Point(0, 0, 1), Point(0.1f, 0, 1), Point(0, 0.1f, 1), Point(0.1f, 0.1f, 1)};
    environment_lookup(path.c_str(), dirs, result, a);
    a.channels = 1;
    shadow_lookup(path.c_str(), dirs, a);
    forget_textures();
    std::string out = scratch_dir() + "/fuzzed_made.tex";
    make_texture_file(const_cast<char *>(path.c_str()), const_cast<char *>(out.c_str()), const_cast<char *>("periodic"),
                   const_cast<char *>("clamp"), RiBoxFilter, 1, 1, 0, nullptr, nullptr);
    return 0;
}

int depth_file(const uint8_t *data, size_t size)
{
    quiet_errors();
    std::string path = scratch_file("fuzzed.z", data, size);
    std::string out = scratch_dir() + "/fuzzed.shad";
    make_shadow_file(const_cast<char *>(path.c_str()), const_cast<char *>(out.c_str()), 0, nullptr, nullptr);
    return 0;
}

int irradiance_cache(const uint8_t *data, size_t size)
{
    quiet_errors();
    std::string path = scratch_file("fuzzed.irr", data, size);
    IrradianceCache cache;
    cache.load(path.c_str());
    return 0;
}

const Entry ENTRIES[] = {
    {"rib", rib},
    {"rayserver", rayserver},
    {"compiled_shader", compiled_shader},
    {"shading_language", shading_language},
    {"texture", texture},
    {"depth_file", depth_file},
    {"irradiance_cache", irradiance_cache},
};
const size_t ENTRY_COUNT = sizeof ENTRIES / sizeof ENTRIES[0];

} // namespace fuzz
