// Our shader corpus: every construct and built-in compiles into files the
// renderer's loader reads, using only operations the interpreter has.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "shading/interp.h"
#include "shading_shaderfile/opnames.h"
#include "tests/compiler/compile_support.h"
#include "tests/support/run_program.h"

namespace {

const char *const CORPUS[] = {"builtins", "constructs", "lights", "kinds",
                              "volume", "imager", "transformation"};

murntest::FormatCheck compile_corpus_file(const std::string &name, bool crypt)
{
    velktest::TempDir dir;
    std::string source = std::string(VELK_TEST_CORPUS) + "/" + name + ".sl";
    std::vector<std::string> argv = {velktest::program("murn"), "-q", "-o", "out.murn"};
    if (crypt)
        argv.push_back("-crypt");
    argv.push_back(source);
    velktest::RunOptions options;
    options.cwd = dir.path();
    velktest::RunResult r = velktest::run(argv, options);
    EXPECT_EQ(r.status, 0) << name << "\n" << r.err;
    EXPECT_EQ(r.err.find("murn Error"), std::string::npos) << name;
    murntest::FormatCheck check = murntest::check_format(dir.read("out.murn"));
    for (const std::string &p : check.problems)
        ADD_FAILURE() << name << ": " << p;
    return check;
}

} // namespace

TEST(Corpus, EveryShaderCompilesToAReadableFile)
{
    std::set<std::string> ops;
    for (const char *name : CORPUS) {
        murntest::FormatCheck plain = compile_corpus_file(name, false);
        murntest::FormatCheck hidden = compile_corpus_file(name, true);
        EXPECT_TRUE(hidden.encrypted);
        EXPECT_EQ(plain.ops, hidden.ops);
        ops.insert(plain.ops.begin(), plain.ops.end());
    }
    // The corpus reaches every operation the compiler can emit (dsoop, which
    // needs a library, is the shadeop tests').
    static const char *const emitted[] = {
        "Derivc", "Derivf", "Derivv", "Dtimef", "Dtimev", "Duf", "Duv", "Dvf", "Dvv", "abs", "acos", "addC",
        "addCC", "addF", "addFF", "addM", "addV", "addVV", "addcc", "addcf", "addff", "addvf",
        "addvv", "ambient", "and", "areashadow", "apopc", "apopf", "apopm", "apops", "apopv", "apushc",
        "apushf", "apushm", "apushs", "apushv", "area", "asin", "atan", "atan2", "atmosphereM",
        "attributeM", "bump", "calculatenormal", "caspline", "casplineb", "cclamp", "ceil",
        "cellnoisef", "cellnoiseff", "cellnoisev", "cellnoisevf", "cenvironment", "ceqc",
        "ceqf", "cmax", "cmin", "cmix", "cnec", "cnef", "colorcellnoisef", "colorcellnoiseff",
        "colorcellnoisev", "colorcellnoisevf", "colornoisef", "colornoiseff", "colornoisev",
        "colornoisevf", "colorpnoisef", "colorpnoiseff", "colorpnoisev", "colorpnoisevf",
        "colorspline", "colorsplineb", "comp", "concat", "cos", "cpCC", "cpFF", "cpSS", "cpVV",
        "cross", "cset", "ctexture", "ctransforms", "ctransformss", "degrees", "depth",
        "determinant", "diffuse", "displacementM", "distance", "divC", "divCC", "divF", "divFF",
        "divM", "divV", "divVV", "divcc", "divcf", "divff", "divfm", "divmf", "divmm", "divvf",
        "divvv", "exp", "faceforward", "faceforward3", "faspline", "fasplineb", "fclamp",
        "fenvironment", "feqc", "feqf", "feqv", "filterstep2", "filterstep3", "floor", "fmax",
        "fmin", "fmix", "fnec", "fnef", "fnev", "format", "fresnel2", "fresnel4", "ftexture",
        "ftoc", "ftom", "ftop", "ftov", "fulltrace", "ge", "gt", "hsv_to_rgb", "ifz",
        "illuminance1", "illuminance2", "illuminance3", "illuminance4", "illuminance_end",
        "illuminance_start",
        "illuminate1", "illuminate3", "incidentM", "inversesqrt", "isshadowray", "jump", "le",
        "length", "lightsourceM", "log", "logb", "lt", "match", "mcomp", "meqf", "meqm", "mmix",
        "mnef", "mnem", "mod", "mrotate", "mscale", "msetcomp", "feqm", "fnem", "veqc", "vnec",
        "ceqv", "cnev",
        "mset", "mtransformss", "mtranslate", "mulC", "mulCC", "mulCF", "mulF", "mulFC",
        "mulFF", "mulFV", "mulFc", "mulFv", "mulM", "mulV", "mulVF", "mulVV", "mulcc", "mulcf",
        "mulfc", "mulff", "mulfm", "mulfv", "mulmf", "mulmm", "mulvf", "mulvv", "negc", "negf",
        "negv", "noisef", "noiseff", "noisev", "noisevf", "normalize", "not", "ntransformm",
        "ntransformms", "ntransforms", "ntransformss", "oppositeM", "optionM", "or", "paspline",
        "pasplineb", "phong", "pnoisef", "pnoiseff", "pnoisev", "pnoisevf", "pointcellnoisef",
        "pointcellnoiseff", "pointcellnoisev", "pointcellnoisevf", "pointnoisef",
        "pointnoiseff", "pointnoisev", "pointnoisevf", "pointpnoisef", "pointpnoiseff",
        "pointpnoisev", "pointpnoisevf", "pointspline", "pointsplineb", "popc", "popf", "popm",
        "pops", "popv", "pow", "printf", "ptlined", "ptransformss", "pushc", "pushf", "pushif",
        "pushiv", "pushm", "pushs", "pushv", "radians", "random", "rayhittest", "raylevel",
        "reflect", "refract", "rendererinfoM", "return", "return_area", "rotate", "round",
        "seq", "setcomp", "shadername", "shadow", "sign", "sin", "smoothstep", "sne", "solar0",
        "solar2", "specular", "specularbrdf", "spline", "splineb", "sqrt", "step", "subC",
        "subCC", "subF", "subFF", "subM", "subV", "subVV", "subcc", "subcf", "subff", "subvf",
        "subvv", "surfaceM", "tan", "textureinfoM", "trace", "transformm", "transformms",
        "transforms", "transformss", "vclamp", "vdot", "veqf", "veqv", "visibility", "vmax",
        "vmin", "vmix", "vnef", "vnev", "vset", "vtransformm", "vtransformms", "vtransforms",
        "vtransformss", "xcomp", "xyz_to_rgb", "ycomp", "yiq_to_rgb", "zcomp"};
    for (const char *op : emitted)
        EXPECT_TRUE(ops.count(op)) << op;
    // Every operation written is one the interpreter carries out.
    for (const std::string &op : ops) {
        const shading::OpName *n = shading::find_op_name(op.c_str());
        ASSERT_NE(n, nullptr) << op;
        EXPECT_TRUE(op_available(n->opcode)) << op;
    }
}
