// The shader prototype registry: every shader loaded once (a compiled-shader
// file, a native shader library or a built-in light) is kept as one Shader,
// newest first, and found again by name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ri/counters.h"
#include "ri/refcount.h"
#include "ri_common/shader_types.h"

namespace velk { struct DynLib; }

// A shader's run (or initialisation) routine: runs on a shading point with a
// parameter block. The registry keeps it without knowing the shading point's
// type; the shading module stores and calls it with its own, the one type
// such a routine is ever made with.
class ShaderEntry {
public:
    ShaderEntry() = default;
    ShaderEntry(std::nullptr_t) {}
    template <class Vars>
    ShaderEntry(int (*routine)(Vars *, char *)) : routine_(reinterpret_cast<void (*)()>(routine))
    {
    }
    template <class Vars>
    int operator()(Vars *vars, char *params) const
    {
        return reinterpret_cast<int (*)(Vars *, char *)>(routine_)(vars, params);
    }
    explicit operator bool() const { return routine_ != nullptr; }
    bool operator==(const ShaderEntry &o) const { return routine_ == o.routine_; }
    bool operator!=(const ShaderEntry &o) const { return routine_ != o.routine_; }

private:
    void (*routine_)() = nullptr;
};

// Bytes of one element of a parameter type in a parameter block (a string is
// a 32-bit id); 0 for unknown or void.
int shader_type_size(int type);

class Shader {
public:
    // Checks the parameter rows (sizes and offsets; a broken table ends the
    // run and keeps the rows before the broken one) and sums the block size;
    // params ends with a null name.
    Shader(const char *name, ShaderEntry run, ShaderEntry init, PARAM_INFO *params,
           const void *defaults, int kind);
    ~Shader();
    Shader(const Shader &) = delete;
    Shader &operator=(const Shader &) = delete;

    // For the row named by the interned name: its type and byte offset, 1.
    // No row: 0, offset = the block size.
    int find_param(const char *interned_name, int *offset, int *type) const;
    // Rows before the terminating one.
    int param_count() const;

    Shader *next = nullptr;
    const char *name;
    int flags = 0;                  // global-variable use (vars_used bits)
    int kind;                       // SHADER_TYPES
    PARAM_INFO *params;             // ended by a null name
    int param_size = 0;             // bytes
    std::vector<uint32_t> defaults; // the default block
    ShaderEntry run;
    ShaderEntry init;
    // Compiled code (text shaders): words of 32 bits; sizes in bytes are 4 x count.
    int local_size = 0;             // bytes
    std::vector<uint32_t> local_init;
    std::vector<uint32_t> code;
    std::vector<uint32_t> init_code;
    int deriv_size = 0;
    int64_t memory = 0;             // prototype bytes counted
    int64_t prof_seconds = 0;       // profile time: seconds and millionths
    int64_t prof_micros = 0;
    velk::DynLib *dll = nullptr;    // native shader library, or null
    std::string file;               // the file it was read from (empty when built in)
    int has_output_params = 0;
    // A run of its code failed on the interpreter's stack (reported then):
    // it is not run again.
    bool stack_failed = false;
    // Whether its code may write its parameter block: -1 not looked at yet.
    signed char writes_params = -1;
    std::vector<PARAM_INFO> own_params;   // the rows when they are not a library's
    // Array parameters and locals of a text shader: segment-tagged address
    // and element count, so element access stays inside the array.
    struct ArraySymbol {
        uint32_t address;
        int32_t count;
    };
    std::vector<ArraySymbol> arrays;
    // Elements of the array at address (1 when it is not a known array).
    int array_length(uint32_t address) const
    {
        for (const ArraySymbol &a : arrays)
            if (a.address == address) return a.count;
        return 1;
    }
};

// A shader bound in the attribute state (or a light, or the imager) with its
// own parameter block: a copy of the shader's defaults.
class ShaderInstance : public RefCounted {
public:
    // Copies the default block; counts the instance and its memory.
    explicit ShaderInstance(Shader *shader);
    ~ShaderInstance() override;
    ShaderInstance(const ShaderInstance &) = delete;
    ShaderInstance &operator=(const ShaderInstance &) = delete;

    // The block (null when the shader has no parameters).
    char *params() { return block.empty() ? nullptr : reinterpret_cast<char *>(block.data()); }
    int size() const { return block_size; }

    Shader *shader;
    std::vector<uint32_t> block;   // word aligned
    int block_size;                // bytes
};

// Makes a Shader and puts it at the head of the list.
Shader *register_shader(const char *name, ShaderEntry run, ShaderEntry init,
                        PARAM_INFO *params, const void *defaults, int kind);
// Counts a request; the registered shader of that name, else the loader's
// answer (null when none is installed or nothing is found).
Shader *find_shader(const char *name);
// The newest registered shader (walk on with next).
Shader *first_shader();

// Loads a shader by name; installed by the shading module (null: nothing loads).
typedef Shader *(*ShaderLoader)(const char *name);
void set_shader_loader(ShaderLoader loader);

// Counters of the registry and of shader binding.
struct ShaderCounters {
    int64_t requested = 0;
    int64_t loaded = 0;
    int64_t instances = 0;
    StatCounter prototype_memory;
    StatCounter instance_memory;
};
ShaderCounters &shader_counters();

// "Shaders:  ..." and the two memory lines.
void print_shader_stats(FILE *out);
