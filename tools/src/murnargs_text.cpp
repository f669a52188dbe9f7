// Reading the interface of a compiled text shader: the header and the
// parameter declarations, up to the first code section.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shading/loader.h"
#include "shading_shaderfile/shaderfile.h"
#include "shading_shaderfile/shaderfile_words.h"
#include "murnargs_readers.h"

namespace {

class TextReader {
public:
    TextReader(ShaderFileReader &rd, const char *path) : rd_(rd), path_(path) {}
    bool read(MurnargsShader &shader);

private:
    // Records what is wrong with the file, at the current line; answers false.
    bool fail(const std::string &what);
    int next(std::string &t) { return rd_.next_token(t); }
    bool read_header(MurnargsShader &shader);
    bool version_accepted();
    bool number(float &value);
    void skip_values();
    void read_default(MurnargsParam &p);

    ShaderFileReader &rd_;
    const char *path_;
};

bool TextReader::fail(const std::string &what)
{
    murnargs_set_error("line " + std::to_string(rd_.line()) + ": " + what);
    return false;
}

bool TextReader::number(float &value)
{
    std::string t;
    int k = next(t);
    if (k != TOK_NUMBER) {
        rd_.push_back(k, t);
        return false;
    }
    value = std::strtof(t.c_str(), nullptr);
    return true;
}

// Values up to the next word (the next declaration or section).
void TextReader::skip_values()
{
    std::string t;
    int k;
    while ((k = next(t)) != TOK_END && k != TOK_IDENT) {
    }
    if (k != TOK_END) rd_.push_back(k, t);
}

// After the version tag: major.minor, .patch and a suffix written against them.
bool TextReader::version_accepted()
{
    std::string a, b;
    int v[3] = {0, 0, 0};
    int ka = next(a);
    if (ka != TOK_NUMBER) {
        rd_.push_back(ka, a);
        return true;
    }
    std::sscanf(a.c_str(), "%d.%d", &v[0], &v[1]);
    int kb = next(b);
    if (kb == TOK_NUMBER) {
        std::sscanf(b.c_str(), ".%d", &v[2]);
        if (is_identifier_start(rd_.peek())) rd_.read_identifier();
    } else {
        rd_.push_back(kb, b);
    }
    int mine[3] = {0, 0, 0};
    std::sscanf(RENDERER_VERSION, "%d.%d.%d", &mine[0], &mine[1], &mine[2]);
    for (int i = 0; i < 3; ++i) {
        if (v[i] != mine[i]) {
            if (v[i] < mine[i]) return true;
            std::fprintf(stderr,
                         "Shader \"%s\" was compiled by a more recent VELK\n\tYou can only render this shader "
                         "with VELK %d.%d.%d or newer\n",
                         path_, v[0], v[1], v[2]);
            return false;
        }
    }
    return true;
}

bool TextReader::read_header(MurnargsShader &shader)
{
    std::string t;
    int k = next(t);
    if (k == TOK_IDENT && t == shaderfile::VERSION_WORD) {
        std::string tag;
        next(tag);
        if (tag != shaderfile::VERSION_TAG) std::fprintf(stderr, "Unrecognized compiled shader version \"%s\"\n", tag.c_str());
        else if (!version_accepted()) return false;
        k = next(t);
    }
    // The rest of an enciphered shader is read deciphered.
    if (k == TOK_IDENT && t == shaderfile::ENCRYPTED_WORD) {
        rd_.start_deciphering();
        k = next(t);
    }
    shader.kind = k == TOK_IDENT ? murnargs_kind_of_word(t) : MA_UNKNOWN;
    if (shader.kind == MA_UNKNOWN) return fail("not a compiled shader (no shader kind)");
    if (next(t) != TOK_IDENT) return fail("the shader has no name");
    shader.name = t;
    return true;
}

void TextReader::read_default(MurnargsParam &p)
{
    std::string t;
    int k;
    switch (p.type) {
    case MA_FLOAT:
        p.defaulted = number(p.values[0]);
        break;
    case MA_POINT: case MA_VECTOR: case MA_NORMAL: case MA_COLOR:
        if (!number(p.values[0])) break;
        p.defaulted = true;
        // One number stands for all three.
        if (number(p.values[1])) {
            number(p.values[2]);
        } else {
            p.values[1] = p.values[0];
            p.values[2] = p.values[0];
        }
        k = next(t);
        if (k == TOK_STRING) {
            p.has_space = true;
            p.space = t;
        } else {
            rd_.push_back(k, t);
        }
        break;
    case MA_MATRIX:
        if (!number(p.values[0])) break;
        p.defaulted = true;
        // One number fills the diagonal.
        if (!number(p.values[1])) {
            for (int i = 1; i < 16; ++i) p.values[i] = i % 5 == 0 ? p.values[0] : 0.0f;
        } else {
            for (int i = 2; i < 16 && number(p.values[i]); ++i) {
            }
        }
        break;
    case MA_STRING:
        k = next(t);
        if (k == TOK_STRING) {
            p.defaulted = true;
            p.text = t;
        } else {
            rd_.push_back(k, t);
        }
        break;
    default:
        skip_values();
        break;
    }
    if (p.defaulted) p.flags |= MA_HAS_DEFAULT;
}

bool TextReader::read(MurnargsShader &shader)
{
    if (!read_header(shader)) return false;
    std::string t;
    int k;
    while ((k = next(t)) == TOK_IDENT &&
           (t == shaderfile::PARAM_WORD || t == shaderfile::OUTPUT_PARAM_WORD || t == shaderfile::LOCAL_WORD)) {
        // Locals (string constants of the defaults among them) may stand
        // between parameters: one line each, none of the interface.
        if (t == shaderfile::LOCAL_WORD) {
            rd_.read_line();
            continue;
        }
        MurnargsParam p;
        p.storage = t == shaderfile::OUTPUT_PARAM_WORD ? MA_OUTPUTPARAMETER : MA_PARAMETER;
        p.detail = MA_UNIFORM;
        k = next(t);
        if (t == shaderfile::VARYING_WORD || t == shaderfile::UNIFORM_WORD) {
            p.detail = t == shaderfile::VARYING_WORD ? MA_VARYING : MA_UNIFORM;
            k = next(t);
        }
        if (k == TOK_END) return fail("the file ends inside a parameter declaration");
        p.type = murnargs_type_code(shaderfile::type_of_word(t.c_str()));
        if (p.type == MA_UNKNOWN) return fail("unknown parameter type \"" + t + "\"");
        if (next(p.name) != TOK_IDENT) return fail("a parameter has no name");
        k = next(t);
        if (k == '[') {
            float n = 0;
            // The loader's bound on array lengths; anything else is damage.
            if (!number(n) || !(n >= 1 && n <= 1e6)) return fail("a bad array length for \"" + p.name + "\"");
            p.array_length = static_cast<int>(n);
            k = next(t);
            if (k != ']') rd_.push_back(k, t);
        } else {
            rd_.push_back(k, t);
        }
        // An array's elements are set by the initialisation code: the file
        // holds a placeholder, which is no default.
        if (p.array_length > 0) skip_values();
        else read_default(p);
        shader.params.push_back(std::move(p));
    }
    // The declarations end at the first code section; anything else means the
    // file is cut short or damaged.
    if (k == TOK_END) return fail("the file ends before its code");
    if (k != TOK_IDENT || (t != shaderfile::CODE_WORD && t != shaderfile::INITCODE_WORD))
        return fail("unexpected \"" + t + "\" among the parameter declarations");
    // The rest is read only to see that the file is whole.
    bool has_code = t == shaderfile::CODE_WORD;
    while ((k = next(t)) != TOK_END)
        if (k == TOK_IDENT && t == shaderfile::CODE_WORD) has_code = true;
    if (!has_code || rd_.last_word() != shaderfile::RETURN_WORD) return fail(shaderfile::CUT_SHORT_MESSAGE);
    return true;
}

} // namespace

bool murnargs_read_text(const char *path, MurnargsShader &shader)
{
    ShaderFileReader rd;
    if (!rd.open(path)) {
        murnargs_set_error("cannot be read");
        return false;
    }
    return TextReader(rd, path).read(shader);
}
