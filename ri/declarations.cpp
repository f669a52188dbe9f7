#include "ri/declarations.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ri/rierror.h"
#include "ri/tokens.h"

namespace {

const char *const TYPE_NAMES[] = {"", "float", "point", "color", "string",
                                  "integer", "vector", "normal", "hpoint", "matrix"};
const char *const DETAIL_NAMES[] = {"", "constant", "uniform", "varying", "vertex"};
const int TYPE_WORDS[] = {0, 1, 3, 3, 1, 1, 3, 3, 4, 16};

struct Word {
    const char *text;
    int value;
};

// Storage class words, then type words in the order they are tried.
const Word CLASS_WORDS[] = {{"uniform", DETAIL_UNIFORM}, {"varying", DETAIL_VARYING},
                            {"vertex", DETAIL_VERTEX}, {"constant", DETAIL_CONSTANT}};
const Word TYPE_WORDS_PARSED[] = {
    {"float", DECL_FLOAT}, {"integer", DECL_INTEGER}, {"int", DECL_INTEGER},
    {"point", DECL_POINT}, {"color", DECL_COLOR}, {"string", DECL_STRING},
    {"vector", DECL_VECTOR}, {"normal", DECL_NORMAL}, {"hpoint", DECL_HPOINT},
    {"matrix", DECL_MATRIX}};
// Words that may open an inline declaration, walked once in this order.
const char *const INLINE_WORDS[] = {"constant", "uniform", "varying", "vertex", "float",
                                    "integer", "int", "point", "vector", "normal",
                                    "hpoint", "color", "string", "matrix"};

// Room for the declaration words of an inline declaration, with the terminator.
const int INLINE_WORDS_MAX = 64;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

const char *skip_blanks(const char *s)
{
    while (*s && is_blank(*s)) s++;
    return s;
}

bool starts_with(const char *s, const char *word)
{
    return strncmp(s, word, strlen(word)) == 0;
}

struct ParsedDecl {
    int detail = DETAIL_UNIFORM;
    int type = DECL_UNKNOWN;
    long length = 1;
    bool class_given = false;
};

ParsedDecl parse_declaration(const char *text)
{
    ParsedDecl d;
    const char *p = skip_blanks(text);
    for (const Word &w : CLASS_WORDS) {
        if (starts_with(p, w.text)) {
            d.detail = w.value;
            d.class_given = true;
            p = skip_blanks(p + strlen(w.text));
            break;
        }
    }
    for (const Word &w : TYPE_WORDS_PARSED) {
        if (starts_with(p, w.text)) {
            d.type = w.value;
            p += strlen(w.text);
            break;
        }
    }
    p = skip_blanks(p);
    if (*p == '[') d.length = strtol(p + 1, nullptr, 10);
    return d;
}

DeclarationTable *dictionary = nullptr;

} // namespace

int decl_type_size(int type)
{
    if (type == DECL_STRING) return (int)sizeof(RtString);
    if (type < 0 || type > DECL_MATRIX) return 0;
    return TYPE_WORDS[type] * 4;
}

int decl_type_words(int type)
{
    return (type < 0 || type > DECL_MATRIX) ? 0 : TYPE_WORDS[type];
}

const char *decl_type_name(int type)
{
    return (type < 1 || type > DECL_MATRIX) ? "" : TYPE_NAMES[type];
}

const char *decl_detail_name(int detail)
{
    return (detail < 1 || detail > DETAIL_VERTEX) ? "" : DETAIL_NAMES[detail];
}

void format_declaration(char *buf, size_t size, int detail, int type, int length)
{
    int n = snprintf(buf, size, "%s %s", decl_detail_name(detail), decl_type_name(type));
    if (n < 0 || (size_t)n >= size) return;
    if (length > 1) snprintf(buf + n, size - n, "[%d]", length);
    else if (length < 0) snprintf(buf + n, size - n, "[]");
}

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
    ParsedDecl d = parse_declaration(decl);
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

int inline_declaration_length(const char *token)
{
    if (!token) return 0;
    const char *start = token;
    const char *p = token;
    for (const char *word : INLINE_WORDS) {
        size_t n = strlen(word);
        if (strncmp(p, word, n) != 0 || !(is_blank(p[n]) || p[n] == '[')) continue;
        p += n;
        if (*p == '[') {
            while (*p && *p != ']') p++;
            if (*p == ']') p++;
        }
        p = skip_blanks(p);
    }
    return (int)(p - start);
}

Declaration *DeclarationTable::lookup(const char *token)
{
    if (!token) return nullptr;
    const char *text = skip_blanks(token);
    if (Declaration *d = static_cast<Declaration *>(SymbolTable::lookup(text))) return d;
    int n = inline_declaration_length(text);
    if (n == 0) return nullptr;
    const char *bare = skip_blanks(text + n);
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

int DeclarationTable::size_of(const char *token)
{
    Declaration *d = lookup(token);
    return d ? d->size() : 0;
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

void destroy_declarations()
{
    delete dictionary;
    dictionary = nullptr;
}

RtToken RiDeclare(const char *name, const char *declaration)
{
    if (!name) return nullptr;
    if (!declaration || !*declaration) return NewToken(name);
    return declarations().declare(name, declaration, nullptr, false);
}
