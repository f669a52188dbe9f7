// The standard shaders of the build: found with no shader path set, with
// their standard interfaces, and behind the user's own paths.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ri_common/ri.h"
#include "ri/tokens.h"
#include "shading/stringids.h"
#include "tests/ri/error_capture.h"
#include "tests/shading/shader_support.h"

using shadertest::word_float;

namespace {

const PARAM_INFO *param(Shader *s, const char *name)
{
    for (const PARAM_INFO *p = s->params; p->name; ++p)
        if (std::strcmp(p->name, name) == 0) return p;
    return nullptr;
}

struct Param {
    const char *name;
    std::vector<float> value;   // empty for a string, whose default is ""
    const char *space = nullptr;
};

struct Standard {
    const char *name;
    int kind;
    std::vector<Param> params;
};

std::vector<Standard> standard_shaders()
{
    std::vector<float> white{1, 1, 1}, black{0, 0, 0};
    std::vector<Param> light{{"intensity", {1}}, {"lightcolor", white}};
    std::vector<Param> point = light;
    point.push_back({"from", {0, 0, 0}, "shader"});
    std::vector<Param> distant = point;
    distant.push_back({"to", {0, 0, 1}, "shader"});
    std::vector<Param> spot = distant;
    spot.push_back({"coneangle", {30 * 0.017453292f}});
    spot.push_back({"conedeltaangle", {5 * 0.017453292f}});
    spot.push_back({"beamdistribution", {2}});
    std::vector<Param> plastic{{"Ka", {1}}, {"Kd", {.5f}}, {"Ks", {.5f}}, {"roughness", {.1f}},
                               {"specularcolor", white}};
    std::vector<Param> painted = plastic;
    painted.push_back({"texturename", {}});
    return {
        {"constant", SH_SURFACE, {}},
        {"matte", SH_SURFACE, {{"Ka", {1}}, {"Kd", {1}}}},
        {"metal", SH_SURFACE, {{"Ka", {1}}, {"Ks", {1}}, {"roughness", {.1f}}}},
        {"shinymetal", SH_SURFACE,
         {{"Ka", {1}}, {"Ks", {1}}, {"Kr", {1}}, {"roughness", {.1f}}, {"texturename", {}}}},
        {"plastic", SH_SURFACE, plastic},
        {"paintedplastic", SH_SURFACE, painted},
        {"defaultsurface", SH_SURFACE, {{"Kd", {.8f}}, {"Ka", {.2f}}}},
        {"ambientlight", SH_LIGHT, light},
        {"distantlight", SH_LIGHT, distant},
        {"pointlight", SH_LIGHT, point},
        {"spotlight", SH_LIGHT, spot},
        {"depthcue", SH_VOLUME, {{"mindistance", {0}}, {"maxdistance", {1}}, {"background", black}}},
        {"fog", SH_VOLUME, {{"distance", {1}}, {"background", black}}},
        {"bumpy", SH_DISPLACEMENT, {{"Km", {1}}, {"texturename", {}}}},
        {"null", SH_SURFACE, {}},
    };
}

// Shader flag of the statements that give a light a position or direction.
const int ILLUMINATES = 0x2000;

// A compiled shader with one parameter whose name tells where it came from.
void write_marker_shader(const velktest::TempDir &dir, const char *name, const char *marker)
{
    dir.write(std::string(name) + ".murn",
              std::string("surface ") + name + "\nparam\tfloat\t" + marker + "\t\t1\ncode\n\treturn\n");
}

// The shader environment variables unset while it lives.
class NoShaderEnvironment {
public:
    NoShaderEnvironment() { save("VELKSHADERS"); save("SHADERS"); }
    ~NoShaderEnvironment()
    {
        for (auto &v : saved_) {
            if (v.second.first) setenv(v.first.c_str(), v.second.second.c_str(), 1);
            else unsetenv(v.first.c_str());
        }
    }
private:
    void save(const char *name)
    {
        const char *v = std::getenv(name);
        saved_.push_back({name, {v != nullptr, v ? v : ""}});
        unsetenv(name);
    }
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved_;
};

} // namespace

TEST(StandardShaders, EveryOneIsFoundWithoutAPathAndHasItsStandardInterface)
{
    NoShaderEnvironment env;
    for (const Standard &want : standard_shaders()) {
        SCOPED_TRACE(want.name);
        velktest::ErrorCapture errors;
        Shader *s = load_compiled_shader(want.name);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(errors.count(), 0u) << (errors.count() ? errors.reports[0].message : "");
        EXPECT_EQ(s->kind, want.kind);
        ASSERT_EQ(s->param_count(), int(want.params.size()));
        for (size_t i = 0; i < want.params.size(); ++i) {
            const Param &w = want.params[i];
            const PARAM_INFO &p = s->params[i];
            SCOPED_TRACE(w.name);
            EXPECT_STREQ(p.name, w.name);
            EXPECT_EQ(p.space, w.space ? NewToken(w.space) : nullptr);
            if (w.value.empty()) {
                EXPECT_EQ(p.type, 4);
                EXPECT_STREQ(string_from_id(s->defaults[p.offset / 4]), "");
                continue;
            }
            ASSERT_EQ(p.size, int(4 * w.value.size()));
            for (size_t k = 0; k < w.value.size(); ++k)
                EXPECT_NEAR(word_float(s->defaults[p.offset / 4 + k]), w.value[k], 1e-6);
        }
        // Only the ambient light shines from no place or direction.
        if (want.kind == SH_LIGHT) {
            EXPECT_EQ((s->flags & ILLUMINATES) != 0, std::strcmp(want.name, "ambientlight") != 0);
        }
    }
}

TEST(StandardShaders, TheUsersPathsComeFirst)
{
    NoShaderEnvironment env;
    velktest::TempDir option_dir, env_dir;
    write_marker_shader(option_dir, "matte", "from_option");
    write_marker_shader(env_dir, "matte", "from_env");
    write_marker_shader(env_dir, "plastic", "from_env");

    RiBegin(RI_NULL);
    RtString path = option_dir.path().c_str();
    RiOption("searchpath", "shader", &path, RI_NULL);
    setenv("VELKSHADERS", env_dir.path().c_str(), 1);

    Shader *matte = load_compiled_shader("matte");
    Shader *plastic = load_compiled_shader("plastic");
    unsetenv("VELKSHADERS");
    Shader *metal = load_compiled_shader("metal");
    RiEnd();

    ASSERT_NE(matte, nullptr);
    ASSERT_NE(plastic, nullptr);
    ASSERT_NE(metal, nullptr);
    EXPECT_NE(param(matte, "from_option"), nullptr);
    EXPECT_NE(param(plastic, "from_env"), nullptr);
    EXPECT_NE(param(metal, "roughness"), nullptr);
}
