// Shaders written in Shading Language for the operation tests: compiled with
// the build's murn and loaded; their parameters read back from the block.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ri/shader.h"
#include "ri/tokens.h"
#include "shading/loader.h"
#include "shading/shadingpoint.h"
#include "shading/stringids.h"
#include "tests/shading/shader_support.h"
#include "tests/support/run_program.h"

namespace sltest {

// Compiles source as NAME.sl in dir and loads the result; null (with a test
// failure) when the compiler refuses it.
// Options for murn come before the file name.
inline Shader *compile(const velktest::TempDir &dir, const std::string &name, const std::string &source,
                       const std::vector<std::string> &options = {})
{
    velktest::RunResult r = velktest::murn_compile(dir, name, source, options);
    if (r.status != 0) {
        ADD_FAILURE() << "murn failed on " << name << " (status " << r.status << ", signal "
                      << r.signal << "):\n" << r.out << r.err;
        return nullptr;
    }
    return read_text_shader(name.c_str(), (dir.path() + "/" + name + ".murn").c_str());
}

// A parameter's words in a block answered by shadertest::run.
inline const float *param(Shader *s, const std::vector<uint32_t> &block, const char *name)
{
    int offset = 0, type = 0;
    if (!s->find_param(NewToken(name), &offset, &type)) {
        ADD_FAILURE() << "no parameter " << name;
        static float zero[16] = {};
        return zero;
    }
    return reinterpret_cast<const float *>(block.data()) + offset / 4;
}

inline float param_float(Shader *s, const std::vector<uint32_t> &block, const char *name)
{
    return *param(s, block, name);
}

inline Point param_triple(Shader *s, const std::vector<uint32_t> &block, const char *name)
{
    return Point::from(param(s, block, name));
}

inline std::string param_string(Shader *s, const std::vector<uint32_t> &block, const char *name)
{
    uint32_t id;
    std::memcpy(&id, param(s, block, name), 4);
    const char *text = string_from_id(id);
    return text ? text : "";
}

} // namespace sltest
