// The interface of one compiled shader, found by name on the shader search
// path and read from a compiled text shader or a native shader library: its
// kind, its name and its parameters with their defaults. One shader is open
// at a time, in process-wide state.
#pragma once
#include <string>
#include <vector>

// Type and kind codes (murnargs_type_name gives their words).
enum MurnargsType {
    MA_UNKNOWN = 0, MA_POINT = 1, MA_COLOR = 2, MA_FLOAT = 3, MA_STRING = 4,
    MA_SURFACE = 5, MA_LIGHT = 6, MA_DISPLACEMENT = 7, MA_VOLUME = 8,
    MA_TRANSFORMATION = 9, MA_IMAGER = 10, MA_VECTOR = 11, MA_NORMAL = 12, MA_MATRIX = 13
};

// Storage codes (murnargs_storage_name).
enum MurnargsStorage {
    MA_STORAGE_UNKNOWN = 0, MA_CONSTANT = 1, MA_VARIABLE = 2, MA_TEMPORARY = 3,
    MA_PARAMETER = 4, MA_OUTPUTPARAMETER = 5, MA_GSTATE = 6
};

// Detail codes (murnargs_detail_name).
enum MurnargsDetail { MA_DETAIL_UNKNOWN = 0, MA_VARYING = 1, MA_UNIFORM = 2 };

// Flag bits of a parameter.
enum { MA_HAS_DEFAULT = 1 };

struct MurnargsParam {
    std::string name;
    int type = MA_UNKNOWN;
    int storage = MA_STORAGE_UNKNOWN;
    int detail = MA_DETAIL_UNKNOWN;
    bool has_space = false;
    std::string space;                  // the space written after the default
    bool defaulted = false;             // a default value was read
    float values[16] = {};              // float: [0]; point-like: [0..2]; matrix: all
    std::string text;                   // a string default
    int flags = 0;                      // MA_HAS_DEFAULT
    int array_length = 0;               // 0 when not an array
    std::vector<float> array_values;    // every element of a numeric array default
    // Whether the default is known: a default the initialisation code
    // computes may depend on the shading point (a global, random()), and
    // one whose code could not be run is not known.
    enum Known { KNOWN, PER_POINT, NOT_KNOWN };
    Known known = KNOWN;

    // The default: the values for numbers, the text for a string; null when
    // none was read.
    const void *default_value() const
    {
        if (!defaulted) return nullptr;
        return type == MA_STRING ? static_cast<const void *>(text.c_str()) : static_cast<const void *>(values);
    }
};

// Replaces the search path; a path beginning with '&' is appended (without
// the '&' and without a separator) to the previous one.
void murnargs_set_path(const char *path);
// The search path ("" when none was set).
const char *murnargs_get_path();

// Finds the shader along the search path, then along $VELKSHADERS (else
// $SHADERS), native library first at each place, and reads its interface.
// 0 when found and read, -1 otherwise (problems are reported on standard
// error). A shader open before is released first.
int murnargs_open(const char *name);

// After a failed murnargs_open: what is wrong with the file found, or ""
// when no file was found.
const char *murnargs_error();

const char *murnargs_shader_name();
// MA_SURFACE to MA_IMAGER.
int murnargs_shader_type();
int murnargs_param_count();
// The first parameter of that name, or null.
const MurnargsParam *murnargs_param_by_name(const char *name);
// The parameter with 1-based index i, or null when i is not in 1..count.
const MurnargsParam *murnargs_param_by_index(int i);
// Forgets the shader and its parameters and unloads a native library.
void murnargs_release();

// The words of the codes; null for a code outside its table.
const char *murnargs_type_name(int code);
const char *murnargs_storage_name(int code);
const char *murnargs_detail_name(int code);
