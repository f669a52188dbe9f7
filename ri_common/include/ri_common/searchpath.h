// Search paths (directories separated by ':' or ';') and the lookup of files
// and libraries on them.
#pragma once
#include <string>

namespace velk { struct DynLib; }

// Reads the next element of a search path into element, with a '/' appended
// unless it ends in '/' or '\'. A leading separator is skipped; a letter and
// ':' at the start belong to the element (a drive). An empty element reads as
// "./". Returns the rest of the path after the element, or null when rest is
// null or empty (the walk is over).
const char *next_path_element(const char *rest, std::string &element);

// True when name begins with '.', '/', '\' or a letter and ':'.
bool is_explicit_path(const char *name);

// Finds name as given (then out is the name, with "./" in front unless it is
// explicit), else in each element of path in order (out = element + name).
// 1 when found, 0 when not.
int find_in_path(const char *name, const char *path, std::string &out);

// As find_in_path for two names: the first as given (1), the second as given
// (2), then per element the first (1) before the second (2). 0 when neither
// exists anywhere.
int find_either_in_path(const char *first, const char *second, const char *path,
                        std::string &out);

// find_dso results.
enum { DSO_LOADED = 0, DSO_LOAD_FAILED = -3, DSO_NOT_FOUND = -5 };

// Finds a library on path (null means ".") and loads it. lib is cleared
// first and set on success (0). Not found: -5. Found but not loadable: -3,
// after "find_dso error: <reason>" on standard error. found, when given,
// receives the file loaded.
int find_dso(const char *name, const char *path, velk::DynLib **lib, std::string *found = nullptr);

// The path with every "ARCH" that follows '$' or '%' replaced, sign
// included, by the architecture code.
std::string expand_arch_words(const char *path);

// A new search path value with every '&' replaced by the old path.
std::string substitute_old_path(const char *value, const char *old_path);

// Where the compiled standard shaders are searched, after the user's paths:
// beside the running program (the installed layout, then the build layout,
// so a moved build folder still works), then the build folder it was made in.
const char *standard_shader_path();
