#include "ri_common/searchpath.h"

#include "platform/arch.h"
#include "platform/dynlib.h"
#include "platform/files.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

bool is_separator(char c)
{
    return c == ':' || c == ';';
}

bool starts_with_drive(const char *s)
{
    return std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
}

// The name as given, written the way a search reports it.
std::string as_given(const char *name)
{
    return is_explicit_path(name) ? std::string(name) : std::string("./") + name;
}

} // namespace

const char *next_path_element(const char *rest, std::string &element)
{
    element.clear();
    if (!rest || !*rest) return nullptr;
    if (is_separator(*rest)) ++rest;
    if (starts_with_drive(rest)) {
        element.append(rest, 2);
        rest += 2;
    }
    while (*rest && !is_separator(*rest)) element += *rest++;
    if (*rest) ++rest;   // the separator ending the element
    if (element.empty()) element = ".";
    char last = element.back();
    if (last != '/' && last != '\\') element += '/';
    return rest;
}

bool is_explicit_path(const char *name)
{
    if (!name) return false;
    return name[0] == '.' || name[0] == '/' || name[0] == '\\' || starts_with_drive(name);
}

int find_in_path(const char *name, const char *path, std::string &out)
{
    out.clear();
    if (!name || !*name) return 0;
    if (velk::file_exists(name)) {
        out = as_given(name);
        return 1;
    }
    std::string element;
    for (const char *rest = next_path_element(path, element); rest;
         rest = next_path_element(rest, element)) {
        std::string candidate = element + name;
        if (velk::file_exists(candidate.c_str())) {
            out = candidate;
            return 1;
        }
    }
    return 0;
}

int find_either_in_path(const char *first, const char *second, const char *path,
                        std::string &out)
{
    out.clear();
    const char *names[2] = {first, second};
    for (int i = 0; i < 2; ++i)
        if (names[i] && *names[i] && velk::file_exists(names[i])) {
            out = as_given(names[i]);
            return i + 1;
        }
    std::string element;
    for (const char *rest = next_path_element(path, element); rest;
         rest = next_path_element(rest, element)) {
        for (int i = 0; i < 2; ++i) {
            if (!names[i] || !*names[i]) continue;
            std::string candidate = element + names[i];
            if (velk::file_exists(candidate.c_str())) {
                out = candidate;
                return i + 1;
            }
        }
    }
    return 0;
}

int find_dso(const char *name, const char *path, velk::DynLib **lib, std::string *found)
{
    if (lib) *lib = nullptr;
    std::string full;
    if (!find_in_path(name, path ? path : ".", full)) return DSO_NOT_FOUND;
    velk::DynLib *h = velk::dynlib_open(full.c_str());
    if (!h) {
        std::fprintf(stderr, "find_dso error: %s\n", velk::dynlib_last_error());
        return DSO_LOAD_FAILED;
    }
    // No picture of this frame replaces a library it runs.
    velk::remember_input(full.c_str());
    if (found) *found = full;
    if (lib)
        *lib = h;
    return DSO_LOADED;
}

std::string expand_arch_words(const char *path)
{
    std::string out;
    if (!path) return out;
    for (const char *p = path; *p;) {
        if ((*p == '$' || *p == '%') && std::strncmp(p + 1, "ARCH", 4) == 0) {
            out += velk::ARCH_CODE;
            p += 5;
        } else {
            out += *p++;
        }
    }
    return out;
}

std::string substitute_old_path(const char *value, const char *old_path)
{
    std::string out;
    if (!value) return out;
    for (const char *p = value; *p; ++p) {
        if (*p == '&') {
            if (old_path) out += old_path;
        } else {
            out += *p;
        }
    }
    return out;
}

const char *standard_shader_path()
{
    static const std::string path = [] {
        std::string exe = velk::executable_dir();
        std::string p;
        if (!exe.empty()) p = exe + "/../share/velk/shaders:" + exe + "/../shaders";
#ifdef VELK_STANDARD_SHADER_DIR
        p += std::string(p.empty() ? "" : ":") + VELK_STANDARD_SHADER_DIR;
#endif
        return p;
    }();
    return path.c_str();
}
