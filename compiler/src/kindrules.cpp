#include "kindrules.h"

#include <cstring>

#include "intern.h"
#include "compiler/nodes.h"
#include "parser.h"
#include "symbols.h"

namespace murn {

namespace {

// Bits of the shader kinds, by token from TOK_LIGHT on.
enum { K_LIGHT = 1, K_SURFACE = 2, K_VOLUME = 4, K_DISPLACEMENT = 8, K_TRANSFORMATION = 16, K_IMAGER = 32 };
const char *const KIND_WORDS[] = {"light", "surface", "volume", "displacement", "transformation", "imager"};

struct Rule {
    const char *what;      // the statement, or the variable assigned
    int allowed;           // kinds that may hold it
    const char *rule;      // the rule, %s standing for the kind of shader
};

const Rule RULES[] = {
    {"solar", K_LIGHT, "solar is allowed only in light shaders, not in a %s shader"},
    {"illuminate", K_LIGHT, "illuminate is allowed only in light shaders, not in a %s shader"},
    {"illuminance", K_SURFACE | K_VOLUME | K_LIGHT,
     "illuminance is allowed only in surface, volume and light shaders, not in a %s shader"},
    {"Ci", ~K_LIGHT, "Ci cannot be assigned in a %s shader: a light sets Cl and Ol"},
    {"Oi", ~K_LIGHT, "Oi cannot be assigned in a %s shader: a light sets Cl and Ol"},
};

// The statement or assigned global the node is, or null.
const char *subject(const ParseNode *node)
{
    switch (node->kind) {
    case N_LIGHT_STATEMENT: {
        int k = static_cast<const LightStatementNode *>(node)->light_kind;
        return k == 0 ? "solar" : k == 1 ? "illuminate" : nullptr;
    }
    case N_ILLUMINANCE:
        return "illuminance";
    case N_ASSIGN: {
        const Symbol *s = static_cast<const AssignNode *>(node)->symbol;
        while (s && s->alias)
            s = s->alias;
        return s && s->storage == S_GLOBAL ? s->name : nullptr;
    }
    default:
        return nullptr;
    }
}

} // namespace

void check_kind_rule(ParseNode *node)
{
    if (!root || node->rule_reported)
        return;
    int index = root->kind_token - TOK_LIGHT;
    if (index < 0 || index >= int(sizeof KIND_WORDS / sizeof *KIND_WORDS))
        return;
    const char *what = subject(node);
    if (!what)
        return;
    for (const Rule &r : RULES) {
        if (std::strcmp(what, r.what) != 0 || (r.allowed & (1 << index)))
            continue;
        node->rule_reported = true;
        node->error(intern_format(r.rule, KIND_WORDS[index]));
        return;
    }
}

} // namespace murn
