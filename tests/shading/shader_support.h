// Helpers of the shading tests: compiled shaders from text, and runs of them.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ri/shader.h"
#include "shading/interp.h"
#include "shading/loader.h"
#include "shading/shadingpoint.h"
#include "tests/support/run_program.h"

namespace shadertest {

// Writes text as NAME.murn in dir and loads it under name.
inline Shader *load_text(const velktest::TempDir &dir, const std::string &name,
                         const std::string &text)
{
    std::string path = dir.write(name + ".murn", text);
    return read_text_shader(name.c_str(), path.c_str());
}

// Runs the shader's main code on sv with a copy of its defaults; answers the block.
inline std::vector<uint32_t> run(Shader *s, ShadingPoint &sv)
{
    std::vector<uint32_t> block = s->defaults;
    block.push_back(0);
    sv.thisshader = s;
    s->run(&sv, reinterpret_cast<char *>(block.data()));
    block.pop_back();
    return block;
}

// What a printing function writes.
inline std::string printed(void (*print)(FILE *))
{
    char *buf = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&buf, &size);
    print(out);
    std::fclose(out);
    std::string text(buf, size);
    free(buf);
    return text;
}

inline float word_float(uint32_t w)
{
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}

} // namespace shadertest
