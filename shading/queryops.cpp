// Option, attribute and renderer queries, and their operations.
#include <cstring>

#include "ri/renderer.h"
#include "ri/shader.h"
#include "shading/interp.h"
#include "shading/loader.h"
#include "shading/opmodules.h"
#include "shading/queries.h"
#include "shading/shadingpoint.h"
#include "shading/stringids.h"

namespace {

bool is(const char *a, const char *b)
{
    return a && std::strcmp(a, b) == 0;
}

bool float_type(int type)
{
    return type != PtSTRING && type != PtINT && shader_type_size(type) > 0;
}

// Words behind the destination of a query: the type's size, or the whole
// array when the running operation names one.
int query_room = 0;

// Writes up to n numbers into a destination of the type: 1, or 0 when the
// type holds no numbers.
int answer_numbers(int type, void *data, const float *v, int n)
{
    if (!float_type(type)) return 0;
    int room = query_room > 0 ? query_room : shader_type_size(type) / 4;
    std::memcpy(data, v, 4 * static_cast<size_t>(n < room ? n : room));
    return 1;
}

int answer_number(int type, void *data, float v)
{
    return answer_numbers(type, data, &v, 1);
}

// A string answer goes only into a string destination.
int answer_string(int type, void *data, const char *text)
{
    if (type != PtSTRING) return 0;
    uint32_t id = string_id(text);
    std::memcpy(data, &id, 4);
    return 1;
}

// Query operations: pop the type code, then the name; write through the
// operand; push 1.0 or 0.0.
template <int (*QUERY)(Intersection *, const char *, int, void *)>
void op_query(ExecFrame *f, ShaderVars *sv)
{
    const uint32_t word = next_word(f);
    char *dest = operand_address(word, f);
    int type = static_cast<int>(slstack.pop_float());
    const char *name = slstack.pop_string();
    int length = f->shader ? f->shader->array_length(word) : 1;
    query_room = float_type(type) && length > 1 ? length * shader_type_size(type) / 4 : 0;
    int known = slstack.failed() ? 0 : QUERY(sv, name, type, dest);
    query_room = 0;
    slstack.push_float(known ? 1.0f : 0.0f);
}

} // namespace

extern "C" int sl_option(Intersection *, const char *name, int type, void *data)
{
    Renderer *r = current_renderer;
    if (!r || !data) return 0;
    const Options &o = r->options;
    if (is(name, "Format")) {
        float v[3] = {static_cast<float>(o.xres), static_cast<float>(o.yres), o.pixel_aspect};
        return answer_numbers(type, data, v, 3);
    }
    if (is(name, "DepthOfField")) {
        float v[3] = {o.fstop, o.focal_length, o.focal_distance};
        return answer_numbers(type, data, v, 3);
    }
    if (is(name, "Shutter")) {
        float v[2] = {o.shutter_open, o.shutter_close};
        return answer_numbers(type, data, v, 2);
    }
    if (is(name, "Clipping")) {
        float v[2] = {o.near_clip, o.far_clip};
        return answer_numbers(type, data, v, 2);
    }
    return 0;
}

extern "C" int sl_attribute(Intersection *sv, const char *name, int type, void *data)
{
    const GState *g = sv ? sv->surf.get() : nullptr;
    if (!g || !data) return 0;
    if (is(name, "ShadingRate")) return answer_number(type, data, g->shading_rate);
    if (is(name, "Matte")) return answer_number(type, data, (g->flags & GS_MATTE) ? 1.0f : 0.0f);
    if (is(name, "GeometricApproximation:motionfactor")) return answer_number(type, data, 0);
    if (is(name, "Sides")) return answer_number(type, data, (g->flags & GS_TWOSIDED) ? 2.0f : 1.0f);
    if (is(name, "sides:doubleshaded")) return answer_number(type, data, 0);
    if (is(name, "displacementbound:sphere")) return answer_number(type, data, g->displacement_bound);
    if (is(name, "displacementbound:coordinatesystem"))
        return answer_string(type, data, g->displacement_space ? g->displacement_space : "current");
    if (is(name, "identifier:name"))
        return answer_string(type, data, g->identifier ? g->identifier : "");
    return 0;
}

extern "C" int sl_rendererinfo(Intersection *, const char *name, int type, void *data)
{
    if (!data) return 0;
    if (is(name, "renderer")) return answer_string(type, data, "VELK");
    if (is(name, "version")) {
        float v[4] = {2, 5, 0, 7};
        return answer_numbers(type, data, v, 4);
    }
    if (is(name, "versionstring")) return answer_string(type, data, RENDERER_VERSION);
    return 0;
}

void install_query_ops()
{
    set_op_handler("optionM", op_query<sl_option>);
    set_op_handler("attributeM", op_query<sl_attribute>);
    set_op_handler("rendererinfoM", op_query<sl_rendererinfo>);
}
