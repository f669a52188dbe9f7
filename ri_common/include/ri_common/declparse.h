// The words of declarations: parsing a declaration text ("[class] type [n]"),
// finding the declaration words in front of an inline-declared token, and the
// names and sizes of the value types. Pure functions, shared by the
// declaration dictionary and the RIB writer.
#pragma once
#include <cstddef>

#include "ri_common/ri.h"

// Value types (the shader parameter type numbers).
enum DECLARATION_TYPE {
    DECL_UNKNOWN = 0, DECL_FLOAT = 1, DECL_POINT = 2, DECL_COLOR = 3, DECL_STRING = 4,
    DECL_INTEGER = 5, DECL_VECTOR = 6, DECL_NORMAL = 7, DECL_HPOINT = 8, DECL_MATRIX = 9
};

// Storage classes.
enum DETAIL_TYPE {
    DETAIL_UNKNOWN = 0, DETAIL_CONSTANT = 1, DETAIL_UNIFORM = 2, DETAIL_VARYING = 3, DETAIL_VERTEX = 4
};

// Bytes of one value of a type in memory (a string is one pointer).
int decl_type_size(int type);
// Numbers (floats, integers or strings) in one value of a type: point 3, matrix 16 ...
int decl_type_words(int type);
// "float", "point", ... ; "" for any other value.
const char *decl_type_name(int type);
// "constant", "uniform", "varying", "vertex"; "" for any other value.
const char *decl_detail_name(int detail);
// Writes "detail type" with "[n]" when the length is above 1 into buf.
void format_declaration(char *buf, size_t size, int detail, int type, int length);

// Characters at the start of token that form inline declaration words, 0 when none.
int inline_declaration_length(const char *token);

// What a declaration text says.
struct ParsedDeclaration {
    int detail = DETAIL_UNIFORM;   // uniform when no class word is given
    int type = DECL_UNKNOWN;       // unknown when the type word is not known
    long length = 1;               // 1 when no bracketed length is given
    bool class_given = false;
};

// Parses "[class] type [n]"; the words are compared as prefixes.
ParsedDeclaration parse_declaration_text(const char *text);

// s after its leading blanks, tabs and line ends.
const char *skip_declaration_blanks(const char *s);

// A parameter token as a request reads it: the name it stands for (for an
// inline declaration such as "string resize", the name after its words) and
// the type those words give (DECL_UNKNOWN for a plain token).
struct ParameterName {
    const char *name = nullptr;
    int type = DECL_UNKNOWN;
};
ParameterName parameter_name(const char *token);
