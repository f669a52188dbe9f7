// Lookups in the operation table. The rows are one constant array (oprows.h)
// so they need no start-up code; the indexes are built on first use.
#include "shading_shaderfile/opnames.h"

#include "shading_shaderfile/oprows.h"

#include <string>
#include <unordered_map>

namespace shading {
namespace {

// Names that share an opcode are one operation: one module handles it.
constexpr bool aliases_share_module()
{
    for (const OpName &a : OP_NAMES)
        for (const OpName &b : OP_NAMES)
            if (a.opcode == b.opcode && a.module != b.module) return false;
    return true;
}
static_assert(aliases_share_module(), "names of one opcode name different modules");

} // namespace

const OpName *op_names(int *count)
{
    if (count)
        *count = OP_NAME_COUNT;
    return OP_NAMES;
}

const OpName *find_op_name(const char *name)
{
    static const std::unordered_map<std::string, const OpName *> index = [] {
        std::unordered_map<std::string, const OpName *> m;
        for (const OpName &op : OP_NAMES)
            m.emplace(op.name, &op);
        return m;
    }();
    if (!name)
        return nullptr;
    auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
}

const OpName *first_op_name(int opcode)
{
    static const OpName *const *by_opcode = [] {
        static const OpName *table[MAX_OPCODE + 1] = {};
        for (const OpName &op : OP_NAMES)
            if (!table[op.opcode])
                table[op.opcode] = &op;
        return table;
    }();
    if (opcode < 0 || opcode > MAX_OPCODE)
        return nullptr;
    return by_opcode[opcode];
}

} // namespace shading
