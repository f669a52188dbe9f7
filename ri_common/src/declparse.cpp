#include "ri_common/declparse.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool starts_with(const char *s, const char *word)
{
    return strncmp(s, word, strlen(word)) == 0;
}

} // namespace

const char *skip_declaration_blanks(const char *s)
{
    while (*s && is_blank(*s)) s++;
    return s;
}

ParsedDeclaration parse_declaration_text(const char *text)
{
    ParsedDeclaration d;
    const char *p = skip_declaration_blanks(text ? text : "");
    for (const Word &w : CLASS_WORDS) {
        if (starts_with(p, w.text)) {
            d.detail = w.value;
            d.class_given = true;
            p = skip_declaration_blanks(p + strlen(w.text));
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
    p = skip_declaration_blanks(p);
    if (*p == '[') d.length = strtol(p + 1, nullptr, 10);
    return d;
}

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
        p = skip_declaration_blanks(p);
    }
    return (int)(p - start);
}

ParameterName parameter_name(const char *token)
{
    ParameterName p;
    if (!token) return p;
    const char *text = skip_declaration_blanks(token);
    p.name = text;
    int n = inline_declaration_length(text);
    const char *bare = skip_declaration_blanks(text + n);
    if (n == 0 || *bare == '\0') return p;
    p.name = bare;
    p.type = parse_declaration_text(std::string(text, size_t(n)).c_str()).type;
    return p;
}
