#include "varying.h"

#include <cstring>

#include "compiler/nodes.h"
#include "symbols.h"

namespace murn {

namespace {

// Globals with one value for the whole shading: the eye, the time and the
// colour components.
const char *const UNIFORM_GLOBALS[] = {"E", "ncomps", "time", "dtime"};

// Built-ins whose value varies whatever their arguments: derivatives, areas,
// lighting and traced rays.
const char *const VARYING_BUILTINS[] = {"Du", "Dv", "Deriv", "area", "calculatenormal", "ambient",
                                        "diffuse", "specular", "phong", "specularbrdf", "trace",
                                        "fulltrace", "visibility", "rayhittest"};

bool named_in(const char *name, const char *const *names, size_t count)
{
    for (size_t i = 0; i < count; i++)
        if (name && !std::strcmp(name, names[i]))
            return true;
    return false;
}

bool any_varying(const ParseNode *list)
{
    for (; list; list = list->next)
        if (is_varying(list))
            return true;
    return false;
}

bool symbol_varies(const Symbol *s)
{
    while (s && s->alias)
        s = s->alias;
    if (!s)
        return false;
    if (s->storage == S_GLOBAL)
        return !named_in(s->name, UNIFORM_GLOBALS, sizeof UNIFORM_GLOBALS / sizeof *UNIFORM_GLOBALS);
    // Parameters are uniform unless declared varying; a local without a
    // written detail varies once it was given a varying value.
    return s->written_detail == D_VARYING || (s->storage == S_LOCAL && s->holds_varying);
}

} // namespace

bool is_varying(const ParseNode *node)
{
    if (!node)
        return false;
    switch (node->kind) {
    case N_VARIABLE: {
        const VariableNode *v = static_cast<const VariableNode *>(node);
        return symbol_varies(v->symbol) || is_varying(v->index);
    }
    case N_BINARY_OP: {
        const BinaryOpNode *b = static_cast<const BinaryOpNode *>(node);
        return is_varying(b->left) || is_varying(b->right);
    }
    case N_RELATION: {
        const RelationNode *r = static_cast<const RelationNode *>(node);
        return is_varying(r->left) || is_varying(r->right);
    }
    case N_LOGICAL: {
        const LogicalNode *l = static_cast<const LogicalNode *>(node);
        return is_varying(l->left) || is_varying(l->right);
    }
    case N_NEGATE:
        return is_varying(static_cast<const NegateNode *>(node)->operand);
    case N_CAST:
        return is_varying(static_cast<const CastNode *>(node)->operand);
    case N_CONDITIONAL: {
        const ConditionalNode *c = static_cast<const ConditionalNode *>(node);
        return is_varying(c->condition) || is_varying(c->if_true) || is_varying(c->if_false);
    }
    case N_TRIPLE: {
        const TripleNode *t = static_cast<const TripleNode *>(node);
        return is_varying(t->parts[0]) || is_varying(t->parts[1]) || is_varying(t->parts[2]);
    }
    case N_MATRIX: {
        const MatrixNode *m = static_cast<const MatrixNode *>(node);
        for (const ParseNode *e : m->elements)
            if (is_varying(e))
                return true;
        return false;
    }
    case N_ASSIGN: {
        const AssignNode *a = static_cast<const AssignNode *>(node);
        return is_varying(a->value) || symbol_varies(a->symbol);
    }
    case N_CALL: {
        const CallNode *c = static_cast<const CallNode *>(node);
        return named_in(c->name, VARYING_BUILTINS, sizeof VARYING_BUILTINS / sizeof *VARYING_BUILTINS) ||
               any_varying(c->args);
    }
    case N_TEXTURE_CALL: {
        const TextureCallNode *t = static_cast<const TextureCallNode *>(node);
        // A texture or bump lookup without coordinates reads the surface's s and t.
        bool implicit_st = t->texture_kind != 2 && t->texture_kind != 3 && t->texture_kind != 5 &&
                           t->npositional == 0;
        return implicit_st || is_varying(t->filename) || is_varying(t->channel) || any_varying(t->args);
    }
    default:
        return false;
    }
}

void check_uniform_assignment(const ParseNode *node, Symbol *symbol, const ParseNode *index,
                              const ParseNode *value)
{
    if (!symbol)
        return;
    Symbol *target = symbol;
    while (target->alias)
        target = target->alias;
    bool varies = is_varying(value) || is_varying(index);
    if (target->written_detail == D_UNIFORM && varies)
        node->error("a variable declared uniform cannot take a varying value:", target->name);
    else if (varies)
        target->holds_varying = true;
}

} // namespace murn
