// Looking up the parameters of an RI call by their bare names.
#pragma once
#include "ri/declarations.h"
#include "ri_common/ri.h"

// One parameter of a call; both null when the call does not have it.
struct GlParam {
    Declaration *decl = nullptr;
    RtPointer value = nullptr;
    explicit operator bool() const { return value != nullptr; }
    // Element i as a float (integers converted), 0 for a string.
    float f(int i = 0) const;
    // Element i as an integer.
    int i(int k = 0) const;
    // The value as floats (null unless declared with a float type).
    const float *floats() const;
    // The value as a string (null unless declared a string).
    const char *string() const;
};

// The parameter whose bare name is name (inline declarations allowed).
GlParam find_param(RtInt n, const RtToken tokens[], const RtPointer values[], const char *name);
