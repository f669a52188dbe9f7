// Code generation for every node except calls.
#include "emit.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "intern.h"
#include "kindrules.h"
#include "compiler/messages.h"
#include "compiler/nodes.h"
#include "symbols.h"
#include "compiler/writer.h"
#include "shading_shaderfile/shaderfile_words.h"

namespace murn {

namespace {

struct Loop {
    int continue_label, exit_label;
    std::vector<int> held;                              // types kept on the stack
};

struct EmissionState {
    std::vector<Loop> loops;
    std::vector<std::vector<Loop>> saved_loops;
    std::vector<InlineBody> bodies;
    std::set<int> dummies;                              // types with a dummy declared
};

EmissionState &emission()
{
    static EmissionState s;
    return s;
}

const char *arith_op_name(int op)
{
    switch (op) {
    case '+': case TOK_ADD_ASSIGN: return "add";
    case '-': case TOK_SUB_ASSIGN: return "sub";
    case '*': case TOK_MUL_ASSIGN: return "mul";
    default: return "div";
    }
}

char L(int type)
{
    return opcode_type_letter(type);
}

const char *dummy_name(int type)
{
    return intern_format("__%s_dummy", type_name(type));
}

} // namespace

// ---- shared helpers -----------------------------------------------------------

const char *variable_name(const VariableNode *v)
{
    // A function written outside the shader may name a global that the
    // shader's own parameter hides in the compiled file.
    if (hidden_by_shader_parameter(v->symbol))
        v->error("global variable hidden by a shader parameter of the same name:", v->name);
    return symbol_output_name(v->symbol);
}

char upper(char c)
{
    return char(std::toupper(static_cast<unsigned char>(c)));
}

const char *op_name(const char *stem, char letter)
{
    return intern_format("%s%c", stem, letter);
}

const char *op_name(const char *stem, char letter1, char letter2)
{
    return intern_format("%s%c%c", stem, letter1, letter2);
}

void emit_push_variable(ParseNode *node, const VariableNode *v)
{
    if (v->index) {
        emit_value(v->index);
        emit_instruction(node, op_name("apush", L(v->symbol->type)), variable_name(v));
    } else {
        emit_instruction(node, op_name("push", L(v->symbol->type)), variable_name(v));
    }
}

void emit_pop_dummy(ParseNode *node, int type)
{
    if (type == T_UNKNOWN || type == T_VOID)
        return;
    if (emission().dummies.insert(type).second)
        write_output("%s\t%s\t%s\t%s\n%s\n", shaderfile::LOCAL_WORD, type_name(type), dummy_name(type),
                     type_zero_default(type), shaderfile::CODE_WORD);
    emit_instruction(node, op_name("pop", L(type)), dummy_name(type));
}

void emit_pop_symbol(ParseNode *node, const Symbol *symbol)
{
    emit_instruction(node, op_name("pop", L(symbol->type)), symbol_output_name(symbol));
}

void push_loop(int continue_label, int exit_label, const std::vector<int> &held)
{
    emission().loops.push_back({continue_label, exit_label, held});
}

void pop_loop()
{
    emission().loops.pop_back();
}

void save_loops()
{
    EmissionState &e = emission();
    e.saved_loops.push_back(e.loops);
    e.loops.clear();
}

void restore_loops()
{
    EmissionState &e = emission();
    e.loops = e.saved_loops.back();
    e.saved_loops.pop_back();
}

void push_inline_body(const InlineBody &body)
{
    emission().bodies.push_back(body);
}

void pop_inline_body()
{
    emission().bodies.pop_back();
}

const InlineBody *current_inline_body()
{
    EmissionState &e = emission();
    return e.bodies.empty() ? nullptr : &e.bodies.back();
}

int inline_depth()
{
    return int(emission().bodies.size());
}

void reset_emission()
{
    emission() = EmissionState();
}

// ---- lists ------------------------------------------------------------------------

void emit_value(ParseNode *node)
{
    if (node->kind == N_ASSIGN)
        static_cast<AssignNode *>(node)->emit_as_value();
    else
        node->emit_asm();
}

void emit_for_effect(ParseNode *node)
{
    if (!node)
        return;
    if (node->kind == N_ASSIGN) {
        node->emit_asm();
        return;
    }
    node->emit_asm();
    emit_pop_dummy(node, node->type);
}

void emit_statement_list(ParseNode *list)
{
    for (ParseNode *node = list; node; node = node->next) {
        if (node->kind == N_CALL)
            emit_for_effect(node);
        else
            node->emit_asm();
    }
}

// ---- shader and declarations ----------------------------------------------------

void ShaderDefNode::emit_asm()
{
    // Kinds by token, from TOK_LIGHT on.
    static const int kinds[] = {SH_LIGHT, SH_SURFACE, SH_VOLUME, SH_DISPLACEMENT, SH_TRANSFORMATION,
                                SH_IMAGER};
    std::string path = output_path;
    if (path.empty()) {
        path = name;
        size_t sl = path.find(".sl");
        if (sl != std::string::npos)
            path.erase(sl);
        path += ".murn";
    }
    if (!open_output(path)) {
        error_flag = 1;
        return;
    }
    write_output("%s %s %s\n", shaderfile::VERSION_WORD, shaderfile::VERSION_TAG, "2.5.0g");
    if (scramble_level == 1) {
        write_output("%s\n", shaderfile::ENCRYPTED_WORD);
        scramble_level = 2;
    }
    write_output("%s", shaderfile::KIND_WORDS[kinds[kind_token - TOK_LIGHT]]);
    write_output(" %s\n", name);

    int section = 0;
    for (ParseNode *f = formals; f; f = f->next, section++) {
        begin_initcode_section(section);
        static_cast<DeclarationNode *>(f)->emit_parameter();
    }
    if (instruction_count() > 0)
        emit_instruction(this, "return");
    end_initcode_section();

    declare_string_constants();
    if (!needs_derivatives)
        emit_instruction(this, "return_area");
    emit_statement_list(body);
    emit_instruction(this, "return");
    check_local_words(this, name);
    write_instructions();
    close_output();
    if (verbosity > 0 && !error_flag) {
        std::fflush(stderr);
        std::fprintf(stderr, "...compiled %s\n", path.c_str());
        std::fflush(stderr);
    }
}

bool DeclarationNode::write_constant_default()
{
    if (arraylen > 0 || !defaults || defaults->next)
        return false;
    int values = is_triple(type) ? 3 : 1;
    const char *space_name = nullptr;
    float v[3];
    if (FloatConstNode *c = as_float_const(defaults)) {
        v[0] = v[1] = v[2] = c->value;
    } else if (defaults->kind == N_STRING_CONST) {
        write_output("\t\"%s\"\n", static_cast<StringConstNode *>(defaults)->text);
        return true;
    } else if (defaults->kind == N_CAST && !static_cast<CastNode *>(defaults)->inverse) {
        CastNode *cast = static_cast<CastNode *>(defaults);
        FloatConstNode *c = as_float_const(cast->operand);
        if (c && !cast->space) {
            v[0] = v[1] = v[2] = c->value;
        } else if (cast->operand->kind == N_TRIPLE && is_triple(type) &&
                   static_cast<TripleNode *>(cast->operand)->is_constant()) {
            TripleNode *t = static_cast<TripleNode *>(cast->operand);
            for (int i = 0; i < 3; i++)
                v[i] = as_float_const(t->parts[i])->value;
            space_name = cast->space;
        } else {
            return false;
        }
    } else {
        return false;
    }
    write_output("\t%s", format_float(v[0]).c_str());
    for (int i = 1; i < values; i++)
        write_output(" %s", format_float(v[i]).c_str());
    if (space_name)
        write_output(" \"%s\"", space_name);
    write_output("\n");
    // A colour space other than rgb is also converted by the initialisation code.
    if (space_name && std::strcmp(space_name, "rgb") != 0)
        emit_default_code();
    return true;
}

void DeclarationNode::emit_parameter()
{
    if (!symbol)
        return;
    symbol->declared = true;
    write_output("%s\t", symbol->output ? shaderfile::OUTPUT_PARAM_WORD : shaderfile::PARAM_WORD);
    if (symbol->detail == D_VARYING)
        write_output("%s\t", shaderfile::VARYING_WORD);
    write_output("%s\t%s", type_name(type), symbol_output_name(symbol));
    if (arraylen > 0)
        write_output("[%d]", arraylen);
    write_output("\t");
    if (!defaults) {
        write_output("%s\n", type_zero_default(type));
        return;
    }
    if (write_constant_default())
        return;
    write_output("\t%s\n", type_zero_default(type));
    emit_default_code();
}

void DeclarationNode::emit_default_code()
{
    const char *target = symbol_output_name(symbol);
    if (arraylen == 0) {
        emit_value(defaults);
        if (defaults->type == T_FLOAT && type != T_FLOAT)
            emit_instruction(this, intern_format("%cset", L(type)), target);
        else
            emit_instruction(this, op_name("pop", L(type)), target);
        return;
    }
    int index = 0;
    for (ParseNode *d = defaults; d; d = d->next, index++) {
        emit_value(d);
        if (d->type == T_FLOAT && type != T_FLOAT)
            emit_instruction(this, op_name("fto", L(type)));
        emit_instruction(this, "pushif", intern_format("%d", index));
        emit_instruction(this, op_name("apop", L(type)), target);
    }
}

void DeclarationNode::emit_asm()
{
    if (!symbol || is_extern)
        return;
    declare_local(symbol, false);
    check_local_words(this, name);
    if (defaults)
        emit_default_code();
}

// ---- expressions ---------------------------------------------------------------------

void FloatConstNode::emit_asm()
{
    emit_instruction(this, "pushif", intern_string(format_float(value).c_str()));
}

void StringConstNode::emit_asm()
{
    emit_push_string(this, text);
}

void VariableNode::emit_asm()
{
    if (symbol)
        emit_push_variable(this, this);
}

void TripleNode::emit_asm()
{
    if (is_constant()) {
        emit_instruction(this, "pushiv",
                         intern_string(format_float(as_float_const(parts[0])->value).c_str()),
                         intern_string(format_float(as_float_const(parts[1])->value).c_str()),
                         intern_string(format_float(as_float_const(parts[2])->value).c_str()));
        return;
    }
    for (int i = 2; i >= 0; i--)
        emit_value(parts[i]);
}

void MatrixNode::emit_asm()
{
    for (int i = 15; i >= 0; i--)
        emit_value(elements[i]);
}

void NegateNode::emit_asm()
{
    if (FloatConstNode *c = as_float_const(operand)) {
        emit_instruction(this, "pushif", intern_string(format_float(-c->value).c_str()));
        return;
    }
    emit_value(operand);
    emit_instruction(this, op_name("neg", L(type)));
}

void BinaryOpNode::emit_asm()
{
    int lt = left->type, rt = right->type;
    if (op == '.' || op == '^') {
        emit_value(right);
        emit_value(left);
        emit_instruction(this, op == '.' ? "vdot" : "cross");
        return;
    }
    const char *stem = arith_op_name(op);
    VariableNode *a = as_plain_variable(left), *b = as_plain_variable(right);
    auto scalar_or_triple = [](int t) { return t == T_FLOAT || is_triple(t); };
    if (a && b && scalar_or_triple(lt) && scalar_or_triple(rt) &&
        (types_compatible(lt, rt) || op == '*')) {
        emit_instruction(this, op_name(stem, upper(L(lt)), upper(L(rt))), variable_name(a),
                         variable_name(b));
        return;
    }
    if (a && types_compatible(lt, rt)) {
        emit_value(right);
        emit_instruction(this, op_name(stem, upper(L(lt))), variable_name(a));
        return;
    }
    if (a && op == '*' && lt == T_FLOAT && is_triple(rt)) {
        emit_value(right);
        emit_instruction(this, op_name("mulF", L(rt)), variable_name(a));
        return;
    }
    emit_value(right);
    emit_value(left);
    if ((op == '+' || op == '-') && lt == T_FLOAT && is_triple(rt)) {
        // The float becomes a triple, and the op takes two triples.
        emit_instruction(this, op_name("fto", L(rt)));
        lt = rt;
    }
    emit_instruction(this, op_name(stem, L(lt), L(rt)));
}

void ConditionalNode::emit_asm()
{
    int a = new_label(), b = new_label();
    emit_value(condition);
    emit_instruction_int(this, "ifz", a);
    emit_value(if_true);
    emit_instruction_int(this, "jump", b);
    define_label(a);
    emit_value(if_false);
    define_label(b);
}

void CastNode::emit_asm()
{
    emit_value(operand);
    if (operand->type == T_FLOAT && (is_triple(type) || type == T_MATRIX)) {
        // There is no "fton": a normal is widened as a vector.
        char letter = type == T_NORMAL ? 'v' : type_letter(type);
        emit_instruction(this, op_name("fto", letter));
    }
    if (space) {
        if (!std::strcmp(space, "rgb") || !std::strcmp(space, "world")) {
        } else if (!std::strcmp(space, "xyz") || !std::strcmp(space, "hsv") ||
                   !std::strcmp(space, "yiq")) {
            emit_instruction(this, intern_format("%s_to_rgb", space));
        } else {
            emit_push_string(this, "current");
            emit_push_string(this, space);
            emit_instruction(this, intern_format("%ctransformss", type_letter(type)));
        }
    }
    if (inverse) {
        // The inverse of M is 1 / M.
        emit_instruction(this, "pushif", "1");
        emit_instruction(this, "divfm");
    }
}

void RelationNode::emit_asm()
{
    emit_value(right);
    emit_value(left);
    switch (op) {
    case '<': emit_instruction(this, "lt"); break;
    case '>': emit_instruction(this, "gt"); break;
    case TOK_GE: emit_instruction(this, "ge"); break;
    case TOK_LE: emit_instruction(this, "le"); break;
    case TOK_EQ:
    case TOK_NE: {
        const char *word = op == TOK_EQ ? "eq" : "ne";
        if (left->type == T_STRING)
            emit_instruction(this, op == TOK_EQ ? "seq" : "sne");
        else
            emit_instruction(this, intern_format("%c%s%c", L(left->type), word, L(right->type)));
        break;
    }
    default:
        error("unrecognized relation op");
    }
}

void LogicalNode::emit_asm()
{
    if (right)
        emit_value(right);
    emit_value(left);
    switch (op) {
    case TOK_AND: emit_instruction(this, "and"); break;
    case TOK_OR: emit_instruction(this, "or"); break;
    case '!': emit_instruction(this, "not"); break;
    default: error("unrecognized logical op");
    }
}

// ---- assignment --------------------------------------------------------------------------

void AssignNode::emit_asm()
{
    if (!symbol)
        return;
    check_kind_rule(this);
    int st = symbol->type;
    VariableNode *source = as_plain_variable(value);
    // A copy between two variables is one op, except for matrices, which have none.
    if (op == '=' && !index && source && types_compatible(st, value->type) && st != T_MATRIX) {
        emit_instruction(this, op_name("cp", upper(L(st)), upper(L(st))), variable_name(source),
                         variable_name(target));
        return;
    }
    emit_value(value);
    emit_store();
}

void AssignNode::emit_store()
{
    int st = symbol->type, vt = value->type;
    const char *x = variable_name(target);
    char xl = L(st);
    auto push_x = [&] {
        if (index) {
            emit_value(index);
            emit_instruction(this, op_name("apush", xl), x);
        } else {
            emit_instruction(this, op_name("push", xl), x);
        }
    };
    auto pop_x = [&] {
        if (index) {
            emit_value(index);
            emit_instruction(this, op_name("apop", xl), x);
        } else {
            emit_instruction(this, op_name("pop", xl), x);
        }
    };
    bool promote = vt == T_FLOAT && (is_triple(st) || st == T_MATRIX);
    if (op == '=') {
        if (types_compatible(st, vt)) {
            pop_x();
        } else if (promote) {
            if (index) {
                emit_instruction(this, op_name("fto", xl));
                pop_x();
            } else {
                emit_instruction(this, intern_format("%cset", xl), x);
            }
        } else {
            error("type mismatch on assignment to", target->name);
        }
        return;
    }
    const char *stem = arith_op_name(op);
    if (types_compatible(st, vt)) {
        if (!index) {
            emit_instruction(this, op_name(stem, upper(xl)), x);
            pop_x();
        } else {
            push_x();
            emit_instruction(this, op_name(stem, xl, L(vt)));
            pop_x();
        }
        return;
    }
    if (!promote) {
        error("type mismatch on assignment to", target->name);
        return;
    }
    char vl = L(vt);
    if (op == TOK_ADD_ASSIGN || op == TOK_SUB_ASSIGN) {
        if (st == T_MATRIX) {
            error("type mismatch on assignment to", target->name);
            return;
        }
        emit_instruction(this, op_name("fto", xl));
        vl = xl;
    }
    push_x();
    emit_instruction(this, op_name(stem, xl, vl));
    pop_x();
}

void AssignNode::emit_as_value()
{
    emit_asm();
    if (symbol)
        emit_push_variable(this, target);
}

// ---- statements ----------------------------------------------------------------------------

void IfNode::emit_asm()
{
    int a = new_label(), b = new_label();
    emit_value(condition);
    emit_instruction_int(this, "ifz", a);
    emit_statement_list(then_part);
    if (else_part)
        emit_instruction_int(this, "jump", b);
    define_label(a);
    if (else_part) {
        emit_statement_list(else_part);
        define_label(b);
    }
}

void LoopNode::emit_asm()
{
    int top = new_label(), cont = new_label(), exit = new_label();
    emit_for_effect(init);
    define_label(top);
    if (condition) {
        emit_value(condition);
        emit_instruction_int(this, "ifz", exit);
    }
    push_loop(cont, exit);
    emit_statement_list(body);
    pop_loop();
    define_label(cont);
    emit_for_effect(step);
    emit_instruction_int(this, "jump", top);
    define_label(exit);
}

void BreakNode::emit_asm()
{
    EmissionState &e = emission();
    if (level < 1 || size_t(level) > e.loops.size()) {
        error("bad break/continue statement");
        return;
    }
    // Loops left on the way drop what they keep on the stack; a continue
    // keeps its own loop's values.
    size_t target = e.loops.size() - size_t(level);
    for (size_t i = e.loops.size(); i-- > target;) {
        if (i == target && token == TOK_CONTINUE)
            break;
        if (!e.loops[i].held.empty())
            emit_instruction(this, "illuminance_end");
        for (int held : e.loops[i].held)
            emit_pop_dummy(this, held);
    }
    const Loop &loop = e.loops[target];
    emit_instruction_int(this, "jump", token == TOK_CONTINUE ? loop.continue_label : loop.exit_label);
}

void LightStatementNode::emit_asm()
{
    check_kind_rule(this);
    int a = new_label();
    emit_node_list_reversed(args);
    static const char *const stems[] = {"solar", "illuminate", "ambience"};
    emit_instruction_int(this, intern_format("%s%d", stems[light_kind], node_list_length(args)), a);
    emit_statement_list(body);
    define_label(a);
}

void IlluminanceNode::emit_asm()
{
    check_kind_rule(this);
    int a = new_label(), b = new_label();
    emit_node_list_reversed(args);
    if (category)
        emit_value(category);
    emit_instruction(this, "illuminance_start");
    define_label(a);
    int count = node_list_length(args) + (category ? 1 : 0);
    emit_instruction_int(this, intern_format("illuminance%d", count), b);
    std::vector<int> held;
    for (ParseNode *arg = args; arg; arg = arg->next)
        held.push_back(arg->type);
    if (category)
        held.push_back(T_STRING);
    push_loop(a, b, held);
    emit_statement_list(body);
    pop_loop();
    emit_instruction_int(this, "jump", a);
    define_label(b);
}

void ReturnNode::emit_asm()
{
    if (!current_inline_body()) {
        error("bad place for a return statement");
        return;
    }
    // A copy: the value's own calls open bodies of their own.
    const InlineBody body = *current_inline_body();
    emit_value(value);
    if (value->type == T_FLOAT && (is_triple(body.type) || body.type == T_MATRIX))
        emit_instruction(this, op_name("fto", L(body.type)));
    if (this == body.last)
        return;
    // An early return leaves the function's light loops, which keep their
    // arguments beneath the value: the value waits in a temporary meanwhile.
    EmissionState &e = emission();
    bool holding = false;
    for (const Loop &loop : e.loops)
        holding = holding || !loop.held.empty();
    if (holding) {
        int type = value->type == T_FLOAT && body.type != T_FLOAT ? body.type : value->type;
        const char *saved = new_temporary(type);
        emit_instruction(this, op_name("pop", L(type)), saved);
        for (size_t i = e.loops.size(); i-- > 0;) {
            if (!e.loops[i].held.empty())
                emit_instruction(this, "illuminance_end");
            for (int held : e.loops[i].held)
                emit_pop_dummy(this, held);
        }
        emit_instruction(this, op_name("push", L(type)), saved);
        release_temporary(saved);
    }
    emit_instruction_int(this, "jump", body.end_label);
}

} // namespace murn
