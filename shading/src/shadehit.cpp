// Running a hit's shaders: displacement, surface and atmosphere through the
// interpreter, with the neighbours of the point when a shader asks for them.
#include "shading/shadehit.h"

#include <cstring>
#include <new>

#include "ri/renderer.h"
#include "ri/shader.h"
#include "shading/blockarena.h"
#include "shading/interp.h"
#include "shading/scene_access.h"
#include "codescan.h"

namespace {

int32_t running_shade_index = 0;

// Whether compiled code may store into its parameters: only pushes and
// arithmetic read a parameter operand without writing it.
bool code_writes_params(const Shader *shader)
{
    // An unknown or cut-short operation may store anywhere.
    return !shading::walk_code(shader->code, [](int, const shading::OpName *op, const uint32_t *words, int count) {
        if (std::strcmp(op->name, "dsoop") == 0) return false;
        const bool reads = shading::op_only_reads(op);
        for (int i = 0; i < count; i++)
            if (words[i] >> 24 == SEG_PARAM && !reads) return false;
        return true;
    });
}

// The slot's parameter block for one point: a copy in the arena when the
// shader may change it or the point's vertex values are bound into it, else
// the instance's own (which other points share); null without one.
char *copy_block(const GState *g, int slot, bool binds_vertex_values)
{
    int n = shader_slot_size(g, slot);
    if (n <= 0) return nullptr;
    Shader *shader = g->shaders[slot]->shader;
    if (shader && shader->run == run_compiled_shader && !binds_vertex_values) {
        if (shader->writes_params < 0) shader->writes_params = code_writes_params(shader) ? 1 : 0;
        if (!shader->writes_params) return g->shaders[slot]->params();
    }
    char *b = static_cast<char *>(shading_arena().take(n));
    std::memcpy(b, g->shaders[slot]->params(), n);
    return b;
}

char *copy_of(const char *block, int n)
{
    if (!block || n <= 0) return nullptr;
    char *b = static_cast<char *>(shading_arena().take(n));
    std::memcpy(b, block, n);
    return b;
}

// A derivative scratch area of "derivmemory" bytes from the arena, reading
// as zero (cleared as derivative operations reserve it); ended by end_scratch.
float *new_scratch()
{
    int n = deriv_scratch_floats();
    float *s = static_cast<float *>(shading_arena().take(n * sizeof(float)));
    deriv_scratch_lazy_begin(s);
    deriv_scratch_fresh(s);
    return s;
}

// The two neighbour records of sv in the arena, with their own parameter
// blocks when the shaders may change them.
struct Neighbours {
    ShadingPoint *du = nullptr, *dv = nullptr;
    char *du_blocks[SHADER_SLOTS] = {};
    char *dv_blocks[SHADER_SLOTS] = {};

    Neighbours(ShadingPoint *sv, bool own_blocks)
    {
        BlockArena &arena = shading_arena();
        du = ::new (arena.take(sizeof(ShadingPoint))) ShadingPoint;
        dv = ::new (arena.take(sizeof(ShadingPoint))) ShadingPoint;
        split_ray_differentials(sv, du, dv);
        for (int slot = 0; slot < SHADER_SLOTS; ++slot) {
            int n = shader_slot_size(sv->surf.get(), slot);
            du_blocks[slot] = own_blocks ? copy_of(sv->paramblock[slot], n) : sv->paramblock[slot];
            dv_blocks[slot] = own_blocks ? copy_of(sv->paramblock[slot], n) : sv->paramblock[slot];
            du->paramblock[slot] = du_blocks[slot];
            dv->paramblock[slot] = dv_blocks[slot];
        }
    }
    ~Neighbours()
    {
        du->~ShadingPoint();
        dv->~ShadingPoint();
    }
};

} // namespace

bool display_has_color()
{
    return !current_renderer || (current_renderer->options.display_mode_bits & 1);
}

Shader *slot_shader(const GState *g, int slot)
{
    return g && g->shaders[slot].is_set() ? g->shaders[slot]->shader : nullptr;
}

int shader_slot_size(const GState *g, int slot)
{
    if (!g || slot < 0 || slot >= SHADER_SLOTS || !g->shaders[slot].is_set()) return 0;
    return g->shaders[slot]->size();
}

int32_t shade_index_counter()
{
    return running_shade_index;
}

void set_shade_index_counter(int32_t value)
{
    running_shade_index = value;
}

int32_t next_shade_index()
{
    return ++running_shade_index;
}

void split_ray_differentials(const ShaderVars *sv, ShaderVars *a, ShaderVars *b)
{
    *a = *sv;
    a->Ps = sv->Ps + sv->dPdu * sv->du;
    a->gu = sv->gu + sv->du;
    a->u = sv->u + sv->du;
    a->s = sv->s + sv->du * sv->dsdu;
    a->t = sv->t + sv->du * sv->dtdu;
    a->whichdisp = DISP_DU;
    a->doillum = 0;
    *b = *sv;
    b->Ps = sv->Ps + sv->dPdv * sv->dv;
    b->gv = sv->gv + sv->dv;
    b->v = sv->v + sv->dv;
    b->s = sv->s + sv->dv * sv->dsdv;
    b->t = sv->t + sv->dv * sv->dtdv;
    b->whichdisp = DISP_DV;
    b->doillum = 0;
}

int run_shader_in_slot(Shader *shader, ShaderVars *sv, int slot, char *params, bool keep_position)
{
    sv->shadetype = slot;
    sv->thisshader = shader;
    const GState *g = sv->surf.get();
    if (g) sv->ssx = g->shader_spaces[slot];
    if (slot >= 0 && slot < SHADER_SLOTS) sv->paramblock[slot] = params;
    if (sv->has_user_verts && sv->obj && params)
        if (SceneAccess *scene = current_scene()) scene->bind_vertex_vars(sv->obj, shader, params, sv->time, sv->gu, sv->gv);
    sv->highestscratch = 0;
    Point P = sv->Ps;
    int answer = shader->run ? shader->run(sv, params) : 0;
    if (!keep_position) sv->Ps = P;
    return answer;
}

void run_shader_with_neighbours(Shader *shader, ShaderVars *sv, ShaderVars *du, ShaderVars *dv, int slot,
                                char **du_params, char **dv_params, bool with_neighbours)
{
    if (with_neighbours && du && dv) {
        run_shader_in_slot(shader, du, slot, du_params[slot]);
        run_shader_in_slot(shader, dv, slot, dv_params[slot]);
    }
    run_shader_in_slot(shader, sv, slot, sv->paramblock[slot]);
}

int run_shader_on_point(Shader *shader, ShaderVars *sv, int use, char *params)
{
    BlockArena &arena = shading_arena();
    BlockArena::Mark m = arena.mark();
    float *saved_scratch = sv->scratch;
    int32_t saved_mark = sv->highestscratch;
    sv->scratch = new_scratch();
    sv->shadetype = use;
    sv->thisshader = shader;
    const GState *g = sv->surf.get();
    if (g && use >= 0 && use < SHADER_SLOTS) sv->ssx = g->shader_spaces[use];
    sv->highestscratch = 0;
    float *area = sv->scratch;
    int answer = shader->run ? shader->run(sv, params) : 0;
    deriv_scratch_lazy_end(area);
    sv->scratch = saved_scratch;
    sv->highestscratch = saved_mark;
    arena.release(m);
    return answer;
}

void run_hit_shaders(ShaderVars *sv, const GState *g, Shader *surface_shader, Shader *displacement,
                     Shader *atmosphere, bool volume, bool camera_ray)
{
    BlockArena &arena = shading_arena();
    BlockArena::Mark mark = arena.mark();
    for (char *&b : sv->paramblock) b = nullptr;
    sv->paramblock[USE_SURFACE] = copy_block(g, USE_SURFACE, sv->has_user_verts);
    sv->paramblock[USE_DISPLACEMENT] = copy_block(g, USE_DISPLACEMENT, sv->has_user_verts);
    sv->paramblock[USE_ATMOSPHERE] = copy_block(g, USE_ATMOSPHERE, sv->has_user_verts);
    sv->doillum = sv->shade_task == SHADE_TASK_NORMAL;
    sv->doareaops = 1;
    sv->whichdisp = DISP_MAIN;
    float *saved_scratch = sv->scratch;
    int32_t saved_mark = sv->highestscratch;
    float *area = new_scratch();
    sv->scratch = area;

    bool neighbours = (surface_shader && (surface_shader->flags & VU_NEIGHBOURS)) ||
                      (displacement && (displacement->flags & VU_NEIGHBOURS));
    if (!neighbours) {
        if (displacement) run_shader_in_slot(displacement, sv, USE_DISPLACEMENT, sv->paramblock[USE_DISPLACEMENT]);
        if (surface_shader) run_shader_in_slot(surface_shader, sv, USE_SURFACE, sv->paramblock[USE_SURFACE]);
    } else {
        Neighbours n(sv, displacement != nullptr || sv->has_user_verts);
        if (displacement)
            run_shader_with_neighbours(displacement, sv, n.du, n.dv, USE_DISPLACEMENT, n.du_blocks, n.dv_blocks,
                                       true);
        if (surface_shader)
            run_shader_with_neighbours(surface_shader, sv, n.du, n.dv, USE_SURFACE, n.du_blocks, n.dv_blocks,
                                       true);
    }
    if (sv->shade_task == SHADE_TASK_NORMAL && volume) {
        sv->doareaops = 0;
        if (camera_ray && atmosphere)
            run_shader_in_slot(atmosphere, sv, USE_ATMOSPHERE, sv->paramblock[USE_ATMOSPHERE]);
    }
    deriv_scratch_lazy_end(area);
    sv->scratch = saved_scratch;
    sv->highestscratch = saved_mark;
    for (char *&b : sv->paramblock) b = nullptr;
    arena.release(mark);
}
