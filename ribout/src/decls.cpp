#include "decls.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "ri_common/declparse.h"

namespace ribout {

namespace {

// Buckets of the token table when it is made.
const size_t TOKEN_BUCKETS = 12289;

std::unordered_set<std::string> &token_table()
{
    static std::unordered_set<std::string> table(TOKEN_BUCKETS);
    return table;
}

std::unordered_map<std::string, Decl> &decl_table()
{
    static std::unordered_map<std::string, Decl> table;
    return table;
}

// The type word of a declaration text: what follows the class word, up to a
// blank or '['.
std::string type_word(const char *text)
{
    static const char *const classes[] = {"uniform", "varying", "vertex", "constant"};
    const char *p = skip_declaration_blanks(text);
    for (const char *c : classes) {
        size_t n = std::strlen(c);
        if (std::strncmp(p, c, n) == 0) {
            p = skip_declaration_blanks(p + n);
            break;
        }
    }
    size_t n = std::strcspn(p, " \t\r\n[");
    return std::string(p, n);
}

} // namespace

RtToken intern(const char *name)
{
    if (!name) return nullptr;
    return token_table().emplace(name).first->c_str();
}

bool ribout_parse_declaration(const char *name, const char *text, Decl &decl)
{
    ParsedDeclaration d = parse_declaration_text(text);
    if (d.type == DECL_UNKNOWN) {
        std::fprintf(stderr, "libribout error: unknown type \"%s\" for token \"%s\"\n",
                     type_word(text ? text : "").c_str(), name);
        return false;
    }
    if (d.length < 1 || d.length > 65535) {
        std::fprintf(stderr, "libribout error: bad array length in \"%s\" for token \"%s\"\n",
                     text, name);
        return false;
    }
    decl.detail = d.detail;
    decl.type = d.type;
    decl.length = static_cast<int>(d.length);
    return true;
}

bool declare(const char *name, const char *text)
{
    Decl d;
    if (!ribout_parse_declaration(name, text, d)) {
        decl_table().erase(name);
        return false;
    }
    decl_table()[name] = d;
    return true;
}

const Decl *find_decl(const char *token)
{
    if (!token) return nullptr;
    auto &table = decl_table();
    auto it = table.find(token);
    if (it != table.end()) return &it->second;
    int n = inline_declaration_length(token);
    const char *bare = skip_declaration_blanks(token + n);
    if (n == 0 || *bare == '\0') return nullptr;
    Decl d;
    std::string words(token, static_cast<size_t>(n));
    if (!ribout_parse_declaration(bare, words.c_str(), d)) return nullptr;
    return &(table[token] = d);
}

} // namespace ribout
