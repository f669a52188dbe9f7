// Value types of the shading language as the compiler sees them, with the
// letters and words that name them in compiled shaders.
#pragma once

namespace murn {

// Type codes, shared with compiled-shader files and the renderer.
enum TypeCode {
    T_UNKNOWN = 0, T_FLOAT = 1, T_POINT = 2, T_COLOR = 3, T_STRING = 4,
    T_VECTOR = 6, T_NORMAL = 7, T_MATRIX = 9, T_VOID = 10
};

// Point, vector or normal.
bool is_pointlike(int type);
// Point-like or color.
bool is_triple(int type);
// Equal, or both point-like.
bool types_compatible(int a, int b);

// f, p, c, s, v, n, m, x for float, point, color, string, vector, normal, matrix, void.
char type_letter(int type);
// As type_letter with point, vector and normal all 'v': the letter in op names.
char opcode_type_letter(int type);
// The type word of declarations ("float", "point", ...); "" for unknown types.
const char *type_name(int type);
// The zero default of a declaration: "0", "0 0 0", "\"\"" or sixteen "0".
const char *type_zero_default(int type);
// The type of a type word, or T_UNKNOWN.
int type_from_name(const char *word);
// 32-bit words of one value in a compiled shader: 16 for a matrix, 3 for a
// triple, else 1.
int type_words(int type);

} // namespace murn
