// The global-variable table of the loader (the shading globals, then one
// shader's parameters and locals while it loads) and the run function of
// text shaders.
#include "ri/shader.h"
#include "shading/interp.h"
#include "shading/nametable.h"
#include "shading/shadingpoint.h"

NameTable &global_variable_table()
{
    static NameTable table;
    return table;
}

int register_global_variables()
{
    static GlobalVarInfo records[SHADING_GLOBAL_COUNT];
    static bool done = false;
    if (!done) {
        done = true;
        const ShadingGlobal *g = shading_globals();
        for (int i = 0; i < SHADING_GLOBAL_COUNT; ++i) {
            records[i] = {GV_GLOBAL, g[i].type, segment_address(SEG_GLOBAL, g[i].offset),
                          static_cast<int>(g[i].bits)};
            global_variable_table().add(g[i].name, &records[i]);
        }
    }
    return SHADING_GLOBAL_COUNT;
}

int run_compiled_shader(ShaderVars *sv, char *params)
{
    Shader *s = sv->thisshader;
    if (s) run_shader_code(s, s->code.data(), s->code.size(), sv, params);
    return 1;
}
