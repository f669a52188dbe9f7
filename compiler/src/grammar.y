/* The grammar of the shading language. Its actions build the parse tree, keep
   the declaration state and open and close the scopes of the variable and
   function tables. */
%code requires {
namespace murn { class ParseNode; }
}

%{
#include <cstdio>
#include <cstdlib>

#include "intern.h"
#include "compiler/lexer.h"
#include "compiler/messages.h"
#include "compiler/nodes.h"
#include "parser.h"
#include "symbols.h"

using namespace murn;

namespace {

// Array lengths and break levels beyond this are no program's.
const float MAX_SOURCE_COUNT = 1000000;

// A count written in the source as an int; one too large is reported.
int source_count(float v)
{
    if (!(v > MAX_SOURCE_COUNT)) return int(v);
    report_error_at("number too large:", current_file, current_line, "");
    return int(MAX_SOURCE_COUNT);
}

} // namespace
%}

%union {
    const char *text;
    float number;
    int code;
    murn::ParseNode *node;
}

%token <text> IDENTIFIER 258
%token <number> NUMBER 259
%token <text> STRINGLIT 260
%token K_FLOAT 261 K_STRING 262 K_POINT 263 K_VECTOR 264 K_NORMAL 265 K_COLOR 266
%token K_MATRIX 267 K_MATRIXINV 268 K_VOID 269 K_VARYING 270 K_UNIFORM 271
%token K_OUTPUT 272 K_EXTERN 273 K_SOLAR 274 K_ILLUMINATE 275 K_ILLUMINANCE 276
%token K_AMBIENCE 277 K_LIGHT 278 K_SURFACE 279 K_VOLUME 280 K_DISPLACEMENT 281
%token K_TRANSFORMATION 282 K_IMAGER 283 K_BUMP 284 K_ENVIRONMENT 285 K_SHADOW 286
%token K_TEXTURE 287 K_IF 288 K_ELSE 289 K_WHILE 290 K_FOR 291 K_CONTINUE 292
%token K_BREAK 293 K_RETURN 294
%token ADD_ASSIGN 295 SUB_ASSIGN 296 MUL_ASSIGN 297 DIV_ASSIGN 298 OR_OP 299 AND_OP 300
%token EQ_OP 301 NE_OP 302 GE_OP 303 LE_OP 304 UMINUS 305 CAST 306

/* A file name written as an indexed variable keeps its index: the check makes
   it the channel. */
%expect 1

/* Lowest first. */
%precedence NO_ELSE
%precedence K_ELSE
%precedence NO_SPACE
%precedence STRINGLIT
%precedence '=' ADD_ASSIGN SUB_ASSIGN MUL_ASSIGN DIV_ASSIGN
%precedence '?' ':'
%left OR_OP
%left AND_OP
%precedence '!'
%precedence EQ_OP NE_OP GE_OP LE_OP '<' '>'
%left '+' '-'
%left '^'
%left '*' '/'
%left '.'
%precedence UMINUS CAST

%type <code> shader_kind relation texture_kind
%type <number> number_opt
%type <node> shader_definition function_definition formals_opt formals formal_group
%type <node> formal_group_opt formal_list formal declaration_statement declaration_tail
%type <node> local_list local init_opt statements block scoped_statement statement
%type <node> loop_head jump expression_opt index_opt variable expression cast space_opt
%type <node> condition_opt condition assignment call argument_list_opt argument_list
%type <node> texture_call texture_arguments_opt channel_opt expression_list
%type <code> array_opt

%%

file
    : definition
    | file definition
    ;

definition
    : shader_definition
    | function_definition
    ;

shader_definition
    : shader_kind IDENTIFIER '(' open_shader_scope formals_opt ')' '{' statements '}'
        {
            close_scope();
            if (root) {
                // The driver decides how the run ends: the parse stops here.
                std::fflush(stderr);
                std::fputs("murn: Only one shader may be defined per file\n", stderr);
                std::fflush(stderr);
                error_flag = 1;
                YYABORT;
            }
            root = make_node<ShaderDefNode>($1, $2, $5, $8);
            $$ = root;
        }
    ;

open_shader_scope
    : %empty
        {
            open_scope();
            shader_scope_id = variable_table().current_scope;
        }
    ;

function_definition
    : detail_and_type IDENTIFIER '(' open_function_scope formals_opt ')' '{' statements '}'
        {
            close_scope();
            int kind = current_function_kind();
            pop_shader_kind();
            FunctionDefNode *f = make_node<FunctionDefNode>($2, kind, $5, $8);
            f->type_check(0);
            f->fold();
            $$ = nullptr;
        }
    ;

open_function_scope
    : %empty
        {
            open_scope();
            push_shader_kind(decl_state.type);
        }
    ;

shader_kind
    : K_LIGHT           { $$ = TOK_LIGHT; }
    | K_SURFACE         { $$ = TOK_SURFACE; }
    | K_VOLUME          { $$ = TOK_VOLUME; }
    | K_DISPLACEMENT    { $$ = TOK_DISPLACEMENT; }
    | K_TRANSFORMATION  { $$ = TOK_TRANSFORMATION; }
    | K_IMAGER          { $$ = TOK_IMAGER; }
    ;

formals_opt
    : formals           { $$ = $1; }
    | %empty            { $$ = nullptr; }
    ;

formals
    : formal_group                      { $$ = $1; }
    | formals ';' formal_group_opt      { $$ = append_node($1, $3); }
    ;

formal_group_opt
    : formal_group      { $$ = $1; }
    | %empty            { $$ = nullptr; }
    ;

formal_group
    : output_opt detail_and_type formal_list    { $$ = $3; }
    ;

formal_list
    : formal                    { $$ = $1; }
    | formal_list ',' formal    { $$ = append_node($1, $3); }
    ;

formal
    : IDENTIFIER array_opt
        { $$ = make_node<DeclarationNode>(int(S_PARAMETER), $1, $2, (ParseNode *)nullptr); }
    | IDENTIFIER array_opt '=' expression
        { $$ = make_node<DeclarationNode>(int(S_PARAMETER), $1, $2, $4); }
    | IDENTIFIER array_opt '=' '{' expression_list '}'
        { $$ = make_node<DeclarationNode>(int(S_PARAMETER), $1, $2, $5); }
    ;

output_opt
    : K_OUTPUT          { decl_state.output = 1; }
    | %empty            { decl_state.output = 0; }
    ;

extern_opt
    : K_EXTERN          { decl_state.is_extern = 1; }
    | %empty            { decl_state.is_extern = 0; }
    ;

detail_and_type
    : detail_opt type
    ;

detail_opt
    : K_VARYING         { decl_state.detail = D_VARYING; }
    | K_UNIFORM         { decl_state.detail = D_UNIFORM; }
    | %empty            { decl_state.detail = D_NONE; }
    ;

type
    : K_FLOAT           { decl_state.type = T_FLOAT; }
    | K_STRING          { decl_state.type = T_STRING; }
    | K_COLOR           { decl_state.type = T_COLOR; }
    | K_POINT           { decl_state.type = T_POINT; }
    | K_VECTOR          { decl_state.type = T_VECTOR; }
    | K_NORMAL          { decl_state.type = T_NORMAL; }
    | K_MATRIX          { decl_state.type = T_MATRIX; }
    | K_VOID            { decl_state.type = T_VOID; }
    ;

array_opt
    : '[' number_opt ']'    { int n = $2 < 0 ? -1 : source_count($2); $$ = n < 0 ? -1 : n > 0 ? n : ZERO_LENGTH; }
    | %empty                { $$ = 0; }
    ;

number_opt
    : NUMBER            { $$ = $1; }
    | %empty            { $$ = -1; }
    ;

declaration_statement
    : extern_opt detail_and_type declaration_tail
        {
            decl_state.is_extern = 0;
            $$ = $3;
        }
    ;

declaration_tail
    : local_list ';'    { $$ = $1; }
    | IDENTIFIER '(' open_function_scope formals_opt ')' '{' statements '}'
        {
            close_scope();
            int kind = current_function_kind();
            pop_shader_kind();
            FunctionDefNode *f = make_node<FunctionDefNode>($1, kind, $4, $7);
            f->type_check(0);
            f->fold();
            $$ = nullptr;
        }
    ;

local_list
    : local                     { $$ = $1; }
    | local_list ',' local      { $$ = append_node($1, $3); }
    ;

local
    : IDENTIFIER array_opt init_opt
        { $$ = make_node<DeclarationNode>(int(S_LOCAL), $1, $2, $3); }
    ;

init_opt
    : '=' expression                    { $$ = $2; }
    | '=' '{' expression_list '}'       { $$ = $3; }
    | %empty                            { $$ = nullptr; }
    ;

statements
    : %empty                    { $$ = nullptr; }
    | statements statement      { $$ = append_node($1, $2); }
    ;

block
    : '{' open_block_scope statements '}'
        {
            close_scope();
            $$ = $3;
        }
    ;

open_block_scope
    : %empty            { open_scope(); }
    ;

scoped_statement
    : open_block_scope statement
        {
            close_scope();
            $$ = $2;
        }
    ;

statement
    : assignment ';'            { $$ = $1; }
    | call ';'                  { $$ = $1; }
    | K_RETURN expression ';'   { $$ = make_node<ReturnNode>($2, current_function_kind()); }
    | K_IF '(' condition ')' scoped_statement %prec NO_ELSE
        { $$ = make_node<IfNode>($3, $5, (ParseNode *)nullptr); }
    | K_IF '(' condition ')' scoped_statement K_ELSE statement
        { $$ = make_node<IfNode>($3, $5, $7); }
    | loop_head scoped_statement
        {
            static_cast<BodyStatementNode *>($1)->body = $2;
            $$ = $1;
        }
    | jump ';'                  { $$ = $1; }
    | block                     { $$ = $1; }
    | declaration_statement     { $$ = $1; }
    | ';'                       { $$ = nullptr; }
    ;

loop_head
    : K_WHILE '(' condition ')'
        { $$ = make_node<LoopNode>($3, (ParseNode *)nullptr, (ParseNode *)nullptr); }
    | K_FOR '(' expression_opt ';' condition_opt ';' expression_opt ')'
        { $$ = make_node<LoopNode>($5, $3, $7); }
    | K_SOLAR '(' ')'
        { $$ = make_node<LightStatementNode>(0, (ParseNode *)nullptr); }
    | K_SOLAR '(' expression_list ')'
        { $$ = make_node<LightStatementNode>(0, $3); }
    | K_ILLUMINATE '(' expression_list ')'
        { $$ = make_node<LightStatementNode>(1, $3); }
    | K_ILLUMINANCE '(' expression_list ')'
        { $$ = make_node<IlluminanceNode>($3); }
    | K_AMBIENCE '(' ')'
        { $$ = make_node<LightStatementNode>(2, (ParseNode *)nullptr); }
    ;

jump
    : K_BREAK number_opt
        { $$ = make_node<BreakNode>(int(TOK_BREAK), $2 < 0 ? 1 : source_count($2)); }
    | K_CONTINUE number_opt
        { $$ = make_node<BreakNode>(int(TOK_CONTINUE), $2 < 0 ? 1 : source_count($2)); }
    ;

expression_opt
    : expression        { $$ = $1; }
    | %empty            { $$ = nullptr; }
    ;

index_opt
    : '[' expression ']'    { $$ = $2; }
    | %empty                { $$ = nullptr; }
    ;

variable
    : IDENTIFIER index_opt      { $$ = make_node<VariableNode>($1, $2); }
    ;

expression
    : NUMBER                    { $$ = make_node<FloatConstNode>($1); }
    | variable                  { $$ = $1; }
    | STRINGLIT                 { $$ = make_node<StringConstNode>($1); }
    | expression '+' expression { $$ = make_node<BinaryOpNode>('+', $1, $3); }
    | expression '-' expression { $$ = make_node<BinaryOpNode>('-', $1, $3); }
    | expression '*' expression { $$ = make_node<BinaryOpNode>('*', $1, $3); }
    | expression '/' expression { $$ = make_node<BinaryOpNode>('/', $1, $3); }
    | expression '^' expression { $$ = make_node<BinaryOpNode>('^', $1, $3); }
    | expression '.' expression { $$ = make_node<BinaryOpNode>('.', $1, $3); }
    | '-' expression %prec UMINUS
        {
            if (FloatConstNode *c = as_float_const($2)) {
                c->value = -c->value;
                $$ = c;
            } else {
                $$ = make_node<NegateNode>($2);
            }
        }
    | '(' expression ')'        { $$ = $2; }
    | '(' expression ',' expression ',' expression ')'
        { $$ = make_node<TripleNode>($2, $4, $6); }
    | '(' expression ',' expression ',' expression ',' expression ','
          expression ',' expression ',' expression ',' expression ','
          expression ',' expression ',' expression ',' expression ','
          expression ',' expression ',' expression ',' expression ')'
        {
            ParseNode *list = nullptr;
            ParseNode *elements[] = {$2, $4, $6, $8, $10, $12, $14, $16,
                                     $18, $20, $22, $24, $26, $28, $30, $32};
            for (ParseNode *e : elements)
                list = append_node(list, e);
            $$ = make_node<MatrixNode>(list);
        }
    | call                      { $$ = $1; }
    | texture_call              { $$ = $1; }
    | assignment                { $$ = $1; }
    | condition '?' expression ':' expression
        { $$ = make_node<ConditionalNode>($1, $3, $5); }
    | cast expression %prec CAST
        {
            static_cast<CastNode *>($1)->operand = $2;
            note_node_depth($1, node_list_depth($2) + 1);
            $$ = $1;
        }
    ;

cast
    : K_FLOAT                   { $$ = make_node<CastNode>(int(T_FLOAT), (const char *)nullptr, false); }
    | K_POINT space_opt         { $$ = make_node<CastNode>(int(T_POINT), (const char *)$2, false); }
    | K_VECTOR space_opt        { $$ = make_node<CastNode>(int(T_VECTOR), (const char *)$2, false); }
    | K_NORMAL space_opt        { $$ = make_node<CastNode>(int(T_NORMAL), (const char *)$2, false); }
    | K_COLOR space_opt         { $$ = make_node<CastNode>(int(T_COLOR), (const char *)$2, false); }
    | K_STRING                  { $$ = make_node<CastNode>(int(T_STRING), (const char *)nullptr, false); }
    | K_MATRIX space_opt        { $$ = make_node<CastNode>(int(T_MATRIX), (const char *)$2, false); }
    | K_MATRIXINV space_opt     { $$ = make_node<CastNode>(int(T_MATRIX), (const char *)$2, true); }
    ;

space_opt
    : STRINGLIT                 { $$ = (ParseNode *)$1; }
    | %empty %prec NO_SPACE     { $$ = nullptr; }
    ;

condition_opt
    : condition         { $$ = $1; }
    | %empty            { $$ = nullptr; }
    ;

condition
    : '(' condition ')'                     { $$ = $2; }
    | expression relation expression %prec EQ_OP
        { $$ = make_node<RelationNode>($2, $1, $3); }
    | condition OR_OP condition             { $$ = make_node<LogicalNode>(int(TOK_OR), $1, $3); }
    | condition AND_OP condition            { $$ = make_node<LogicalNode>(int(TOK_AND), $1, $3); }
    | '!' condition                         { $$ = make_node<LogicalNode>('!', $2, (ParseNode *)nullptr); }
    ;

relation
    : GE_OP     { $$ = TOK_GE; }
    | LE_OP     { $$ = TOK_LE; }
    | EQ_OP     { $$ = TOK_EQ; }
    | NE_OP     { $$ = TOK_NE; }
    | '>'       { $$ = '>'; }
    | '<'       { $$ = '<'; }
    ;

assignment
    : variable '=' expression           { $$ = make_node<AssignNode>('=', (VariableNode *)$1, $3); }
    | variable ADD_ASSIGN expression    { $$ = make_node<AssignNode>(int(TOK_ADD_ASSIGN), (VariableNode *)$1, $3); }
    | variable SUB_ASSIGN expression    { $$ = make_node<AssignNode>(int(TOK_SUB_ASSIGN), (VariableNode *)$1, $3); }
    | variable MUL_ASSIGN expression    { $$ = make_node<AssignNode>(int(TOK_MUL_ASSIGN), (VariableNode *)$1, $3); }
    | variable DIV_ASSIGN expression    { $$ = make_node<AssignNode>(int(TOK_DIV_ASSIGN), (VariableNode *)$1, $3); }
    ;

call
    : IDENTIFIER '(' argument_list_opt ')'
        { $$ = make_node<CallNode>($1, $3); }
    | K_SURFACE '(' argument_list ')'
        { $$ = make_node<CallNode>(intern_string("surface"), $3); }
    | K_DISPLACEMENT '(' argument_list ')'
        { $$ = make_node<CallNode>(intern_string("displacement"), $3); }
    ;

argument_list_opt
    : argument_list     { $$ = $1; }
    | %empty            { $$ = nullptr; }
    ;

argument_list
    : expression                        { $$ = $1; }
    | argument_list ',' expression      { $$ = append_node($1, $3); }
    ;

texture_call
    : texture_kind '(' expression channel_opt texture_arguments_opt ')'
        { $$ = make_node<TextureCallNode>($1, $3, $4, $5); }
    ;

texture_arguments_opt
    : ',' argument_list     { $$ = $2; }
    | %empty                { $$ = nullptr; }
    ;

texture_kind
    : K_TEXTURE         { $$ = 0; }
    | K_ENVIRONMENT     { $$ = 2; }
    | K_BUMP            { $$ = 4; }
    | K_SHADOW          { $$ = 5; }
    ;

channel_opt
    : '[' expression ']'    { $$ = $2; }
    | %empty                { $$ = nullptr; }
    ;

expression_list
    : expression                        { $$ = $1; }
    | expression_list ',' expression    { $$ = append_node($1, $3); }
    ;

%%

void yyerror(const char *message)
{
    // The generator's own words for the two ways a parse fails.
    const char *text = "parse error";
    if (message && std::string(message).find("exhausted") != std::string::npos)
        text = "parser stack overflow";
    std::fflush(stderr);
    std::fprintf(stderr, "murn Error: \"%s\", line %d: %s\n", current_file ? current_file : "",
                 current_line, text);
    std::fflush(stderr);
    error_flag = 1;
}
