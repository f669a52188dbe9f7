// The words of compiled shaders: the lines of compiled-shader text files and
// the exports of native shader libraries. The compiler writes them; the
// renderer's loaders and the inspector read them.
#pragma once
#include <cstring>

#include "ri_common/shader_types.h"

namespace shaderfile {

// Header: "version VELK 2.5.0g", then "encrypted" when the rest is enciphered.
inline constexpr char VERSION_WORD[] = "version";
inline constexpr char VERSION_TAG[] = "VELK";
inline constexpr char ENCRYPTED_WORD[] = "encrypted";

// Shader kinds by SHADER_TYPES code (SH_SURFACE .. SH_IMAGER).
inline constexpr const char *KIND_WORDS[] = {"surface", "light", "volume", "displacement",
                                             "transformation", "imager"};
inline constexpr int KIND_COUNT = 6;

// Value types of declarations with their SHADER_PARAMTYPES codes.
struct TypeWord {
    const char *word;
    int type;
};
inline constexpr TypeWord TYPE_WORDS[] = {{"float", PtFLOAT},   {"point", PtPOINT},
                                          {"color", PtCOLOR},   {"string", PtSTRING},
                                          {"vector", PtVECTOR}, {"normal", PtNORMAL},
                                          {"matrix", PtMATRIX}};

// Declaration lines: storage, then an optional detail, the type, the name.
inline constexpr char PARAM_WORD[] = "param";
inline constexpr char OUTPUT_PARAM_WORD[] = "oparam";
inline constexpr char LOCAL_WORD[] = "local";
inline constexpr char CONST_WORD[] = "const";   // read as a section start, never written
inline constexpr char VARYING_WORD[] = "varying";
inline constexpr char UNIFORM_WORD[] = "uniform";

// Code: "initcode N" (parameter N's default), then "code"; "label N" marks a jump target.
inline constexpr char INITCODE_WORD[] = "initcode";
inline constexpr char CODE_WORD[] = "code";
inline constexpr char LABEL_WORD[] = "label";
// The instruction that ends every code stream the compiler writes; the main
// code comes last, so a file cut short anywhere ends without it.
inline constexpr char RETURN_WORD[] = "return";
// What a file that does not end in its code's return is told.
inline constexpr char CUT_SHORT_MESSAGE[] = "the file is cut short: its code does not end in a return";

// Words that begin a section of a text file (declarations or code).
inline constexpr const char *SECTION_WORDS[] = {PARAM_WORD, OUTPUT_PARAM_WORD, CONST_WORD,
                                                LOCAL_WORD, CODE_WORD,         INITCODE_WORD};

// Exports of native shader libraries (shading/native_shader.h describes them).
inline constexpr char EXPORT_VERSION[] = "version";
inline constexpr char EXPORT_SHADERVARS_SIZE[] = "svsize";
inline constexpr char EXPORT_PARAM_INFO_SIZE[] = "paraminfosize";
inline constexpr char EXPORT_KIND[] = "shadertype";
inline constexpr char EXPORT_NAME[] = "shadername";
inline constexpr char EXPORT_PARAM_INFO[] = "param_info";
inline constexpr char EXPORT_PARAM_SIZE[] = "paramsize";
inline constexpr char EXPORT_INIT[] = "initparams";
inline constexpr char EXPORT_VARS_USED[] = "varsused";

// The SHADER_TYPES code of a kind word, or -1.
inline int kind_of_word(const char *word)
{
    for (int kind = 0; word && kind < KIND_COUNT; ++kind)
        if (std::strcmp(word, KIND_WORDS[kind]) == 0) return kind;
    return -1;
}

// The SHADER_PARAMTYPES code of a type word, or PtUNKNOWN.
inline int type_of_word(const char *word)
{
    for (const TypeWord &t : TYPE_WORDS)
        if (word && std::strcmp(word, t.word) == 0) return t.type;
    return PtUNKNOWN;
}

// The word of a SHADER_PARAMTYPES code, or null for a type no declaration has.
inline const char *word_of_type(int type)
{
    for (const TypeWord &t : TYPE_WORDS)
        if (t.type == type) return t.word;
    return nullptr;
}

// True for a word that begins a section.
inline bool is_section_word(const char *word)
{
    for (const char *w : SECTION_WORDS)
        if (word && std::strcmp(word, w) == 0) return true;
    return false;
}

} // namespace shaderfile
