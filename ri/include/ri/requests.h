// The request table: every RIB request with its RI procedure and the signature
// code that says how its arguments are read; a fixed-size hash finds a request
// by name, and dispatch reads, checks and passes the arguments.
#pragma once
#include <cstdint>

#include "ri_common/ri.h"

class RibReader;
struct RibRequest;

// How the arguments of a request are read before its procedure is called.
enum RibSignature {
    SIG_NONE = 0,          // procedure()
    SIG_INT = 1,           // procedure(int)
    SIG_STRING = 2,        // procedure(string)
    SIG_COLOR = 3,         // procedure(float[3])
    SIG_BOUND = 4,         // procedure(float[6])
    SIG_MATRIX = 5,        // procedure(float[16])
    SIG_FLOAT = 6,         // procedure(float)
    SIG_FLOAT2 = 7,        // procedure(float, float)
    SIG_FLOAT3 = 8,        // procedure(a, b, c)
    SIG_FLOAT4 = 9,        // procedure(a, b, c, d)
    SIG_FLOAT8 = 10,       // procedure(eight floats)
    SIG_FORMAT = 11,       // procedure(int, int, float)
    SIG_STRING_PARAMS = 12,  // procedure(string, n, tokens, values)
    SIG_QUADRIC3 = 13,     // 3 floats and a primitive parameter list
    SIG_QUADRIC4 = 14,     // 4 floats and a primitive parameter list
    SIG_MAKE = 15,         // the texture-making syntax
    SIG_OWN_V = 16,        // the request's own syntax, vector form
    SIG_OWN = 17           // the request's own syntax
};

// Reads the arguments of a request of its own syntax and calls its procedure.
typedef void (*RibSyntaxReader)(RibReader &reader, const RibRequest &request);

struct RibRequest {
    const char *name;
    void (*procedure)();       // the RI procedure, of the type its code implies
    int code;                  // RibSignature
    RibSyntaxReader syntax;    // codes 15 to 17
    int slot;                  // hash slot (set when the hash is built)
};

// The 100 rows, ended by a row with a null name.
const RibRequest *request_table();
constexpr int REQUEST_COUNT = 100;
constexpr int REQUEST_HASH_SIZE = 1013;

// Builds the hash once.
void init_request_hash();
// The hash of a request name (0 for null).
uint32_t request_name_hash(const char *name);
// The hashed copy of a request's row, or null.
const RibRequest *find_request(const char *name);
// Reads the arguments of the named request, checks them and calls its
// procedure; every failure is reported and abandons the request.
void dispatch_request(RibReader &reader, const char *name);
