// The two readers behind murnargs_open: compiled text shaders and native
// shader libraries.
#pragma once
#include <string>
#include <vector>

#include "tools/murnargs.h"

namespace velk { struct DynLib; }

struct MurnargsShader {
    std::string name;
    int kind = MA_UNKNOWN;
    std::vector<MurnargsParam> params;
};

// Records what is wrong with the shader file being read (murnargs_error).
void murnargs_set_error(const std::string &what);

// The kind code of a kind word ("surface" ... "imager"), MA_UNKNOWN for another.
int murnargs_kind_of_word(const std::string &word);
// The type code of a SHADER_PARAMTYPES value, MA_UNKNOWN for one no parameter has.
int murnargs_type_code(int param_type);

// Reads a compiled text shader (deciphering an enciphered one). False when
// it cannot be opened or is refused (a newer version is reported).
bool murnargs_read_text(const char *path, MurnargsShader &shader);

// Replaces the placeholders of parameters whose defaults the shader's
// initialisation code computes with the values it computes, section by
// section where a section does constant work only (else the file's values
// stay).
void murnargs_evaluate_init(const char *path, MurnargsShader &shader);

// Reads the exports of a loaded native shader library. False when refused
// (a wrong parameter-record size is reported).
bool murnargs_read_dso(const char *path, velk::DynLib *lib, MurnargsShader &shader);
