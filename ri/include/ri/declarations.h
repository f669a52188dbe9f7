// The declaration dictionary: storage class, value type and array length of
// every token, from RiDeclare, the standard declarations or inline declarations
// such as "uniform float Km".
#pragma once
#include <cstdint>

#include "ri_common/declparse.h"
#include "ri/counters.h"
#include "ri_common/ri.h"
#include "ri_common/symtab.h"

// One declared token.
class Declaration : public SymbolEntry {
public:
    // key and bare are interned strings.
    Declaration(const char *key, const char *bare);
    // The bare name (for an inline declaration, the token without its declaration words).
    const char *name() const { return bare; }
    // length x bytes of the type.
    int size() const { return length * decl_type_size(type); }
    // length x numbers of the type: how many values one element of the variable takes.
    int words() const { return length * decl_type_words(type); }
    // Writes the declaration text ("uniform float[4]").
    void describe(char *buf, size_t bufsize) const;

    const char *bare;
    uint8_t type = DECL_UNKNOWN;
    uint8_t detail = DETAIL_UNKNOWN;
    uint16_t length = 0;
};

class DeclarationTable : public SymbolTable {
public:
    explicit DeclarationTable(unsigned nbuckets = 5003) : SymbolTable(nbuckets) {}
    // Parses the declaration text and creates or replaces the entry; returns the
    // interned bare name. An invalid declaration (array length outside 1..65535,
    // an inline one without a type) is reported and leaves the dictionary alone.
    RtToken declare(const char *name, const char *decl, const char *full_token, bool is_inline);
    // The declaration of a token, declaring an inline one on first use; null when undeclared.
    Declaration *lookup(const char *token);
};

// The one dictionary of the program (made on first use).
DeclarationTable &declarations();
void init_declarations();
// Bytes of the dictionary (32 per entry).
StatCounter &declaration_memory();
