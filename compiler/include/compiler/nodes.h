// Parse-tree nodes. The parser builds them; each node folds itself, checks its
// types and emits its instructions. Nodes live until the compilation ends.
#pragma once
#include <algorithm>
#include <type_traits>
#include <vector>

#include "compiler/murntypes.h"

namespace murn {

struct Symbol;
struct FunctionSymbol;
struct ShadeopRow;

// Node kinds.
enum NodeKind {
    N_SHADER_DEF = 1, N_FUNCTION_DEF = 2, N_DECLARATION = 3, N_ASSIGN = 4, N_BINARY_OP = 5,
    N_NEGATE = 6, N_CONDITIONAL = 7, N_CAST = 8, N_VARIABLE = 9, N_FLOAT_CONST = 10,
    N_TRIPLE = 11, N_MATRIX = 12, N_STRING_CONST = 13, N_CALL = 14, N_IF = 15,
    N_LOOP = 17, N_BREAK = 18, N_RELATION = 19, N_LOGICAL = 20, N_TEXTURE_CALL = 21,
    N_LIGHT_STATEMENT = 22, N_ILLUMINANCE = 23, N_RETURN = 24
};

// Token codes the nodes keep (the scanner's codes).
enum TokenCode {
    TOK_LIGHT = 278, TOK_SURFACE = 279, TOK_VOLUME = 280, TOK_DISPLACEMENT = 281,
    TOK_TRANSFORMATION = 282, TOK_IMAGER = 283, TOK_CONTINUE = 292, TOK_BREAK = 293,
    TOK_ADD_ASSIGN = 295, TOK_SUB_ASSIGN = 296, TOK_MUL_ASSIGN = 297, TOK_DIV_ASSIGN = 298,
    TOK_OR = 299, TOK_AND = 300, TOK_EQ = 301, TOK_NE = 302, TOK_GE = 303, TOK_LE = 304
};

class ParseNode {
public:
    // Takes the scanner's file and line and the variable table's scope id.
    explicit ParseNode(int kind);
    virtual ~ParseNode() = default;
    ParseNode(const ParseNode &) = delete;
    ParseNode &operator=(const ParseNode &) = delete;

    // The node that replaces this one after constant folding.
    virtual ParseNode *fold() { return this; }
    // Checks the node against the type its parent wants (0 for none); returns
    // and stores its result type.
    virtual int type_check(int context) { (void)context; return type; }
    // Emits the node's instructions: an expression leaves its value on the stack.
    virtual void emit_asm() {}
    // Reports an error at the node's position (name may be null).
    void error(const char *message, const char *name = nullptr) const;

    int kind;
    const char *file;         // source file at creation
    int line;                 // source line at creation
    int type = T_UNKNOWN;     // result type, set by type_check
    ParseNode *next = nullptr;
    ParseNode *list_tail = nullptr;  // at a list's head: a node at or before its end
    int scope_id;             // variable scope at creation
    const char *space = nullptr;  // space named by a cast, or a default's
    int depth = 1;            // levels of nodes below and including this one
    bool rule_reported = false;   // a rule of the shader's kind was broken here (told once)
};

// Keeps a node until reset_nodes, which frees every node kept.
void keep_node(ParseNode *node);
void reset_nodes();

// Deepest nesting of nodes accepted: folding, checking and emitting recurse
// once per level, and a deeper tree would exhaust the stack.
const int MAX_NODE_DEPTH = 2000;
// The deepest nesting over a node and the nodes linked after it (0 for null).
int node_list_depth(const ParseNode *list);
// Stores a node's nesting; beyond MAX_NODE_DEPTH reports the node's line (once
// per compilation).
void note_node_depth(ParseNode *node, int depth);

template <class A> int child_depth(const A &arg)
{
    if constexpr (std::is_convertible_v<A, const ParseNode *>) return node_list_depth(arg);
    else return 0;
}

// Allocates a node that lives until reset_nodes.
template <class T, class... Args> T *make_node(Args... args)
{
    T *node = new T(args...);
    keep_node(node);
    int depth = 0;
    ((depth = std::max(depth, child_depth(args))), ...);
    note_node_depth(node, depth + 1);
    return node;
}

// List helpers (lists are linked through next).
ParseNode *append_node(ParseNode *list, ParseNode *node);
int node_list_length(const ParseNode *list);
ParseNode *fold_node_list(ParseNode *list);
void emit_node_list_reversed(ParseNode *list);
// Emits statements; calls whose value is unused are popped into a dummy.
void emit_statement_list(ParseNode *list);
// Emits an expression for its value (an assignment also pushes its target).
void emit_value(ParseNode *node);
// Emits an expression used only for its effect, leaving nothing on the stack.
void emit_for_effect(ParseNode *node);
// Type-checks every node of a list from first to last.
void check_node_list(ParseNode *list, int context);

class FloatConstNode : public ParseNode {
public:
    explicit FloatConstNode(float value) : ParseNode(N_FLOAT_CONST), value(value) { type = T_FLOAT; }
    int type_check(int context) override;
    void emit_asm() override;
    float value;
};

class StringConstNode : public ParseNode {
public:
    explicit StringConstNode(const char *text);
    int type_check(int context) override;
    void emit_asm() override;
    const char *text;
};

class VariableNode : public ParseNode {
public:
    // Looks the name up; an unknown name is reported.
    VariableNode(const char *name, ParseNode *index);
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    // No index and not an array: the variable names its whole value.
    bool is_plain() const;
    const char *name;
    Symbol *symbol;
    ParseNode *index;
};

class ShaderDefNode : public ParseNode {
public:
    ShaderDefNode(int kind_token, const char *name, ParseNode *formals, ParseNode *body);
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    ParseNode *formals;
    ParseNode *body;
    int kind_token;
    const char *name;
    bool needs_derivatives = false;  // its top level calls a derivative function
};

class FunctionDefNode : public ParseNode {
public:
    // Registers the function (overloads allowed).
    FunctionDefNode(const char *name, int return_type, ParseNode *formals, ParseNode *body);
    ParseNode *fold() override;
    int type_check(int context) override;
    // Emits the body in place of a call (the formals are bound by the caller).
    void emit_body(ParseNode *call);
    const char *name;
    int return_type;
    ParseNode *formals;
    ParseNode *body;
    bool used = false;
    bool needs_derivatives = false;
    FunctionSymbol *symbol;
};

// Array length of a declaration written "[0]" ("[]" is -1, no brackets 0).
inline constexpr int ZERO_LENGTH = -2;

class DeclarationNode : public ParseNode {
public:
    // Storage S_PARAMETER or S_LOCAL; type, detail, output and extern come from
    // the parser's declaration state.
    DeclarationNode(int storage, const char *name, int arraylen, ParseNode *defaults);
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    // A shader parameter: its line, with code for computed defaults.
    void emit_parameter();
    const char *name;
    Symbol *symbol = nullptr;
    int arraylen;
    ParseNode *defaults;
    bool is_extern;
private:
    void emit_default_code();
    bool write_constant_default();
};

class AssignNode : public ParseNode {
public:
    AssignNode(int op, VariableNode *target, ParseNode *value);
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;      // the assignment alone
    void emit_as_value();          // the assignment, then the target's value
    int op;
    ParseNode *value;
    VariableNode *target;
    Symbol *symbol;
    ParseNode *index;
private:
    void emit_store();
};

class BinaryOpNode : public ParseNode {
public:
    BinaryOpNode(int op, ParseNode *left, ParseNode *right);
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    int op;
    ParseNode *left, *right;
};

class NegateNode : public ParseNode {
public:
    explicit NegateNode(ParseNode *operand) : ParseNode(N_NEGATE), operand(operand) {}
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    ParseNode *operand;
};

class ConditionalNode : public ParseNode {
public:
    ConditionalNode(ParseNode *condition, ParseNode *if_true, ParseNode *if_false)
        : ParseNode(N_CONDITIONAL), condition(condition), if_true(if_true), if_false(if_false) {}
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    ParseNode *condition, *if_true, *if_false;
};

class CastNode : public ParseNode {
public:
    CastNode(int cast_type, const char *space_name, bool inverse);
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    ParseNode *operand = nullptr;
    bool inverse;
};

class TripleNode : public ParseNode {
public:
    TripleNode(ParseNode *a, ParseNode *b, ParseNode *c) : ParseNode(N_TRIPLE), parts{a, b, c} {}
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    // All three components are float constants.
    bool is_constant() const;
    ParseNode *parts[3];
};

class MatrixNode : public ParseNode {
public:
    explicit MatrixNode(ParseNode *elements);
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    ParseNode *elements[16];
};

class CallNode : public ParseNode {
public:
    // Resolves the name among functions, built-ins and shadeop libraries.
    CallNode(const char *name, ParseNode *args);
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    // The i-th argument (0-based) or null.
    ParseNode *arg(int i) const;
    const char *name;
    ParseNode *args;
    int nargs;
    FunctionSymbol *function = nullptr;
    std::vector<FunctionSymbol *> candidates;  // every visible definition, when several
    const char *opcode;                 // the op emitted for a built-in
    std::vector<int> arg_types;         // collected by the type check
    int context = 0;                    // the type the parent wanted
    // Shadeop calls: the matched row.
    const char *method = nullptr;
    const char *declaration = nullptr;
protected:
    explicit CallNode(int kind) : ParseNode(kind), name(nullptr), args(nullptr), nargs(0), opcode(nullptr) {}
private:
    int check_shadeop(int context);
    int check_user_function();
    void emit_user_call();
    void emit_shadeop_call();
};

class TextureCallNode : public CallNode {
public:
    // kind: 0 texture, 2 environment, 4 bump, 5 shadow.
    TextureCallNode(int texture_kind, ParseNode *filename, ParseNode *channel, ParseNode *args);
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    int texture_kind;   // 1 and 3 are the color forms of 0 and 2
    ParseNode *channel;
    ParseNode *filename;
    int npositional = 0;
};

class IfNode : public ParseNode {
public:
    IfNode(ParseNode *condition, ParseNode *then_part, ParseNode *else_part)
        : ParseNode(N_IF), condition(condition), then_part(then_part), else_part(else_part) {}
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    ParseNode *condition, *then_part, *else_part;
};

class BodyStatementNode : public ParseNode {
public:
    explicit BodyStatementNode(int kind) : ParseNode(kind) {}
    ParseNode *body = nullptr;
};

class LoopNode : public BodyStatementNode {
public:
    LoopNode(ParseNode *condition, ParseNode *init, ParseNode *step)
        : BodyStatementNode(N_LOOP), condition(condition), init(init), step(step) {}
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    ParseNode *condition, *init, *step;
};

class BreakNode : public ParseNode {
public:
    BreakNode(int token, int level) : ParseNode(N_BREAK), token(token), level(level) {}
    void emit_asm() override;
    int token;  // TOK_BREAK or TOK_CONTINUE
    int level;
};

class RelationNode : public ParseNode {
public:
    RelationNode(int op, ParseNode *left, ParseNode *right)
        : ParseNode(N_RELATION), op(op), left(left), right(right) {}
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    int op;
    ParseNode *left, *right;
};

class LogicalNode : public ParseNode {
public:
    LogicalNode(int op, ParseNode *left, ParseNode *right)
        : ParseNode(N_LOGICAL), op(op), left(left), right(right) {}
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    int op;  // '!', TOK_OR, TOK_AND
    ParseNode *left, *right;
};

class LightStatementNode : public BodyStatementNode {
public:
    // kind: 0 solar, 1 illuminate, 2 ambience.
    LightStatementNode(int light_kind, ParseNode *args)
        : BodyStatementNode(N_LIGHT_STATEMENT), light_kind(light_kind), args(args) {}
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    int light_kind;
    ParseNode *args;
};

class IlluminanceNode : public BodyStatementNode {
public:
    explicit IlluminanceNode(ParseNode *args) : BodyStatementNode(N_ILLUMINANCE), args(args) {}
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    ParseNode *args;
    ParseNode *category = nullptr;
};

class ReturnNode : public ParseNode {
public:
    // function_type: the return type of the function being defined (0 outside one).
    ReturnNode(ParseNode *value, int function_type)
        : ParseNode(N_RETURN), value(value), function_type(function_type) {}
    ParseNode *fold() override;
    int type_check(int context) override;
    void emit_asm() override;
    ParseNode *value;
    int function_type;
};

// A plain variable node (no index, not an array), or null.
VariableNode *as_plain_variable(ParseNode *node);
// A float constant node, or null.
FloatConstNode *as_float_const(ParseNode *node);

// The user function whose body is being checked, null while the shader is.
extern FunctionDefNode *checking_function;
// A derivative call was checked: marks the function being checked, else the shader.
void mark_needs_derivatives();
// A value of type value may be stored into target: compatible types, or a
// float promoted to a triple or a matrix.
bool accepts_value(int target, int value);

} // namespace murn
