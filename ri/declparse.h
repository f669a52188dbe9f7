// The words of declarations: parsing a declaration text ("[class] type [n]"),
// finding the declaration words in front of an inline-declared token, and the
// names and sizes of the value types. Pure functions, shared by the
// declaration dictionary and the RIB writer.
#pragma once
#include "ri/declarations.h"

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
