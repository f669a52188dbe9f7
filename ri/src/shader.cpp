#include "ri/shader.h"

#include <algorithm>
#include <cstring>

#include "platform/files.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"

namespace {

Shader *shader_list = nullptr;
ShaderLoader installed_loader = nullptr;

} // namespace

int shader_type_size(int type)
{
    switch (type) {
    case PtFLOAT: case PtSTRING: case PtINT: return 4;
    case PtPOINT: case PtCOLOR: case PtVECTOR: case PtNORMAL: return 12;
    case PtHPOINT: return 16;
    case PtMATRIX: return 64;
    default: return 0;
    }
}

Shader::Shader(const char *name_, ShaderEntry run_, ShaderEntry init_, PARAM_INFO *params_,
               const void *defaults_, int kind_)
    : name(NewToken(name_)), kind(kind_), params(params_), run(run_), init(init_)
{
    int sum = 0;
    for (PARAM_INFO *p = params; p && p->name; ++p) {
        bool size_wrong = shader_type_size(p->type) * p->howmany != p->size;
        if (size_wrong || p->offset != sum) {
            ri_assert_report("shader", size_wrong ? 173 : 180);
            // The run is over; the rows from the broken one on are left out
            // so that nothing reads past the block.
            own_params.assign(params, p);
            own_params.push_back(PARAM_INFO{});
            params = own_params.data();
            break;
        }
        sum += p->size;
    }
    param_size = sum;
    if (defaults_ && sum > 0) {
        defaults.assign((sum + 3) / 4, 0);
        std::memcpy(defaults.data(), defaults_, sum);
    }
}

Shader::~Shader()
{
    shader_counters().prototype_memory.subtract(memory);
}

int Shader::find_param(const char *interned_name, int *offset, int *type) const
{
    int sum = 0;
    for (const PARAM_INFO *p = params; p && p->name; ++p) {
        if (p->name == interned_name) {
            if (offset) *offset = sum;
            if (type) *type = p->type;
            return 1;
        }
        sum += p->size;
    }
    if (offset) *offset = sum;
    return 0;
}

int Shader::param_count() const
{
    int n = 0;
    for (const PARAM_INFO *p = params; p && p->name; ++p) ++n;
    return n;
}

ShaderInstance::ShaderInstance(Shader *s) : shader(s), block_size(s ? s->param_size : 0)
{
    if (block_size > 0) {
        block.assign((block_size + 3) / 4, 0);
        if (!s->defaults.empty())
            std::memcpy(block.data(), s->defaults.data(),
                        std::min<size_t>(block.size(), s->defaults.size()) * 4);
    }
    ShaderCounters &c = shader_counters();
    c.instances++;
    c.instance_memory.add(block_size + 16);
}

ShaderInstance::~ShaderInstance()
{
    shader_counters().instance_memory.subtract(block_size + 16);
}

Shader *register_shader(const char *name, ShaderEntry run, ShaderEntry init,
                        PARAM_INFO *params, const void *defaults, int kind)
{
    Shader *s = new Shader(name, run, init, params, defaults, kind);
    s->next = shader_list;
    shader_list = s;
    return s;
}

Shader *find_shader(const char *name)
{
    shader_counters().requested++;
    if (!name) return nullptr;
    for (Shader *s = shader_list; s; s = s->next)
        if (std::strcmp(s->name, name) == 0) {
            // Loaded in an earlier frame, it is an input of this one too.
            if (!s->file.empty()) velk::remember_input(s->file.c_str());
            return s;
        }
    return installed_loader ? installed_loader(name) : nullptr;
}

Shader *first_shader()
{
    return shader_list;
}

void set_shader_loader(ShaderLoader loader)
{
    installed_loader = loader;
}

ShaderCounters &shader_counters()
{
    static ShaderCounters c;
    return c;
}

void print_shader_stats(FILE *out)
{
    ShaderCounters &c = shader_counters();
    std::fprintf(out, "Shaders:  %ld requested, %ld separate shaders loaded, %ld instances\n",
                 (long)c.requested, (long)c.loaded, (long)c.instances);
    std::fprintf(out, "   prototype memory: %ld bytes requested, %ld peak, %ld current\n",
                 (long)c.prototype_memory.requested, (long)c.prototype_memory.peak,
                 (long)c.prototype_memory.current);
    std::fprintf(out, "   instance memory: %ld bytes requested, %ld peak, %ld current\n",
                 (long)c.instance_memory.requested, (long)c.instance_memory.peak,
                 (long)c.instance_memory.current);
}
