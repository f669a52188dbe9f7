// Keyword rows: the RiOption and RiAttribute vocabulary as data. A row names
// one (name, token) pair, how its value is read, the field it goes to (in the
// record its table is applied to, or a process-wide setting) and the bands
// that hold it in range. Pairs that need more than that name a procedure.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "ri/declarations.h"
#include "ri_common/ri.h"
#include "ri_common/vecmath.h"

class Renderer;
struct KeywordRow;

// What a field holds; the value read is converted to it.
enum class Storage : uint8_t {
    INT,      // int
    BYTE,     // uint8_t
    SHORT,    // uint16_t
    HANDLE,   // intptr_t (a window system handle)
    FLOAT,    // float
    TOKEN,    // an interned string
    COLOR,    // Color
    BIT,      // one bit of a uint32_t flags word
};

// Where a row's value goes.
struct Field {
    void *(*at)(void *record) = nullptr;   // its address in the record; null: nowhere
    Storage storage = Storage::INT;
    uint32_t extra = 1;                    // elements of an array; the mask of a BIT
};

// Bands for a number: below lo becomes lo_to, above hi becomes hi_to; a NaN
// takes lo_to when there is a lower band.
struct Clamp {
    double lo = -std::numeric_limits<double>::infinity(), lo_to = lo;
    double hi = std::numeric_limits<double>::infinity(), hi_to = hi;
    double apply(double v) const;
};
// Clamps of rows: two bands, a range held to, a lower band, an upper band.
constexpr Clamp bands(double lo, double lo_to, double hi, double hi_to) { return {lo, lo_to, hi, hi_to}; }
constexpr Clamp range(double lo, double hi) { return {lo, lo, hi, hi}; }
constexpr Clamp below(double lo, double lo_to) { return bands(lo, lo_to, Clamp().hi, Clamp().hi); }
constexpr Clamp above(double hi, double hi_to) { return bands(Clamp().lo, Clamp().lo, hi, hi_to); }

// One word of a WORD row and the value it stands for; a list ends with a null word.
struct WordValue {
    const char *word;
    int value;
};

// A row's own procedure: 0 when the value was taken (or reported), -1 when unknown.
using RowProc = int (*)(Renderer &r, const KeywordRow &row, const Declaration *d, RtPointer value);

// How a row reads its value and what it does with it.
enum RowType : uint8_t {
    ROW_NONE,      // accepted without effect
    ROW_INT,       // an integer, clamped
    ROW_KBYTES,    // kilobytes, clamped, stored as bytes
    ROW_BOOL,      // an integer, stored as 1 when not 0
    ROW_CHECKED,   // an integer outside the clamp's range is reported (as an option) and refused
    ROW_FLOAT,     // a float, clamped
    ROW_COLOR,     // three floats (the first stands for missing ones), each clamped
    ROW_LIST,      // every element of the field, 0 beyond the values given
    ROW_STRING,    // a string, interned
    ROW_PATH,      // a search path: '&' stands for the old one, "$ARCH" for the architecture
    ROW_WORD,      // one of the row's words (another word is reported, as an attribute's)
    ROW_PROC,      // the row's own procedure
};

// The clamp, the words or the procedure of a row, as its type says.
union RowRule {
    Clamp clamp;
    const WordValue *words;
    RowProc proc;
    constexpr RowRule() : clamp() {}
    constexpr RowRule(Clamp c) : clamp(c) {}
    constexpr RowRule(const WordValue *w) : words(w) {}
    constexpr RowRule(RowProc p) : proc(p) {}
};

// One (name, token) pair: how its value is read and where it goes.
struct KeywordRow {
    const char *name;              // the RiOption or RiAttribute name
    const char *token;             // null: every token of the name, accepted without effect
    RowType type = ROW_NONE;
    Field field = {};
    RowRule rule = {};
    // Null: shading queries do not see the row. Else they read the field as
    // "name:token", and an unset string field answers this text.
    const char *query = nullptr;
};

// A table of rows; the first row that matches a pair is the one.
struct RowTable {
    const KeywordRow *rows;
    size_t count;
    const KeywordRow *begin() const { return rows; }
    const KeywordRow *end() const { return rows + count; }
    // The row of the pair; null when none.
    const KeywordRow *find(const char *name, const char *token) const;
    // The row a shading query "name:token" reads; null when none.
    const KeywordRow *find_query(const char *query) const;
};

// Reads the value as the row's type and stores it in its field in record (the
// record type its table was made for): 0, or what its procedure returns.
int apply_row(Renderer &r, const KeywordRow &row, void *record, const Declaration *d, RtPointer value);

// A field's value as a shading query sees it: a number or a string.
struct RowValue {
    bool is_string;
    float number;
    const char *string;
};
// The value of a row's field in record (0 when the row stores nothing).
RowValue read_row(const KeywordRow &row, const void *record);

// Stores a number in a field (element of an array or colour) of record.
void store_number(const Field &f, void *record, double v, uint32_t element = 0);

// Making fields (at compile time, checked against the member's type).
namespace rowfield {
template <class T> struct member;
template <class T, class C> struct member<T C::*> { using type = T; };

template <class T> constexpr Storage storage_of()
{
    if constexpr (std::is_same_v<T, int>) return Storage::INT;
    else if constexpr (std::is_same_v<T, uint8_t>) return Storage::BYTE;
    else if constexpr (std::is_same_v<T, uint16_t>) return Storage::SHORT;
    else if constexpr (std::is_same_v<T, intptr_t>) return Storage::HANDLE;
    else if constexpr (std::is_same_v<T, float>) return Storage::FLOAT;
    else if constexpr (std::is_same_v<T, const char *>) return Storage::TOKEN;
    else {
        static_assert(std::is_same_v<T, Color>, "a field of a type rows cannot store");
        return Storage::COLOR;
    }
}

template <class R, auto M> void *at(void *record) { return &(static_cast<R *>(record)->*M); }
template <class R, auto M, int I> void *element_at(void *record) { return &(static_cast<R *>(record)->*M)[I]; }
template <int *G> void *global_at(void *) { return G; }
} // namespace rowfield

// Member M of the record type R; an array member takes all its elements.
template <class R, auto M> constexpr Field field()
{
    using T = typename rowfield::member<decltype(M)>::type;
    return {&rowfield::at<R, M>, rowfield::storage_of<std::remove_extent_t<T>>(),
            std::is_array_v<T> ? static_cast<uint32_t>(std::extent_v<T>) : 1u};
}
// Element I of the array member M of the record type R.
template <class R, auto M, int I> constexpr Field element_field()
{
    using T = typename rowfield::member<decltype(M)>::type;
    return {&rowfield::element_at<R, M, I>, rowfield::storage_of<std::remove_extent_t<T>>(), 1};
}
// One bit of the flags word M of the record type R.
template <class R, auto M, uint32_t BIT> constexpr Field flag_field()
{
    return {&rowfield::at<R, M>, Storage::BIT, BIT};
}
// A process-wide int setting.
template <int *G> constexpr Field global_field()
{
    return {&rowfield::global_at<G>, Storage::INT, 1};
}
