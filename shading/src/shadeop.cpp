// Shadeop bindings and the dsoop operation.
#include "shading/shadeop.h"

#include <cstring>
#include <string>

#include "platform/dynlib.h"
#include "platform/files.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri_common/searchpath.h"
#include "ri/tokens.h"
#include "shading/interp.h"
#include "shading/opmodules.h"
#include "shading/stringids.h"

namespace {

const unsigned SHADEOP_BUCKETS = 193;

// The cache lives until the program ends; its entries clean up then.
SymbolTable &bindings()
{
    static SymbolTable table(SHADEOP_BUCKETS);
    return table;
}

bool given(const char *s)
{
    return s && *s;
}

void report_missing(const char *function, const char *reason)
{
    ri_error(RIE_SYSTEM, RIE_ERROR, "Could not find a valid DSO implementation of \"%s\"\n    --> %s\n",
             function ? function : "", reason);
}

} // namespace

ShadeopBinding::ShadeopBinding(const char *decl)
    : SymbolEntry(NewToken(decl)), declaration(name), function(nullptr)
{
}

ShadeopBinding::~ShadeopBinding()
{
    if (cleanup) cleanup(init_data);
}

ShadeopBinding *find_shadeop(const char *function, const char *dll_name, const char *method,
                             const char *declaration)
{
    const char *key = declaration ? declaration : "";
    if (SymbolEntry *e = bindings().lookup(key)) {
        ShadeopBinding *b = static_cast<ShadeopBinding *>(e);
        // Loaded in an earlier frame, the library is an input of this one too.
        unsigned now = velk::inputs_generation();
        if (!b->file.empty() && b->remembered.exchange(now) != now) velk::remember_input(b->file.c_str());
        return b;
    }
    ShadeopBinding *b = new ShadeopBinding(key);
    b->function = NewToken(function ? function : "");
    bindings().insert(b);

    const char *path = current_renderer ? current_renderer->options.shader_path : nullptr;
    velk::DynLib *lib = nullptr;
    const ShadeopRow *table = nullptr;
    if (given(dll_name) && find_dso(dll_name, path, &lib, &b->file) == DSO_LOADED) {
        b->remembered = velk::inputs_generation();
        std::string table_name = std::string(b->function) + "_shadeops";
        table = static_cast<const ShadeopRow *>(velk::dynlib_symbol(lib, table_name.c_str()));
    }
    if (!table) {
        report_missing(function, "DSO file not found in shader path");
        return b;
    }
    b->dll = lib;
    const ShadeopRow *row = table;
    while (given(row->declaration) && std::strcmp(row->declaration, key) != 0) ++row;
    if (!given(row->declaration)) {
        report_missing(function, "No matching function declaration found in DSO");
        return b;
    }
    if (given(row->init)) b->init = velk::dynlib_function<ShadeopInit>(lib, row->init);
    if (given(row->cleanup)) b->cleanup = velk::dynlib_function<ShadeopCleanup>(lib, row->cleanup);
    if (given(method)) b->method = velk::dynlib_function<ShadeopMethod>(lib, method);
    if (b->init) b->init_data = b->init();
    return b;
}

namespace {

// Words of a value of a type letter; strings and 'x' take none here.
int letter_words(char c)
{
    switch (c) {
    case 'f': return 1;
    case 'c': case 'p': case 'v': case 'n': return 3;
    case 'm': return 16;
    default: return 0;
    }
}

// Most arguments a dsoop instruction carries (the loader's limit).
const int MAX_ARGS = 64;

// dsoop: the count word and the argument operands follow the op; the names
// and the type letters (result first) are on the string stack. Letters beyond
// the instruction's operands get spare storage, never a foreign address.
void op_dsoop(ExecFrame *f, ShaderVars *)
{
    int operands = static_cast<int>(next_word(f));
    char *args[MAX_ARGS];
    int nargs = 0;
    for (int i = 0; i < operands; ++i) {
        char *a = next_operand(f);
        if (nargs < MAX_ARGS) args[nargs++] = a;
    }
    const char *function = slstack.pop_string();
    const char *dll = slstack.pop_string();
    const char *method = slstack.pop_string();
    const char *declaration = slstack.pop_string();
    const char *codes = slstack.pop_string();
    if (slstack.failed()) return;
    int ncodes = static_cast<int>(std::strlen(codes));
    if (ncodes == 0) return;
    if (ncodes > MAX_ARGS + 1) ncodes = MAX_ARGS + 1;

    float result[16] = {}, spare[16] = {};
    const char *strings[MAX_ARGS + 1];
    void *argv[MAX_ARGS + 1];
    strings[0] = "dummy";
    argv[0] = codes[0] == 's' ? static_cast<void *>(&strings[0]) : static_cast<void *>(result);
    for (int i = 1; i < ncodes; ++i) {
        bool present = i - 1 < nargs;
        char *operand = present ? args[i - 1] : reinterpret_cast<char *>(spare);
        if (codes[i] == 's') {
            uint32_t id = 0;
            if (present) std::memcpy(&id, operand, 4);
            const char *text = string_from_id(id);
            strings[i] = text ? text : "";
            argv[i] = &strings[i];
        } else {
            argv[i] = operand;
        }
    }
    ShadeopBinding *b = find_shadeop(function, dll, method, declaration);
    if (b->method) b->method(b->init_data, ncodes, argv);

    if (codes[0] == 's') {
        slstack.push_string(NewToken(strings[0] ? strings[0] : ""));
    } else if (int words = letter_words(codes[0])) {
        std::memcpy(slstack.push_space(words), result, 4 * static_cast<size_t>(words));
    }
}

constexpr OpBinding ROWS[] = {
    {"dsoop", op_dsoop},
};

} // namespace

constexpr OpBindings SHADEOP_OPS = op_bindings(shading::OpModule::Shadeop, ROWS);
