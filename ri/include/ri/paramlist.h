// Parameter lists of RI calls: reading them from RIB (plain and primitive
// lists) and checking primitive variable lengths against the counts a
// primitive implies.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ri_common/ri.h"

class RibReader;

// Entries of a parameter-list table: at most MAX_PARAM_PAIRS pairs and the end mark.
constexpr int PARAM_TABLE_SIZE = 512;
constexpr int MAX_PARAM_PAIRS = 510;

// Next free slots of the request value arrays (rib_floats, rib_strings,
// rib_ints) while one request is read.
struct RibCursor {
    size_t floats = 0, strings = 0, ints = 0;
};

// Where a request's values live: kind and first slot in the value arrays. The
// arrays may grow while a request is read, so pointers are made only when the
// reading is over.
enum RibValueKind : unsigned char { RIB_FLOAT_VALUES, RIB_STRING_VALUES, RIB_INT_VALUES };
struct RibValueRef {
    RibValueKind kind = RIB_FLOAT_VALUES;
    size_t offset = 0;
    RtPointer pointer() const;   // the address in its array (valid until the arrays grow)
};

// The parameter list of the request being read.
struct RibParamList {
    int n = 0;
    RtToken tokens[PARAM_TABLE_SIZE];
    RtPointer values[PARAM_TABLE_SIZE];
    int counts[PARAM_TABLE_SIZE];          // values read per token
    RibValueRef refs[PARAM_TABLE_SIZE];
    // Fills values from refs and ends both tables with null.
    void resolve();
};

// Reads a parameter list by the declared types of its tokens (inline
// declarations are declared on the way). Returns the number of pairs, or -1
// when a value could not be read (the request is abandoned).
int read_param_list(RibReader &reader, RibCursor &cursor, RibParamList &list);

// Reads the parameter list of a primitive; every value is kept as read, with
// its count. Returns the vertex count implied by "P", "Pz" or "Pw" (4 when none
// is given), or -1 when a value could not be read.
int read_primitive_params(RibReader &reader, RibCursor &cursor, RibParamList &list);

// Checks every variable's number of values against its storage class and the
// primitive's counts. Short lists are errors (severity 2) and make the answer
// true; long ones are warnings.
bool check_vertex_lengths(const RibParamList &list, int64_t nvertex, int64_t nvarying, int64_t nuniform);
