#include "compiler/murntypes.h"

#include <cstring>

#include "shading_shaderfile/shaderfile_words.h"

namespace murn {

static_assert(int(T_FLOAT) == PtFLOAT && int(T_POINT) == PtPOINT && int(T_COLOR) == PtCOLOR &&
                  int(T_STRING) == PtSTRING && int(T_VECTOR) == PtVECTOR && int(T_NORMAL) == PtNORMAL &&
                  int(T_MATRIX) == PtMATRIX,
              "the compiler's type codes are the compiled-shader ones");

bool is_pointlike(int type)
{
    return type == T_POINT || type == T_VECTOR || type == T_NORMAL;
}

bool is_triple(int type)
{
    return is_pointlike(type) || type == T_COLOR;
}

bool types_compatible(int a, int b)
{
    return a == b || (is_pointlike(a) && is_pointlike(b));
}

char type_letter(int type)
{
    switch (type) {
    case T_FLOAT: return 'f';
    case T_POINT: return 'p';
    case T_COLOR: return 'c';
    case T_STRING: return 's';
    case T_VECTOR: return 'v';
    case T_NORMAL: return 'n';
    case T_MATRIX: return 'm';
    default: return 'x';
    }
}

char opcode_type_letter(int type)
{
    return is_pointlike(type) ? 'v' : type_letter(type);
}

const char *type_name(int type)
{
    if (type == T_VOID)
        return "void";
    const char *word = shaderfile::word_of_type(type);
    return word ? word : "";
}

const char *type_zero_default(int type)
{
    if (is_triple(type))
        return "0 0 0";
    if (type == T_STRING)
        return "\"\"";
    if (type == T_MATRIX)
        return "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
    return "0";
}

int type_from_name(const char *word)
{
    static const int types[] = {T_FLOAT, T_POINT, T_COLOR, T_STRING, T_VECTOR,
                                T_NORMAL, T_MATRIX, T_VOID};
    if (word)
        for (int t : types)
            if (std::strcmp(word, type_name(t)) == 0)
                return t;
    return T_UNKNOWN;
}

int type_words(int type)
{
    return type == T_MATRIX ? 16 : is_triple(type) ? 3 : 1;
}

} // namespace murn
