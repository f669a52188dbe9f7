// The writer's token table and declarations: every parameter-list token is
// written with as many values as its declaration gives.
#pragma once
#include "ri_common/ri.h"

namespace ribout {

// A declared token: storage class (DETAIL_TYPE), value type
// (DECLARATION_TYPE) and array length.
struct Decl {
    int detail;
    int type;
    int length;
};

// The one stored copy of a name (null for null).
RtToken intern(const char *name);

// Parses "[class] type [n]" into decl; false, after a message on standard
// error, for an unknown type word or a length outside 1..65535.
bool ribout_parse_declaration(const char *name, const char *text, Decl &decl);

// Enters (or replaces) the declaration of name; false when it does not parse
// (an earlier declaration of the name is then forgotten).
bool declare(const char *name, const char *text);

// The declaration of a token, declaring an inline one ("uniform float Km") on
// first use; null when undeclared.
const Decl *find_decl(const char *token);

} // namespace ribout
