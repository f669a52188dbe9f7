// Calls: overload choice, checks, and code for user functions (expanded in
// place), built-ins, shadeop functions and texture lookups.
#include <cstdio>
#include <cstring>
#include <string>

#include "builtins.h"
#include "emit.h"
#include "intern.h"
#include "compiler/messages.h"
#include "compiler/nodes.h"
#include "compiler/shadeops.h"
#include "symbols.h"
#include "compiler/writer.h"

namespace murn {

namespace {

// Expanded calls nest at most this deep.
const int MAX_INLINE_DEPTH = 200;
// Instructions a shader may reach by inlining its function calls: functions
// that call others several times grow exponentially.
const int MAX_SHADER_INSTRUCTIONS = 1000000;

std::vector<ParseNode *> node_vector(ParseNode *list)
{
    std::vector<ParseNode *> nodes;
    for (; list; list = list->next)
        nodes.push_back(list);
    return nodes;
}

// Checks the arguments from the last to the first and returns their types.
std::vector<int> check_arguments(ParseNode *args)
{
    std::vector<ParseNode *> nodes = node_vector(args);
    std::vector<int> types(nodes.size(), T_UNKNOWN);
    for (size_t i = nodes.size(); i-- > 0;)
        types[i] = nodes[i]->type_check(0);
    return types;
}

bool formals_match(const FunctionDefNode *f, const std::vector<int> &types)
{
    std::vector<ParseNode *> formals = node_vector(f->formals);
    if (formals.size() != types.size())
        return false;
    for (size_t i = 0; i < types.size(); i++) {
        int ft = formals[i]->type;
        if (ft != types[i] && !(is_pointlike(ft) && is_pointlike(types[i])))
            return false;
    }
    return true;
}

// The function may write through an output formal: its actual must not be a
// read-only parameter, as for an assignment.
void check_output_actuals(const CallNode &call, const FunctionDefNode *f)
{
    ParseNode *formal = f->formals;
    for (ParseNode *actual = call.args; formal && actual; formal = formal->next, actual = actual->next) {
        const Symbol *fs = static_cast<DeclarationNode *>(formal)->symbol;
        if (!fs || !fs->output || actual->kind != N_VARIABLE)
            continue;
        const VariableNode *v = static_cast<VariableNode *>(actual);
        const Symbol *target = v->symbol;
        while (target && target->alias)
            target = target->alias;
        if (target && target->storage == S_PARAMETER && !target->output)
            call.error("cannot assign to a shader parameter:", v->name);
    }
}

} // namespace

// ---- checks --------------------------------------------------------------------------------

int CallNode::type_check(int context)
{
    this->context = context;
    if (!function) {
        check_arguments(args);
        return type = T_UNKNOWN;
    }
    if (function->is_shadeop())
        return type = check_shadeop(context);
    arg_types = check_arguments(args);
    if (candidates.empty() || candidates[0]->def)
        return type = check_user_function();
    const BuiltinRow *row = candidates[0]->builtin;
    function = candidates[0];
    if (row->needs_derivatives)
        mark_needs_derivatives();
    opcode = name;
    return type = row->check(*this, context);
}

int CallNode::check_user_function()
{
    FunctionSymbol *chosen = nullptr;
    for (FunctionSymbol *candidate : candidates) {
        if (candidate->builtin || (candidate->def && formals_match(candidate->def, arg_types))) {
            chosen = candidate;
            break;
        }
    }
    if (!chosen) {
        error("arguments do not match", name);
        return candidates.empty() ? T_UNKNOWN : candidates[0]->return_type;
    }
    function = chosen;
    if (chosen->builtin) {
        if (chosen->builtin->needs_derivatives)
            mark_needs_derivatives();
        opcode = name;
        return chosen->builtin->check(*this, context);
    }
    chosen->def->used = true;
    check_output_actuals(*this, chosen->def);
    if (chosen->def->needs_derivatives)
        mark_needs_derivatives();
    return chosen->return_type;
}

int CallNode::check_shadeop(int context)
{
    arg_types = check_arguments(args);
    const ShadeopFunctionSymbol *s = static_cast<const ShadeopFunctionSymbol *>(function);
    // The declaration returning what the context wants, else any with these
    // arguments: its result is then converted like a user function's.
    for (bool by_context : {true, false}) {
        if (!by_context && context == T_UNKNOWN)
            break;
        for (const ShadeopRow *row = s->table; row->declaration && *row->declaration; row++) {
            ShadeopDeclaration d;
            if (!parse_shadeop_declaration(row->declaration, d))
                continue;
            if (d.arg_types != arg_types || (by_context && context != T_UNKNOWN && d.return_type != context))
                continue;
            method = intern_string(d.method.c_str());
            declaration = intern_string(row->declaration);
            return d.return_type;
        }
    }
    error("Unknown function ", name);
    return T_UNKNOWN;
}

int TextureCallNode::type_check(int context)
{
    this->context = context;
    mark_needs_derivatives();
    // texture(name[i], ...) of a string that is not an array: i is the channel.
    if (!channel && filename->kind == N_VARIABLE) {
        VariableNode *v = static_cast<VariableNode *>(filename);
        if (v->index && v->symbol && v->symbol->arraylen == 0) {
            channel = v->index;
            v->index = nullptr;
        }
    }
    if (filename->type_check(0) != T_STRING)
        error("texture filename must be a string");
    if (channel && channel->type_check(0) != T_FLOAT)
        error("texture channel must be a float");
    arg_types = check_arguments(args);

    static const char *const float_options[] = {
        "swidth", "twidth", "width", "fill", "sblur", "tblur", "blur", "fidelity", "samples",
        "bias", "lerp", "gapbias", "refblur", "srefblur", "trefblur", "gapopt"};
    int n = nargs, i = 0, points = 0, floats = 0;
    while (i < n && is_pointlike(arg_types[size_t(i)]))
        i++, points++;
    while (i < n && arg_types[size_t(i)] == T_FLOAT)
        i++, floats++;
    while (i < n) {
        if (arg_types[size_t(i)] != T_STRING || i == n - 1) {
            error("bad argument list on texture command");
            break;
        }
        ParseNode *option = arg(i);
        int values = 1;
        if (option->kind == N_STRING_CONST) {
            const char *word = static_cast<StringConstNode *>(option)->text;
            int want = T_UNKNOWN;
            for (const char *f : float_options)
                if (!std::strcmp(word, f))
                    want = T_FLOAT;
            if (!std::strcmp(word, "filter"))
                want = T_STRING;
            if (!std::strcmp(word, "source")) {
                want = T_POINT;
                values = 4;
            }
            if (want == T_UNKNOWN) {
                error("unknown texture argument:", word);
            } else {
                for (int k = 1; k <= values; k++) {
                    int t = i + k < n ? arg_types[size_t(i + k)] : T_UNKNOWN;
                    if (want == T_POINT ? !is_pointlike(t) : t != want) {
                        error("bad texture argument value:", word);
                        break;
                    }
                }
            }
        }
        i += 1 + values;
    }
    npositional = points + floats;

    if (context == T_COLOR && (texture_kind == 0 || texture_kind == 2))
        texture_kind++;
    switch (texture_kind) {
    case 2:
    case 3:
        if ((points != 1 && points != 4) || floats != 0)
            error("bad arguments to environment");
        break;
    case 5:
        if (floats != 0)
            error("shadow does not take float arguments");
        if (points != 1 && points != 4)
            error("bad number of arguments to shadow");
        break;
    case 0:
    case 1:
        if (points != 0)
            error("texture does not take point arguments");
        if (floats != 0 && floats != 2 && floats != 8)
            error("bad number of arguments to texture");
        break;
    default:
        break;
    }
    return type = (texture_kind == 1 || texture_kind == 3) ? T_COLOR : T_FLOAT;
}

// ---- emission -------------------------------------------------------------------------------

void CallNode::emit_asm()
{
    if (!function)
        return;
    if (function->is_shadeop()) {
        emit_shadeop_call();
    } else if (function->def) {
        emit_user_call();
    } else if (function->builtin->emit) {
        function->builtin->emit(*this);
    } else {
        emit_node_list_reversed(args);
        emit_instruction(this, opcode);
    }
}

void CallNode::emit_user_call()
{
    FunctionDefNode *f = function->def;
    if (inline_depth() >= MAX_INLINE_DEPTH) {
        std::fflush(stderr);
        std::fprintf(stderr, "murn possible BUG: Assertion failed in %s, line %d\n", "murntypes",
                     __LINE__);
        std::fflush(stderr);
        error_flag = 1;
        return;
    }
    if (instruction_count() > MAX_SHADER_INSTRUCTIONS) {
        if (!error_flag) {
            char message[128];
            std::snprintf(message, sizeof message,
                          "shader too large after inlining function calls (more than %d instructions) at call of",
                          MAX_SHADER_INSTRUCTIONS);
            error(message, name);
        }
        error_flag = 1;
        return;
    }
    std::vector<ParseNode *> formals = node_vector(f->formals);
    std::vector<ParseNode *> actuals = node_vector(args);
    size_t n = formals.size() < actuals.size() ? formals.size() : actuals.size();
    std::vector<Symbol *> symbols(n), by_reference(n), saved(n);
    for (size_t i = 0; i < n; i++) {
        symbols[i] = static_cast<DeclarationNode *>(formals[i])->symbol;
        saved[i] = symbols[i] ? symbols[i]->alias : nullptr;
    }
    // Every actual is evaluated before any formal is bound, so that a nested
    // call of the same function cannot overwrite a formal already set.
    for (size_t i = 0; i < n; i++) {
        if (!symbols[i])
            continue;
        VariableNode *v = as_plain_variable(actuals[i]);
        if (v && v->symbol->type == symbols[i]->type)
            by_reference[i] = v->symbol;
        else
            emit_value(actuals[i]);
    }
    for (size_t i = n; i-- > 0;) {
        Symbol *formal = symbols[i];
        if (!formal || by_reference[i])
            continue;
        formal->alias = nullptr;
        declare_local(formal, true);
        const char *fname = symbol_output_name(formal);
        if (actuals[i]->type == T_FLOAT && formal->type != T_FLOAT)
            emit_instruction(this, intern_format("%cset", opcode_type_letter(formal->type)), fname);
        else
            emit_pop_symbol(this, formal);
    }
    for (size_t i = 0; i < n; i++)
        if (symbols[i])
            symbols[i]->alias = by_reference[i];
    f->emit_body(this);
    for (size_t i = 0; i < n; i++)
        if (symbols[i])
            symbols[i]->alias = saved[i];
}

void FunctionDefNode::emit_body(ParseNode *)
{
    int end = new_label();
    ParseNode *last = body;
    while (last && last->next)
        last = last->next;
    push_inline_body({end, last, return_type});
    // break and continue inside the body never reach the caller's loops.
    save_loops();
    emit_statement_list(body);
    restore_loops();
    pop_inline_body();
    define_label(end);
}

void CallNode::emit_shadeop_call()
{
    const ShadeopFunctionSymbol *s = static_cast<const ShadeopFunctionSymbol *>(function);
    std::vector<const char *> names, temporaries;
    std::string letters(1, type_letter(type));
    for (ParseNode *a = args; a; a = a->next) {
        letters += type_letter(a->type);
        if (VariableNode *v = as_plain_variable(a)) {
            names.push_back(variable_name(v));
            continue;
        }
        emit_value(a);
        const char *t = new_temporary(a->type);
        emit_instruction(this, op_name("pop", opcode_type_letter(a->type)), t);
        names.push_back(t);
        temporaries.push_back(t);
    }
    emit_push_string(this, letters.c_str());
    emit_push_string(this, escape_string_text(declaration));
    emit_push_string(this, escape_string_text(method));
    emit_push_string(this, escape_string_text(s->library));
    emit_push_string(this, name);
    std::string text = "dsoop\t" + std::to_string(nargs) + "\t";
    for (const char *n : names)
        text += std::string(n) + " ";
    emit_instruction(this, text.c_str());
    for (const char *t : temporaries)
        release_temporary(t);
}

void TextureCallNode::emit_asm()
{
    static const char *const ops[] = {"ftexture", "ctexture", "fenvironment",
                                      "cenvironment", "bump", "shadow"};
    emit_node_list_reversed(args);
    if (channel)
        emit_value(channel);
    else
        emit_instruction(this, "pushif", "0");
    emit_value(filename);
    emit_instruction(this, "pushif", intern_format("%d", npositional));
    emit_instruction(this, "pushif", intern_format("%d", nargs));
    emit_instruction(this, ops[texture_kind]);
}

} // namespace murn
