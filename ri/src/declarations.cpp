#include "ri/declarations.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ri_common/declparse.h"
#include "ri/front_end.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"

namespace {

// Room for the declaration words of an inline declaration, with the terminator.
const int INLINE_WORDS_MAX = 64;

DeclarationTable *dictionary = nullptr;

} // namespace

Declaration::Declaration(const char *key, const char *b) : SymbolEntry(key), bare(b)
{
    declaration_memory().add(32);
}

void Declaration::describe(char *buf, size_t bufsize) const
{
    format_declaration(buf, bufsize, detail, type, length);
}

RtToken DeclarationTable::declare(const char *name, const char *decl, const char *full_token,
                                  bool is_inline)
{
    RtToken bare = NewToken(name);
    ParsedDeclaration d = parse_declaration_text(decl);
    if (d.length < 1 || d.length > 65535) {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "Invalid array length in declaration \"%s\" of \"%s\"",
                 decl, name);
        return bare;
    }
    if (is_inline && d.type == DECL_UNKNOWN) {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "No type in inline declaration \"%s\"",
                 full_token ? full_token : name);
        return bare;
    }
    Declaration *entry = nullptr;
    if (!is_inline) entry = static_cast<Declaration *>(SymbolTable::lookup(bare));
    if (!entry) {
        RtToken key = is_inline && full_token ? NewToken(full_token) : bare;
        if (is_inline) {
            // Another spelling may already have made this key.
            entry = static_cast<Declaration *>(SymbolTable::lookup(key));
        }
        if (!entry) {
            entry = new Declaration(key, bare);
            insert(entry);
        }
    }
    entry->length = (uint16_t)d.length;
    entry->type = (uint8_t)d.type;
    entry->detail = (uint8_t)d.detail;
    return bare;
}

Declaration *DeclarationTable::lookup(const char *token)
{
    if (!token) return nullptr;
    const char *text = skip_declaration_blanks(token);
    if (Declaration *d = static_cast<Declaration *>(SymbolTable::lookup(text))) return d;
    int n = inline_declaration_length(text);
    if (n == 0) return nullptr;
    const char *bare = skip_declaration_blanks(text + n);
    if (n >= INLINE_WORDS_MAX || *bare == '\0') {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "Invalid inline declaration \"%s\"", text);
        return nullptr;
    }
    char words[INLINE_WORDS_MAX];
    memcpy(words, text, n);
    words[n] = '\0';
    declare(bare, words, text, true);
    return static_cast<Declaration *>(SymbolTable::lookup(text));
}

StatCounter &declaration_memory()
{
    static StatCounter counter;
    return counter;
}

void init_declarations()
{
    if (!dictionary) dictionary = new DeclarationTable(5003);
}

DeclarationTable &declarations()
{
    init_declarations();
    return *dictionary;
}

RtToken ri_front::Declare(const char *name, const char *declaration)
{
    if (!name) return nullptr;
    if (!declaration || !*declaration) return NewToken(name);
    return declarations().declare(name, declaration, nullptr, false);
}
