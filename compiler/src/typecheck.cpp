// Type checking of every node except calls.
#include <cstring>

#include "compiler/messages.h"
#include "compiler/nodes.h"
#include "intern.h"
#include "parser.h"
#include "symbols.h"
#include "varying.h"

namespace murn {

FunctionDefNode *checking_function = nullptr;

void mark_needs_derivatives()
{
    if (checking_function)
        checking_function->needs_derivatives = true;
    else if (root)
        root->needs_derivatives = true;
}

bool accepts_value(int target, int value)
{
    return types_compatible(target, value) ||
           (value == T_FLOAT && (is_triple(target) || target == T_MATRIX));
}

namespace {

const Symbol *resolved(const Symbol *s)
{
    while (s && s->alias)
        s = s->alias;
    return s;
}

} // namespace

namespace {

// Checks formals and body with the derivative calls marking function (the
// shader when null).
void check_definition(FunctionDefNode *function, ParseNode *formals, ParseNode *body)
{
    FunctionDefNode *saved = checking_function;
    checking_function = function;
    check_node_list(formals, 0);
    check_node_list(body, 0);
    checking_function = saved;
}

} // namespace

int ShaderDefNode::type_check(int)
{
    check_definition(nullptr, formals, body);
    return type = T_UNKNOWN;
}

int FunctionDefNode::type_check(int)
{
    check_definition(this, formals, body);
    return type = return_type;
}

int DeclarationNode::type_check(int)
{
    if (!symbol) {
        error("unregistered identifier", name);
        return type;
    }
    int count = 0;
    for (ParseNode *d = defaults; d; d = d->next) {
        int t = d->type_check(type);
        if (t != T_UNKNOWN && !accepts_value(type, t))
            error("type mismatch on assignment to", name);
        count++;
    }
    // One value per element: a scalar takes one, an array at most its length.
    if (count > (arraylen > 0 ? arraylen : 1))
        error("too many initial values for", name);
    // A parameter's default is computed once per binding, not per point.
    if (symbol->storage == S_LOCAL)
        for (ParseNode *d = defaults; d; d = d->next)
            if (is_varying(d)) {
                check_uniform_assignment(d, symbol, nullptr, d);
                break;
            }
    return type;
}

int AssignNode::type_check(int)
{
    if (!symbol)
        return type = T_UNKNOWN;
    const Symbol *target_symbol = resolved(symbol);
    if (target_symbol->storage == S_PARAMETER && !target_symbol->output)
        error("cannot assign to a shader parameter:", target->name);
    int vt = value->type_check(symbol->type);
    if (index) {
        target->type_check(0);
    }
    // A typeless value was reported already.
    if (vt != T_UNKNOWN && !accepts_value(symbol->type, vt))
        error("type mismatch on assignment to", target->name);
    check_uniform_assignment(this, symbol, index, value);
    return type = symbol->type;
}

int BinaryOpNode::type_check(int context)
{
    int operand_context = (op == '.' || op == '^') ? 0 : context;
    int lt = left->type_check(operand_context);
    int rt = right->type_check(operand_context);
    if (lt == T_STRING || rt == T_STRING) {
        error("bad binary op between strings");
        return type = T_UNKNOWN;
    }
    if (lt == T_UNKNOWN || rt == T_UNKNOWN) {
        error("bad binary op (typeless)");
        return type = T_UNKNOWN;
    }
    int result = T_UNKNOWN;
    switch (op) {
    case '+':
    case '-':
        if (lt == T_FLOAT && is_triple(rt))
            result = rt;
        else if (types_compatible(lt, rt) || (is_triple(lt) && rt == T_FLOAT))
            result = lt;
        else
            error(intern_format("type mismatch for %c", op));
        break;
    case '*':
        if (types_compatible(lt, rt))
            result = lt == T_FLOAT ? rt : lt;
        else if (lt == T_FLOAT)
            result = rt;
        else if (rt == T_FLOAT)
            result = lt;
        else
            error("type mismatch for *");
        break;
    case '/':
        if (types_compatible(lt, rt) || rt == T_FLOAT)
            result = lt;
        else if (lt == T_FLOAT && rt == T_MATRIX)
            result = T_MATRIX;
        else
            error("type mismatch for /");
        break;
    case '.':
        if (is_pointlike(lt) && is_pointlike(rt))
            result = T_FLOAT;
        else
            error(". used on non-vectors");
        break;
    case '^':
        if (is_pointlike(lt) && is_pointlike(rt))
            result = lt;
        else
            error("type mismatch for ^");
        break;
    }
    return type = result;
}

int NegateNode::type_check(int context)
{
    int t = operand->type_check(context);
    if (t != T_FLOAT && !is_triple(t)) {
        error("can't negate this type");
        return type = T_UNKNOWN;
    }
    return type = t;
}

int ConditionalNode::type_check(int context)
{
    if (!condition || !if_true || !if_false) {
        error("invalid ?: arguments");
        return type = T_UNKNOWN;
    }
    condition->type_check(0);
    int a = if_true->type_check(context);
    int b = if_false->type_check(context);
    if (a != b || a == T_UNKNOWN) {
        error("type mismatch on ?: operator");
        return type = T_UNKNOWN;
    }
    return type = a;
}

int CastNode::type_check(int)
{
    int t = operand->type_check(type);
    if (!accepts_value(type, t) && !(is_triple(t) && is_triple(type)))
        error("type mismatch on cast");
    return type;
}

int VariableNode::type_check(int)
{
    if (!symbol)
        return type = T_UNKNOWN;
    if (index) {
        if (symbol->arraylen == 0)
            error("identifier is not an array:", name);
        if (index->type_check(0) != T_FLOAT)
            error("array index must be a float", name);
    }
    return type = symbol->type;
}

int FloatConstNode::type_check(int)
{
    return type = T_FLOAT;
}

int StringConstNode::type_check(int)
{
    return type = T_STRING;
}

int TripleNode::type_check(int context)
{
    bool floats = true;
    for (ParseNode *p : parts)
        if (p->type_check(0) != T_FLOAT)
            floats = false;
    if (!floats)
        error("type mismatch, expected float in triple");
    // Only a triple context names the triple's type.
    return type = is_triple(context) ? context : T_POINT;
}

int MatrixNode::type_check(int)
{
    bool floats = true;
    for (ParseNode *e : elements)
        if (e->type_check(0) != T_FLOAT)
            floats = false;
    if (!floats)
        error("type mismatch, expected floats in sixteentuple");
    return type = T_MATRIX;
}

int IfNode::type_check(int)
{
    condition->type_check(0);
    check_node_list(then_part, 0);
    check_node_list(else_part, 0);
    return type = T_UNKNOWN;
}

int LoopNode::type_check(int)
{
    if (init)
        init->type_check(0);
    if (condition)
        condition->type_check(0);
    if (step)
        step->type_check(0);
    check_node_list(body, 0);
    return type = T_UNKNOWN;
}

int RelationNode::type_check(int)
{
    int lt = left->type_check(0);
    int rt = right->type_check(0);
    if (op == TOK_EQ || op == TOK_NE) {
        if ((lt == T_STRING) != (rt == T_STRING))
            error("type mismatch on string comparison");
    } else if (lt != T_FLOAT || rt != T_FLOAT) {
        error("type mismatch on comparison");
    }
    return type = T_FLOAT;
}

int LogicalNode::type_check(int)
{
    bool ok = left->type_check(0) == T_FLOAT;
    if (right && right->type_check(0) != T_FLOAT)
        ok = false;
    if (!ok)
        error("logical ops allowed only on relations\n");
    return type = T_FLOAT;
}

int LightStatementNode::type_check(int)
{
    std::vector<int> types;
    for (ParseNode *a = args; a; a = a->next)
        types.push_back(a->type_check(0));
    size_t n = types.size();
    switch (light_kind) {
    case 0:
        if (!(n == 0 || (n == 2 && is_pointlike(types[0]) && types[1] == T_FLOAT)))
            error("bad arguments to solar");
        break;
    case 1:
        if (!((n == 1 && is_pointlike(types[0])) ||
              (n == 3 && is_pointlike(types[0]) && is_pointlike(types[1]) && types[2] == T_FLOAT)))
            error("bad arguments to illuminate");
        break;
    default:
        error("unknown lighting type \"ambience\"");
        break;
    }
    check_node_list(body, 0);
    return type = T_UNKNOWN;
}

int IlluminanceNode::type_check(int)
{
    std::vector<int> types;
    for (ParseNode *a = args; a; a = a->next)
        types.push_back(a->type_check(0));
    // A leading string is the light category.
    if (!types.empty() && types[0] == T_STRING) {
        category = args;
        args = args->next;
        category->next = nullptr;
        types.erase(types.begin());
    }
    size_t n = types.size();
    if (!((n == 1 && is_pointlike(types[0])) ||
          (n == 3 && is_pointlike(types[0]) && is_pointlike(types[1]) && types[2] == T_FLOAT)))
        error("bad arguments to illuminance");
    check_node_list(body, 0);
    return type = T_UNKNOWN;
}

int ReturnNode::type_check(int)
{
    int t = value->type_check(function_type);
    // The caller takes a value of the function's type from the stack.
    if (function_type != T_UNKNOWN && t != T_UNKNOWN && !accepts_value(function_type, t))
        error("type mismatch on return");
    return type = T_UNKNOWN;
}

} // namespace murn
