#include "intern.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>

#include "ri_common/symtab.h"

namespace murn {
namespace {

// A pooled string: the entry owns its text and names itself with it.
struct PooledString : SymbolEntry {
    explicit PooledString(std::string s) : SymbolEntry(nullptr), text(std::move(s))
    {
        name = text.c_str();
        hash = hash_name(name);
    }
    std::string text;
};

std::unique_ptr<SymbolTable> &pool()
{
    static std::unique_ptr<SymbolTable> table;
    if (!table)
        table.reset(new SymbolTable(12289));
    return table;
}

} // namespace

const char *intern_string(const char *s)
{
    if (!s)
        return nullptr;
    if (SymbolEntry *e = pool()->lookup(s))
        return e->name;
    PooledString *entry = new PooledString(s);
    pool()->insert(entry, true);
    return entry->name;
}

const char *intern_format(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(&text[0], size_t(n) + 1, format, ap);
    va_end(ap);
    return intern_string(text.c_str());
}

void reset_string_pool()
{
    pool().reset();
}

} // namespace murn
