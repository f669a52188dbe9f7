#include "compiler/shadeops.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "intern.h"
#include "compiler/murntypes.h"
#include "symbols.h"
#include "platform/dynlib.h"
#include "ri_common/searchpath.h"

namespace murn {

std::string shadeop_path = ".";

namespace {

std::vector<velk::DynLib *> &libraries()
{
    static std::vector<velk::DynLib *> libs;
    return libs;
}

bool has_suffix(const std::string &name, const char *suffix)
{
    size_t n = std::strlen(suffix);
    return name.size() >= n && name.compare(name.size() - n, n, suffix) == 0;
}

// The library files of one directory, in name order.
std::vector<std::string> library_files(const std::string &directory)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() > 3 && (has_suffix(name, ".dll") || has_suffix(name, ".so")))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

const char *skip_blanks(const char *p)
{
    while (*p && std::isspace(static_cast<unsigned char>(*p)))
        p++;
    return p;
}

// A word of letters, digits and '_' at p; p moves past it.
std::string read_word(const char *&p)
{
    p = skip_blanks(p);
    const char *start = p;
    while (*p && (std::isalnum(static_cast<unsigned char>(*p)) || *p == '_'))
        p++;
    return std::string(start, size_t(p - start));
}

int type_of_word(const std::string &word)
{
    int t = type_from_name(word.c_str());
    if (t == T_UNKNOWN) {
        std::fflush(stderr);
        std::fprintf(stderr, "Bug? type name %s is unknown\n", word.c_str());
        std::fflush(stderr);
    }
    return t;
}

} // namespace

bool parse_shadeop_declaration(const char *text, ShadeopDeclaration &out)
{
    out = ShadeopDeclaration();
    const char *p = text;
    std::string word = read_word(p);
    if (word.empty())
        return false;
    out.return_type = type_of_word(word);
    out.method = read_word(p);
    p = skip_blanks(p);
    if (out.method.empty() || *p != '(')
        return false;
    p = skip_blanks(p + 1);
    if (*p == ')')
        return true;
    for (;;) {
        word = read_word(p);
        if (word.empty())
            return false;
        out.arg_types.push_back(type_of_word(word));
        p = skip_blanks(p);
        if (*p == ')')
            return true;
        if (*p != ',')
            return false;
        p++;
    }
}

FunctionSymbol *find_shadeop_function(const char *name)
{
    std::string table_name = std::string(name) + "_shadeops";
    std::string element;
    for (const char *rest = next_path_element(shadeop_path.c_str(), element); rest;
         rest = next_path_element(rest, element)) {
        for (const std::string &file : library_files(element)) {
            std::string path = element + file;
            velk::DynLib *lib = velk::dynlib_open(path.c_str());
            if (!lib)
                continue;
            auto *table = static_cast<const ShadeopRow *>(velk::dynlib_symbol(lib, table_name.c_str()));
            if (!table) {
                velk::dynlib_close(lib);
                continue;
            }
            libraries().push_back(lib);
            auto *f = new ShadeopFunctionSymbol(name, intern_string(file.c_str()), table);
            function_table().insert(f, true);
            return f;
        }
    }
    return nullptr;
}

void reset_shadeops()
{
    for (velk::DynLib *lib : libraries())
        velk::dynlib_close(lib);
    libraries().clear();
    shadeop_path = ".";
}

} // namespace murn
