#include "shading/stringids.h"

#include <unordered_map>
#include <vector>

#include "ri/tokens.h"
#include "shading/native_shader.h"

namespace {

struct StringIds {
    std::vector<const char *> texts{nullptr};            // by id; 0 is null
    std::unordered_map<const char *, uint32_t> ids;      // by interned pointer
};

StringIds &table()
{
    static StringIds t;
    return t;
}

} // namespace

uint32_t string_id(const char *text)
{
    if (!text) return 0;
    StringIds &t = table();
    auto it = t.ids.find(text);
    if (it != t.ids.end()) return it->second;
    const char *interned = NewToken(text);
    if (interned != text) {
        it = t.ids.find(interned);
        if (it != t.ids.end()) return it->second;
    }
    uint32_t id = static_cast<uint32_t>(t.texts.size());
    t.texts.push_back(interned);
    t.ids.emplace(interned, id);
    return id;
}

const char *string_from_id(uint32_t id)
{
    StringIds &t = table();
    return id < t.texts.size() ? t.texts[id] : nullptr;
}

extern "C" uint32_t velk_string_id(const char *text)
{
    return string_id(text);
}

extern "C" const char *velk_string(uint32_t id)
{
    return string_from_id(id);
}
