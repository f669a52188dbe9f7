// Primitive variables: the parameter list of a geometric RI call turned into a
// list of owned copies, one per variable, sized by its storage class and the
// primitive's numbers of vertices, varying points and uniform faces.
#pragma once
#include <cstdint>
#include <cstdio>

#include "ri/counters.h"
#include "ri_common/ri.h"

// One primitive variable.
class VVData {
public:
    // Copies words values (floats, integers or strings; strings are interned).
    VVData(RtToken token, int type, int detail, int count, const void *values, int words);
    ~VVData();
    VVData(const VVData &) = delete;
    VVData &operator=(const VVData &) = delete;
    // Pooled allocation (blocks of 32 entries).
    static void *operator new(size_t size);
    static void operator delete(void *p);

    // A new entry with a copy of the data.
    VVData *clone() const;
    // "  Item: <token>, size = <size>" on the error stream.
    void dump() const;
    // Number of values held (floats, integers or strings).
    int words() const;

    VVData *next = nullptr;
    RtToken token;      // the bare declared name, interned
    int size;           // bytes of data
    uint8_t type;       // DECLARATION_TYPE
    uint8_t detail;     // DETAIL_TYPE
    uint16_t count;     // array length of the declaration
    void *data;         // floats, integers, or interned string pointers
};

// A list of primitive variables, newest first. It owns its entries.
class VertexVarList {
public:
    VertexVarList() = default;
    ~VertexVarList() { clear(); }
    VertexVarList(const VertexVarList &) = delete;
    VertexVarList &operator=(const VertexVarList &) = delete;

    void push_front(VVData *v);
    // Deletes every entry.
    void clear();
    // "Vertex vector:" then every entry, on the error stream.
    void dump() const;
    // The data of the variable named by the interned token, or null.
    void *find(RtToken token) const;
    // The entry named by the interned token, or null.
    VVData *find_entry(RtToken token) const;
    // Unlinks that variable and hands its data to the caller; null when absent.
    void *take(RtToken token);

    VVData *head = nullptr;
};

// Replaces dst by clones of every entry of src (in reversed order).
void copy_vertex_var_list(VertexVarList &dst, const VertexVarList &src);

// Position rules of build_vertex_var_list.
enum { POSITION_NONE = 0, POSITION_P = 1, POSITION_ANY = 2 };

// Fills list from an RI parameter list; returns 0, or 1 when a position
// variable was refused or missing.
int build_vertex_var_list(VertexVarList &list, int nvertex, int nvarying, int nuniform,
                          int position_rule, RtInt n, const RtToken tokens[], const RtPointer values[]);

StatCounter &vvdata_counter();
StatCounter &vvdata_memory();
// "Vertex vector stats:" block.
void print_vertex_var_stats(FILE *out);
