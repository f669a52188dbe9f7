// Option, attribute and renderer queries, and their operations.
#include <cstdio>
#include <cstring>

#include "ri/attribute_rows.h"
#include "ri/renderer.h"
#include "ri_common/same_string.h"
#include "ri/shader.h"
#include "shading/interp.h"
#include "shading/loader.h"
#include "shading/opmodules.h"
#include "shading/queries.h"
#include "shading/shadingpoint.h"
#include "shading/stringids.h"

namespace {

// A query's answer goes only into a destination of its own type and size
// (count: elements of the destination, 1 for a scalar); anything else
// answers 0 and leaves the destination as it was.
int answer_numbers(int type, int count, void *data, const float *v, int n)
{
    if (type != PtFLOAT || count != n) return 0;
    std::memcpy(data, v, 4 * static_cast<size_t>(n));
    return 1;
}

int answer_number(int type, int count, void *data, float v)
{
    return answer_numbers(type, count, data, &v, 1);
}

int answer_string(int type, int count, void *data, const char *text)
{
    if (type != PtSTRING || count != 1) return 0;
    uint32_t id = string_id(text);
    std::memcpy(data, &id, 4);
    return 1;
}

// Query operations: pop the type code, then the name; write through the
// operand (a whole array when it names one); push 1.0 or 0.0.
template <int (*QUERY)(ShadingPoint *, const char *, int, void *, int)>
void op_query(ExecFrame *f, ShaderVars *sv)
{
    const uint32_t word = next_word(f);
    char *dest = operand_address(word, f);
    int type = static_cast<int>(slstack.pop_float());
    const char *name = slstack.pop_string();
    int count = f->shader ? f->shader->array_length(word) : 1;
    int known = slstack.failed() ? 0 : QUERY(sv, name, type, dest, count);
    slstack.push_float(known ? 1.0f : 0.0f);
}

// Frame options a shader may ask for by their request's name: the numbers
// each answers.
struct OptionQuery {
    const char *name;
    int (*numbers)(const Options &o, float v[3]);
};

const OptionQuery OPTION_QUERIES[] = {
    {"Format", [](const Options &o, float v[3]) {
         v[0] = static_cast<float>(o.xres), v[1] = static_cast<float>(o.yres), v[2] = o.pixel_aspect;
         return 3;
     }},
    {"DepthOfField", [](const Options &o, float v[3]) {
         v[0] = o.fstop, v[1] = o.focal_length, v[2] = o.focal_distance;
         return 3;
     }},
    {"Shutter", [](const Options &o, float v[3]) {
         v[0] = o.shutter_open, v[1] = o.shutter_close;
         return 2;
     }},
    {"Clipping", [](const Options &o, float v[3]) {
         v[0] = o.near_clip, v[1] = o.far_clip;
         return 2;
     }},
};

// Attributes a shader may ask for by their request's name (the RiAttribute
// pairs answer from their rows).
struct AttributeQuery {
    const char *name;
    float (*number)(const GState &g);
};

const AttributeQuery ATTRIBUTE_QUERIES[] = {
    {"ShadingRate", [](const GState &g) { return g.shading_rate; }},
    {"Matte", [](const GState &g) { return (g.flags & GS_MATTE) ? 1.0f : 0.0f; }},
    {"GeometricApproximation:motionfactor", [](const GState &) { return 0.0f; }},
    {"Sides", [](const GState &g) { return (g.flags & GS_TWOSIDED) ? 2.0f : 1.0f; }},
};

} // namespace

extern "C" int sl_option(ShadingPoint *, const char *name, int type, void *data, int count)
{
    Renderer *r = current_renderer;
    if (!r || !data) return 0;
    for (const OptionQuery &q : OPTION_QUERIES)
        if (is(name, q.name)) {
            float v[3];
            int n = q.numbers(r->options, v);
            return answer_numbers(type, count, data, v, n);
        }
    return 0;
}

extern "C" int sl_attribute(ShadingPoint *sv, const char *name, int type, void *data, int count)
{
    const GState *g = sv ? sv->surf.get() : nullptr;
    if (!g || !data) return 0;
    for (const AttributeQuery &q : ATTRIBUTE_QUERIES)
        if (is(name, q.name)) return answer_number(type, count, data, q.number(*g));
    // "name:token": the RiAttribute rows that shaders see.
    const KeywordRow *row = attribute_rows().find_query(name);
    if (!row) return 0;
    RowValue v = read_row(*row, g);
    return v.is_string ? answer_string(type, count, data, v.string) : answer_number(type, count, data, v.number);
}

extern "C" int sl_rendererinfo(ShadingPoint *, const char *name, int type, void *data, int count)
{
    if (!data) return 0;
    if (is(name, "renderer")) return answer_string(type, count, data, "VELK");
    if (is(name, "version")) {
        int n[4] = {0, 0, 0, 0};
        std::sscanf(RENDERER_VERSION, "%d.%d.%d.%d", &n[0], &n[1], &n[2], &n[3]);
        float v[4] = {float(n[0]), float(n[1]), float(n[2]), float(n[3])};
        return answer_numbers(type, count, data, v, 4);
    }
    if (is(name, "versionstring")) return answer_string(type, count, data, RENDERER_VERSION);
    return 0;
}

namespace {

constexpr OpBinding ROWS[] = {
    {"optionM", op_query<sl_option>},
    {"attributeM", op_query<sl_attribute>},
    {"rendererinfoM", op_query<sl_rendererinfo>},
};

} // namespace

constexpr OpBindings QUERY_OPS = op_bindings(shading::OpModule::Query, ROWS);
