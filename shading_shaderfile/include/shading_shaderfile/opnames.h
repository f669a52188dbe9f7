// The shading interpreter's operations as data: every name a compiled shader
// may use, with its opcode, its operands and the global-variable bits it adds,
// in the order the interpreter registers them. The compiler emits only names
// found here, the loader reads operands and flags from the rows, and each
// row names the interpreter module that holds its handler.
#pragma once
#include <cstdint>

namespace shading {

// The three registration groups, in registration order.
enum class OpGroup { Core, Geometry, Texture };

// The interpreter's operation modules, one handler table each (opmodules.h).
enum class OpModule {
    Control,     // return, return_area, jumps, logic and copies
    Stack,       // pushes and pops of symbols and constants
    Arith,       // arithmetic on floats, triples and matrices
    Compare,     // comparisons
    Var,         // array elements, setting from a float, widening
    Math,        // mathematics on floats and triples
    Geometry,    // facing, reflection, refraction, Fresnel, rotation, depth, matrix functions
    Color,       // colour-space conversions
    Spline,      // splines
    FilterStep,  // filtered steps
    Deriv,       // derivatives, area and calculatenormal
    Noise,       // noise, pnoise, cellnoise
    String,      // shadername, seq, sne, match, concat, format, printf
    Query,       // option, attribute and rendererinfo queries
    Transform,   // transforms between spaces
    Shadeop,     // dsoop: shadeop plug-ins
    Message,     // surface, displacement, atmosphere, lightsource, incident, opposite
    Light,       // ambient, diffuse, specular ...; illuminate, solar, ambience, illuminance
    Trace,       // trace, visibility, rayhittest, fulltrace, raylevel, isshadowray
    Texture,     // texture, environment, shadow, bump, textureinfo
    Matrix,      // mcomp, msetcomp, mmix and the equality of matrices
    Time,        // Dtime
    Count
};

// One registered name. Names that share an opcode are one operation that the
// compiler reaches under several type letters.
struct OpName {
    const char *name;    // as written in compiled-shader files
    int opcode;          // 1 .. MAX_OPCODE
    int operands;        // operand words after the op: 0, 1 or 2 (dsoop: its count follows)
    OpGroup group;
    OpModule module;     // the module whose handler runs the operation
    bool label = false;  // the one operand is a label (a jump or a light/illuminance block)
    uint32_t flags = 0;  // VarsUsed bits a shader using the op needs
};

inline constexpr int OP_NAME_COUNT = 358;  // names registered
inline constexpr int MAX_OPCODE = 286;     // highest opcode; handler tables hold MAX_OPCODE + 1

// All names in registration order (core, geometry, texture); count in *count when given.
const OpName *op_names(int *count = nullptr);
// The entry of a name, or null when the interpreter has no such operation.
const OpName *find_op_name(const char *name);
// The first name registered under an opcode, or null for an unused opcode.
const OpName *first_op_name(int opcode);

} // namespace shading
