// Message-passing operations: surface, displacement, atmosphere, lightsource,
// incident and opposite, with the value on the stack or a destination operand.
#include <cstring>
#include <string>

#include "ri/renderer.h"
#include "ri/shader.h"
#include "shading/interp.h"
#include "shading/lightsource.h"
#include "shading/messages.h"
#include "shading/opmodules.h"
#include "shading/shadingpoint.h"
#include "shading/stringids.h"

namespace {

bool point_like(int type)
{
    return type == PtPOINT || type == PtVECTOR || type == PtNORMAL;
}

bool types_compatible(int a, int b)
{
    return a == b || (point_like(a) && point_like(b));
}

const PARAM_INFO *find_row(const Shader *shader, const char *name)
{
    if (!shader || !name) return nullptr;
    for (const PARAM_INFO *p = shader->params; p && p->name; ++p)
        if (std::strcmp(p->name, name) == 0) return p;
    return nullptr;
}

// The shader slot of a source at this point: incident is the volume the
// incident ray travelled through, opposite the one on the other side.
int source_slot(const ShaderVars *sv, int source)
{
    switch (source) {
    case MSG_SURFACE: return USE_SURFACE;
    case MSG_DISPLACEMENT: return USE_DISPLACEMENT;
    case MSG_ATMOSPHERE: return USE_ATMOSPHERE;
    case MSG_INCIDENT:
        if (dot(sv->Ng, sv->I) >= 0) return USE_INTERIOR;
        return sv->level == 0 ? USE_ATMOSPHERE : USE_EXTERIOR;
    case MSG_OPPOSITE:
        return dot(sv->Ng, sv->I) >= 0 ? USE_EXTERIOR : USE_INTERIOR;
    default:
        return -1;
    }
}

// The parameter's value, or null when the message finds nothing to read.
const char *find_message(ShaderVars *sv, int source, const char *name, int type)
{
    Shader *shader = nullptr;
    char *block = nullptr;
    if (source == MSG_LIGHTSOURCE) {
        if (!sv->clight) return nullptr;
        shader = sv->clight->shader;
        block = sv->clight->params();
    } else {
        int slot = source_slot(sv, source);
        if (slot < 0 || slot >= SHADER_SLOTS) return nullptr;
        const GState *g = sv->surf.get();
        ShaderInstance *inst = g ? g->shaders[slot].get() : nullptr;
        if (!inst) return nullptr;
        shader = inst->shader;
        block = sv->paramblock[slot] ? sv->paramblock[slot] : inst->params();
    }
    const PARAM_INFO *p = find_row(shader, name);
    if (!p || !block || !types_compatible(p->type, type)) return nullptr;
    // Only one value of the requested size is copied: arrays and mismatched
    // sizes find nothing.
    if (p->size != shader_type_size(type)) return nullptr;
    return block + p->offset;
}

// The forms with the variable's value on the stack: type code, name, then
// the value by type; 1.0 and the parameter's value, or 0.0 and the value
// as it was.
template <int SOURCE>
void op_message(ExecFrame *, ShaderVars *sv)
{
    int type = static_cast<int>(slstack.pop_float());
    const char *name = slstack.pop_string();
    int words = type == PtSTRING ? 0 : shader_type_size(type) / 4;
    if (type == PtINT || type == PtHPOINT) words = 0;
    float value[16] = {};
    const char *text = nullptr;
    if (type == PtSTRING) text = slstack.pop_string();
    else if (words) std::memcpy(value, slstack.top_ptr(words), 4 * static_cast<size_t>(words)), slstack.drop(words);
    if (slstack.failed()) return;
    const char *found = (words || type == PtSTRING) ? find_message(sv, SOURCE, name, type) : nullptr;
    slstack.push_float(found ? 1.0f : 0.0f);
    if (type == PtSTRING) {
        if (found) {
            uint32_t id;
            std::memcpy(&id, found, 4);
            text = string_from_id(id);
        }
        slstack.push_string(text ? text : "");
    } else if (words) {
        std::memcpy(slstack.push_space(words), found ? found : reinterpret_cast<const char *>(value),
                    4 * static_cast<size_t>(words));
    }
}

// The forms with a destination operand.
template <int SOURCE>
void op_message_to(ExecFrame *f, ShaderVars *sv)
{
    char *dest = next_operand(f);
    int type = static_cast<int>(slstack.pop_float());
    const char *name = slstack.pop_string();
    int known = slstack.failed() ? 0 : sl_getshadeparam(sv, SOURCE, name, type, dest);
    slstack.push_float(known ? 1.0f : 0.0f);
}

} // namespace

extern "C" int sl_getshadeparam(ShadingPoint *sv, int source, const char *name, int type, void *data)
{
    if (!sv || !data) return 0;
    const char *found = find_message(sv, source, name, type);
    if (!found) return 0;
    std::memcpy(data, found, static_cast<size_t>(shader_type_size(type)));
    return 1;
}

namespace {

// "surface" pushes the value; "surfaceM" sets its destination operand.
constexpr OpBinding ROWS[] = {
    {"surface", op_message<MSG_SURFACE>},
    {"surfaceM", op_message_to<MSG_SURFACE>},
    {"displacement", op_message<MSG_DISPLACEMENT>},
    {"displacementM", op_message_to<MSG_DISPLACEMENT>},
    {"atmosphere", op_message<MSG_ATMOSPHERE>},
    {"atmosphereM", op_message_to<MSG_ATMOSPHERE>},
    {"lightsource", op_message<MSG_LIGHTSOURCE>},
    {"lightsourceM", op_message_to<MSG_LIGHTSOURCE>},
    {"incident", op_message<MSG_INCIDENT>},
    {"incidentM", op_message_to<MSG_INCIDENT>},
    {"opposite", op_message<MSG_OPPOSITE>},
    {"oppositeM", op_message_to<MSG_OPPOSITE>},
};

} // namespace

constexpr OpBindings MESSAGE_OPS = op_bindings(shading::OpModule::Message, ROWS);
