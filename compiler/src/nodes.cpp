// Node construction (with its side effects on the tables), lists and folding.
#include "compiler/nodes.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "intern.h"
#include "compiler/lexer.h"
#include "compiler/messages.h"
#include "parser.h"
#include "compiler/shadeops.h"
#include "symbols.h"
#include "compiler/writer.h"

namespace murn {

namespace {

std::vector<std::unique_ptr<ParseNode>> &arena()
{
    static std::vector<std::unique_ptr<ParseNode>> nodes;
    return nodes;
}

// The shading globals of the renderer, some of which the language does not
// predeclare: a shader-scope local of one of these names needs a name of its
// own in the compiled file.
bool is_renderer_global(const char *name)
{
    static const char *const names[] = {
        "Ci", "Oi", "Cs", "Os", "Ps", "P", "dPdu", "dPdv", "N", "Ng", "u", "v", "du", "dv",
        "s", "t", "L", "Cl", "Ol", "E", "I", "time", "alpha", "dsdu", "dsdv", "dtdu", "dtdv",
        "ncomps", "dtime", "dPdtime", "Pl", "Nl", "Ngl", "ul", "vl", "sl", "tl"};
    for (const char *n : names)
        if (std::strcmp(n, name) == 0)
            return true;
    return false;
}

template <class T> T *fold_child(T *node)
{
    return node ? static_cast<T *>(node->fold()) : nullptr;
}

} // namespace

// ---- base and lists -------------------------------------------------------

ParseNode::ParseNode(int kind)
    : kind(kind), file(current_file), line(current_line), scope_id(variable_table().current_scope)
{
}

void ParseNode::error(const char *message, const char *name) const
{
    report_error_at(message, file, line, name);
}

void keep_node(ParseNode *node)
{
    arena().emplace_back(node);
}

namespace {
bool depth_reported = false;
}

void reset_nodes()
{
    arena().clear();
    depth_reported = false;
}

int node_list_depth(const ParseNode *list)
{
    int depth = 0;
    for (; list; list = list->next) depth = std::max(depth, list->depth);
    return depth;
}

void note_node_depth(ParseNode *node, int depth)
{
    node->depth = depth;
    if (depth <= MAX_NODE_DEPTH || depth_reported) return;
    depth_reported = true;
    char message[128];
    std::snprintf(message, sizeof message, "Expression or statement nested too deeply (more than %d levels)",
                  MAX_NODE_DEPTH);
    node->error(message);
}

ParseNode *append_node(ParseNode *list, ParseNode *node)
{
    if (!list)
        return node;
    if (!node)
        return list;
    // The head remembers its end, so a long list grows in constant time per node.
    ParseNode *last = list->list_tail ? list->list_tail : list;
    while (last->next)
        last = last->next;
    last->next = node;
    last = node->list_tail ? node->list_tail : node;
    while (last->next)
        last = last->next;
    list->list_tail = last;
    return list;
}

int node_list_length(const ParseNode *list)
{
    int n = 0;
    for (; list; list = list->next)
        n++;
    return n;
}

ParseNode *fold_node_list(ParseNode *list)
{
    ParseNode *head = nullptr, *tail = nullptr;
    for (ParseNode *node = list; node;) {
        ParseNode *next = node->next;
        ParseNode *folded = node->fold();
        folded->next = nullptr;
        if (tail)
            tail->next = folded;
        else
            head = folded;
        tail = folded;
        node = next;
    }
    if (head)
        head->list_tail = tail;
    return head;
}

void emit_node_list_reversed(ParseNode *list)
{
    std::vector<ParseNode *> nodes;
    for (; list; list = list->next)
        nodes.push_back(list);
    for (size_t i = nodes.size(); i-- > 0;)
        emit_value(nodes[i]);
}

void check_node_list(ParseNode *list, int context)
{
    for (; list; list = list->next)
        list->type_check(context);
}

VariableNode *as_plain_variable(ParseNode *node)
{
    if (!node || node->kind != N_VARIABLE)
        return nullptr;
    VariableNode *v = static_cast<VariableNode *>(node);
    return v->is_plain() ? v : nullptr;
}

FloatConstNode *as_float_const(ParseNode *node)
{
    return node && node->kind == N_FLOAT_CONST ? static_cast<FloatConstNode *>(node) : nullptr;
}

// ---- constructors -----------------------------------------------------------

StringConstNode::StringConstNode(const char *text) : ParseNode(N_STRING_CONST), text(text)
{
    type = T_STRING;
    string_constant_name(text, false);
}

VariableNode::VariableNode(const char *name, ParseNode *index)
    : ParseNode(N_VARIABLE), name(name), symbol(lookup_variable(name)), index(index)
{
    if (!symbol)
        error("unknown identifier", name);
    else
        type = symbol->type;
}

bool VariableNode::is_plain() const
{
    return symbol && !index && symbol->arraylen == 0;
}

ShaderDefNode::ShaderDefNode(int kind_token, const char *name, ParseNode *formals, ParseNode *body)
    : ParseNode(N_SHADER_DEF), formals(formals), body(body), kind_token(kind_token), name(name)
{
    if (verbosity > 0) {
        std::fflush(stderr);
        std::fprintf(stderr, "Compiling %s\n", name);
        std::fflush(stderr);
    }
}

FunctionDefNode::FunctionDefNode(const char *name, int return_type, ParseNode *formals,
                                 ParseNode *body)
    : ParseNode(N_FUNCTION_DEF), name(name), return_type(return_type), formals(formals), body(body)
{
    type = return_type;
    symbol = new FunctionSymbol(name, return_type);
    symbol->def = this;
    function_table().insert(symbol, true);
}

DeclarationNode::DeclarationNode(int storage, const char *name, int arraylen, ParseNode *defaults)
    : ParseNode(N_DECLARATION), name(name), arraylen(arraylen), defaults(defaults),
      is_extern(storage == S_LOCAL && decl_state.is_extern)
{
    type = decl_state.type;
    int detail = decl_state.detail;
    if (detail == D_NONE)
        detail = storage == S_PARAMETER ? D_UNIFORM : D_VARYING;

    // "[]" and "[0]" take their length from the initial values.
    if (this->arraylen < 0) {
        int n = defaults ? node_list_length(defaults) : 0;
        if (n == 0)
            error("array declared without a length:", name);
        this->arraylen = n > 0 ? n : 1;
    }

    SymbolTable &table = variable_table();
    Symbol *visible = lookup_variable(name);
    if (visible && visible->scope() == table.current_scope && visible->storage == storage) {
        error("Duplicate symbol declaration", name);
        return;
    }

    symbol = new Symbol(name, storage, type, detail);
    symbol->written_detail = decl_state.detail;
    symbol->output = storage == S_PARAMETER ? decl_state.output : 0;
    symbol->arraylen = this->arraylen;
    symbol->decl = this;
    if (is_extern) {
        if (!visible) {
            error("Could not find extern symbol in outer scope", name);
        } else {
            if (!types_compatible(visible->type, type) || visible->arraylen != this->arraylen)
                error("Extern declaration does not match outer scope");
            symbol->alias = visible;
            symbol->is_extern = true;
        }
    } else if (storage == S_LOCAL && table.current_scope == shader_scope_id &&
               (visible || is_renderer_global(name))) {
        // A local beside a parameter or global of the same name must not share
        // its plain name in the compiled file.
        symbol->scoped_name = true;
    }
    table.insert(symbol, true);
    if (storage == S_PARAMETER && table.current_scope == shader_scope_id)
        note_shader_parameter(name);
}

AssignNode::AssignNode(int op, VariableNode *target, ParseNode *value)
    : ParseNode(N_ASSIGN), op(op), value(value), target(target), symbol(target->symbol),
      index(target->index)
{
}

BinaryOpNode::BinaryOpNode(int op, ParseNode *left, ParseNode *right)
    : ParseNode(N_BINARY_OP), op(op), left(left), right(right)
{
}

CastNode::CastNode(int cast_type, const char *space_name, bool inverse)
    : ParseNode(N_CAST), inverse(inverse)
{
    type = cast_type;
    space = space_name;
}

MatrixNode::MatrixNode(ParseNode *list) : ParseNode(N_MATRIX)
{
    type = T_MATRIX;
    for (ParseNode *&e : elements) {
        e = list;
        list = list->next;
        e->next = nullptr;
        e->list_tail = nullptr;
    }
}

CallNode::CallNode(const char *name, ParseNode *args)
    : ParseNode(N_CALL), name(name), args(args), nargs(node_list_length(args)), opcode(name)
{
    function = lookup_function(name);
    if (function) {
        candidates.push_back(function);
        SymbolTable &table = function_table();
        for (SymbolEntry *e = table.next_visible(function); e; e = table.next_visible(e))
            candidates.push_back(static_cast<FunctionSymbol *>(e));
    } else {
        function = find_shadeop_function(name);
        if (function)
            candidates.push_back(function);
        else
            error("unknown function", name);
    }
}

ParseNode *CallNode::arg(int i) const
{
    ParseNode *a = args;
    while (a && i-- > 0)
        a = a->next;
    return a;
}

TextureCallNode::TextureCallNode(int texture_kind, ParseNode *filename, ParseNode *channel,
                                 ParseNode *args)
    : CallNode(N_TEXTURE_CALL), texture_kind(texture_kind), channel(channel), filename(filename)
{
    this->args = args;
    nargs = node_list_length(args);
}

// ---- folding ----------------------------------------------------------------

namespace {

// An index known at compile time must fall inside the array (the element is
// the index rounded down, as at run time).
void check_constant_index(const ParseNode *node, const Symbol *symbol, const ParseNode *index,
                          const char *name)
{
    const FloatConstNode *c = index && index->kind == N_FLOAT_CONST ? static_cast<const FloatConstNode *>(index)
                                                                    : nullptr;
    if (!c || !symbol || symbol->arraylen <= 0)
        return;
    double element = std::floor(double(c->value));
    if (element >= 0 && element < symbol->arraylen)
        return;
    node->error(intern_format("array index %g is outside the %d elements (0 to %d) of", double(c->value),
                              symbol->arraylen, symbol->arraylen - 1),
                name);
}

} // namespace

ParseNode *VariableNode::fold()
{
    index = fold_child(index);
    check_constant_index(this, symbol, index, name);
    return this;
}

ParseNode *ShaderDefNode::fold()
{
    formals = fold_node_list(formals);
    body = fold_node_list(body);
    return this;
}

ParseNode *FunctionDefNode::fold()
{
    formals = fold_node_list(formals);
    body = fold_node_list(body);
    return this;
}

ParseNode *DeclarationNode::fold()
{
    defaults = fold_node_list(defaults);
    return this;
}

ParseNode *AssignNode::fold()
{
    value = fold_child(value);
    index = fold_child(index);
    check_constant_index(this, symbol, index, target->name);
    return this;
}

ParseNode *BinaryOpNode::fold()
{
    left = fold_child(left);
    right = fold_child(right);
    FloatConstNode *a = as_float_const(left), *b = as_float_const(right);
    if (!a || !b || !std::strchr("+-*/", op))
        return this;
    float result;
    switch (op) {
    case '+': result = a->value + b->value; break;
    case '-': result = a->value - b->value; break;
    case '*': result = a->value * b->value; break;
    default:
        // Division by zero stays for the run time, which keeps the dividend.
        if (b->value == 0.0f)
            return this;
        result = a->value / b->value;
        break;
    }
    if (!std::isfinite(result))
        return this;
    a->value = result;
    return a;
}

ParseNode *NegateNode::fold()
{
    operand = fold_child(operand);
    return this;
}

ParseNode *ConditionalNode::fold()
{
    condition = fold_child(condition);
    if_true = fold_child(if_true);
    if_false = fold_child(if_false);
    return this;
}

ParseNode *CastNode::fold()
{
    operand = fold_child(operand);
    return this;
}

ParseNode *TripleNode::fold()
{
    for (ParseNode *&p : parts)
        p = fold_child(p);
    return this;
}

bool TripleNode::is_constant() const
{
    return as_float_const(parts[0]) && as_float_const(parts[1]) && as_float_const(parts[2]);
}

ParseNode *MatrixNode::fold()
{
    for (ParseNode *&e : elements)
        e = fold_child(e);
    return this;
}

ParseNode *CallNode::fold()
{
    args = fold_node_list(args);
    FloatConstNode *c = as_float_const(args);
    if (nargs == 1 && c && function && function->builtin && std::strcmp(name, "radians") == 0) {
        c->value = c->value * 0.017453292f;
        return c;
    }
    return this;
}

ParseNode *TextureCallNode::fold()
{
    args = fold_node_list(args);
    filename = fold_child(filename);
    channel = fold_child(channel);
    return this;
}

ParseNode *IfNode::fold()
{
    condition = fold_child(condition);
    then_part = fold_node_list(then_part);
    else_part = fold_node_list(else_part);
    return this;
}

ParseNode *LoopNode::fold()
{
    condition = fold_child(condition);
    init = fold_child(init);
    step = fold_child(step);
    body = fold_node_list(body);
    return this;
}

ParseNode *RelationNode::fold()
{
    left = fold_child(left);
    right = fold_child(right);
    return this;
}

ParseNode *LogicalNode::fold()
{
    left = fold_child(left);
    right = fold_child(right);
    return this;
}

ParseNode *LightStatementNode::fold()
{
    args = fold_node_list(args);
    body = fold_node_list(body);
    return this;
}

ParseNode *IlluminanceNode::fold()
{
    args = fold_node_list(args);
    category = fold_child(category);
    body = fold_node_list(body);
    return this;
}

ParseNode *ReturnNode::fold()
{
    value = fold_child(value);
    return this;
}

} // namespace murn
