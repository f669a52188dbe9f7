// String operations: the running shader's name, string comparison, regular
// expression match, concat, format and printf. Strings on the stack are interned texts.
#include <regex.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "ri_common/rierror.h"
#include "ri/shader.h"
#include "ri/tokens.h"
#include "shading/formatting.h"
#include "shading/interp.h"
#include "shading/opmodules.h"
#include "shading/shadingpoint.h"

namespace {

bool same_string(const char *a, const char *b)
{
    return a == b || (a && b && std::strcmp(a, b) == 0);
}

void op_shadername(ExecFrame *, ShaderVars *sv)
{
    const char *name = sv->thisshader ? sv->thisshader->name : nullptr;
    slstack.push_string(NewToken(name ? name : ""));
}

void op_seq(ExecFrame *, ShaderVars *)
{
    const char *a = slstack.pop_string();
    const char *b = slstack.pop_string();
    slstack.push_truth(same_string(a, b));
}

void op_sne(ExecFrame *, ShaderVars *)
{
    const char *a = slstack.pop_string();
    const char *b = slstack.pop_string();
    slstack.push_truth(!same_string(a, b));
}

// A compiled pattern per interned pattern text, kept for the run like the
// texts; null for a pattern that does not compile (reported once).
struct PatternCache : std::map<const char *, regex_t *> {
    ~PatternCache()
    {
        for (auto &entry : *this)
            if (entry.second) {
                regfree(entry.second);
                delete entry.second;
            }
    }
};

const regex_t *compiled_pattern(const char *pattern)
{
    static PatternCache cache;
    auto it = cache.find(pattern);
    if (it != cache.end()) return it->second;
    regex_t *re = new regex_t;
    int err = regcomp(re, pattern, REG_EXTENDED | REG_NOSUB);
    if (err != 0) {
        char why[256];
        regerror(err, re, why, sizeof why);
        delete re;
        re = nullptr;
        ri_error(RIE_SYNTAX, RIE_ERROR, "bad regular expression \"%s\" in match: %s", pattern, why);
    }
    cache[pattern] = re;
    return re;
}

// match (pattern, subject): 1.0 when the extended regular expression matches
// somewhere in the subject, else 0.0.
void op_match(ExecFrame *, ShaderVars *)
{
    const char *pattern = slstack.pop_string();
    const char *subject = slstack.pop_string();
    const regex_t *re = pattern && subject ? compiled_pattern(NewToken(pattern)) : nullptr;
    slstack.push_float(re && regexec(re, subject, 0, nullptr, 0) == 0 ? 1.0f : 0.0f);
}

void op_concat(ExecFrame *, ShaderVars *)
{
    float count = std::floor(slstack.pop_float());
    int n = count > 0 ? (count < SLStack::STRINGS ? static_cast<int>(count) : SLStack::STRINGS) : 0;
    std::string joined;
    for (int i = 0; i < n && !slstack.failed(); ++i) joined += slstack.pop_string();
    slstack.push_string(NewToken(joined.c_str()));
}

void op_format(ExecFrame *, ShaderVars *)
{
    slstack.push_string(format_from_stack());
}

// The values are always consumed; a neighbour run prints nothing.
void op_printf(ExecFrame *, ShaderVars *sv)
{
    std::string text = format_stack_text();
    if (sv->whichdisp == 0 && !slstack.failed()) print_shader_text(text.c_str());
}

constexpr OpBinding ROWS[] = {
    {"shadername", op_shadername},
    {"seq", op_seq},
    {"sne", op_sne},
    {"match", op_match},
    {"concat", op_concat},
    {"format", op_format},
    {"printf", op_printf},
};

} // namespace

constexpr OpBindings STRING_OPS = op_bindings(shading::OpModule::String, ROWS);
