#include "tests/compiler/compile_support.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

#include "compiler/driver.h"
#include "compiler/messages.h"
#include "compiler/shadeops.h"
#include "compiler/writer.h"
#include "shading_shaderfile/cipher.h"
#include "shading_shaderfile/opnames.h"
#include "tests/ri/stderr_capture.h"
#include "tests/support/run_program.h"

namespace murntest {

Compiled compile_text(const std::string &source, const CompileOptions &options)
{
    velktest::TempDir dir;
    std::string text = "# 1 \"t.sl\"\n" + source;
    Compiled result;
    StderrCapture capture;
    murn::reset_writer();
    murn::output_path = dir.path() + "/out.murn";
    murn::scramble_level = options.crypt ? 1 : 0;
    murn::debug_lines = options.debug;
    murn::verbosity = options.verbosity;
    murn::begin_compilation();
    murn::shadeop_path = options.shadeop_path;
    std::FILE *in = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    murn::compile_preprocessed(in);
    std::fclose(in);
    murn::remove_failed_output();
    result.status = murn::error_flag;
    murn::end_compilation();
    murn::reset_writer();
    result.err = capture.finish();
    result.written = dir.exists("out.murn");
    result.file = dir.read("out.murn");
    return result;
}

namespace {

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

std::vector<std::string> code_lines(const std::string &file)
{
    std::vector<std::string> out;
    bool in_code = false;
    for (const std::string &line : split_lines(file)) {
        if (line == "code") {
            in_code = true;
            continue;
        }
        if (in_code && !line.empty() && line[0] == '\t')
            out.push_back(line.substr(1));
        else if (in_code && line.compare(0, 6, "label ") == 0)
            out.push_back(line);
    }
    return out;
}

std::vector<std::string> head_lines(const std::string &file)
{
    std::vector<std::string> out;
    for (const std::string &line : split_lines(file)) {
        if (line == "code" || line.compare(0, 8, "initcode") == 0)
            break;
        out.push_back(line);
    }
    return out;
}

bool contains_run(const std::vector<std::string> &lines, const std::vector<std::string> &want)
{
    if (want.empty())
        return true;
    for (size_t i = 0; i + want.size() <= lines.size(); i++) {
        size_t k = 0;
        while (k < want.size() && lines[i + k] == want[k])
            k++;
        if (k == want.size())
            return true;
    }
    return false;
}

// ---- the loader's view ---------------------------------------------------------------

namespace {

struct Token {
    char kind;         // 'A' word, '1' number, '"' string, 0 end, else the character
    std::string text;
    int line;
};

class Reader {
public:
    explicit Reader(const std::string &text) : text_(text) {}

    Token next()
    {
        if (pushed_) {
            pushed_ = false;
            return last_;
        }
        for (;;) {
            while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
                if (text_[pos_] == '\n')
                    line_++;
                pos_++;
            }
            if (pos_ < text_.size() && text_[pos_] == '#') {
                while (pos_ < text_.size() && text_[pos_] != '\n')
                    pos_++;
                continue;
            }
            break;
        }
        Token t{0, "", line_};
        if (pos_ >= text_.size())
            return last_ = t;
        char c = text_[pos_];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$') {
            t.kind = 'A';
            while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                           text_[pos_] == '_' || text_[pos_] == '$'))
                t.text += text_[pos_++];
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.') {
            t.kind = '1';
            if (c == '-')
                t.text += text_[pos_++];
            digits(t.text);
            if (pos_ < text_.size() && text_[pos_] == '.') {
                t.text += text_[pos_++];
                digits(t.text);
            }
            if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
                t.text += text_[pos_++];
                if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-'))
                    t.text += text_[pos_++];
                digits(t.text);
            }
        } else if (c == '"') {
            t.kind = '"';
            pos_++;
            while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\n') {
                if (text_[pos_] == '\\' && pos_ + 1 < text_.size() && text_[pos_ + 1] != '\n')
                    t.text += text_[pos_++];
                t.text += text_[pos_++];
            }
            if (pos_ < text_.size() && text_[pos_] == '"')
                pos_++;
            else
                t.kind = 'U';   // unterminated
        } else {
            t.kind = c;
            t.text = std::string(1, c);
            pos_++;
        }
        return last_ = t;
    }

    void push_back() { pushed_ = true; }

private:
    void digits(std::string &out)
    {
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])))
            out += text_[pos_++];
    }

    const std::string &text_;
    size_t pos_ = 0;
    int line_ = 1;
    bool pushed_ = false;
    Token last_{0, "", 0};
};

bool is_section_word(const std::string &w)
{
    return w == "param" || w == "oparam" || w == "const" || w == "local" || w == "code" ||
           w == "initcode";
}

int words_of(const std::string &type)
{
    if (type == "float" || type == "string")
        return 1;
    if (type == "point" || type == "vector" || type == "normal" || type == "color")
        return 3;
    if (type == "matrix")
        return 16;
    return 0;
}

const char *const GLOBALS[] = {
    "Ci", "Oi", "Cs", "Os", "Ps", "P", "dPdu", "dPdv", "N", "Ng", "u", "v", "du", "dv", "s",
    "t", "L", "Cl", "Ol", "E", "I", "time", "alpha", "dsdu", "dsdv", "dtdu", "dtdv", "ncomps",
    "dtime", "dPdtime", "Pl", "Nl", "Ngl", "ul", "vl", "sl", "tl"};

bool is_label_op(const std::string &op)
{
    static const std::set<std::string> ops = {
        "ifz", "ifnz", "jump", "illuminate1", "illuminate3", "solar0", "solar2",
        "illuminance1", "illuminance2", "illuminance3", "illuminance4", "ambience0"};
    return ops.count(op) == 1;
}

struct Checker {
    Checker(FormatCheck &out, const std::string &text) : out(out), reader(text) {}
    FormatCheck &out;
    Reader reader;
    std::set<std::string> names;
    // Per code stream (0 init, 1 main): labels defined and used, last op.
    std::set<long> defined[2], used[2];
    std::string last_op[2];
    bool seen[2] = {false, false};

    void problem(const Token &t, const std::string &what)
    {
        out.problems.push_back("line " + std::to_string(t.line) + ": " + what);
    }

    void declaration(bool parameter)
    {
        Token t = reader.next();
        if (t.kind == 'A' && (t.text == "varying" || t.text == "uniform"))
            t = reader.next();
        std::string type = t.text;
        int words = t.kind == 'A' ? words_of(type) : 0;
        if (!words)
            return problem(t, "bad data type " + t.text);
        Token name = reader.next();
        if (name.kind != 'A')
            return problem(name, "bad declaration name " + name.text);
        if (!names.insert(name.text).second)
            problem(name, "declared twice: " + name.text);
        Token next = reader.next();
        if (next.kind == '[') {
            Token n = reader.next();
            Token close = reader.next();
            if (n.kind != '1' || close.kind != ']' || std::atoi(n.text.c_str()) <= 0)
                problem(n, "bad array length");
            next = reader.next();
        }
        if (type == "string") {
            if (next.kind != '"')
                problem(next, "string default missing for " + name.text);
            return;
        }
        int count = 0;
        while (next.kind == '1' && count < words) {
            count++;
            next = reader.next();
        }
        bool ok = count == words || (count == 1 && (parameter || words == 1 || type == "matrix"));
        if (!ok)
            problem(name, "wrong number of default values for " + name.text);
        if (next.kind == '"' && parameter && words == 3)
            return;   // the space of a parameter's default
        reader.push_back();
    }

    void code(int stream)
    {
        seen[stream] = true;
        for (;;) {
            Token t = reader.next();
            if (t.kind == 0 || (t.kind == 'A' && is_section_word(t.text))) {
                reader.push_back();
                return;
            }
            if (t.kind != 'A') {
                problem(t, "instruction expected, found " + t.text);
                continue;
            }
            if (t.text == "label") {
                Token n = reader.next();
                if (n.kind != '1')
                    problem(n, "bad label");
                else
                    defined[stream].insert(std::atol(n.text.c_str()));
                continue;
            }
            const shading::OpName *op = shading::find_op_name(t.text.c_str());
            if (!op) {
                problem(t, "Bad instruction: " + t.text);
                continue;
            }
            out.ops.insert(t.text);
            last_op[stream] = t.text;
            int numbers = 0, symbols = op->operands;
            if (t.text == "pushif")
                numbers = 1, symbols = 0;
            else if (t.text == "pushiv")
                numbers = 3, symbols = 0;
            else if (is_label_op(t.text))
                numbers = 1, symbols = 0;
            else if (t.text == "dsoop")
                numbers = 1, symbols = 0;
            for (int i = 0; i < numbers; i++) {
                Token n = reader.next();
                if (n.kind != '1' || n.line != t.line)
                    problem(n, "number operand expected after " + t.text);
                else if (is_label_op(t.text))
                    used[stream].insert(std::atol(n.text.c_str()));
                else if (t.text == "dsoop")
                    symbols = std::atoi(n.text.c_str());
            }
            for (int i = 0; i < symbols; i++) {
                Token s = reader.next();
                if (s.kind != 'A' || s.line != t.line) {
                    problem(s, "Bad argument after " + t.text + ": " + s.text);
                    reader.push_back();
                    break;
                }
                bool global = false;
                for (const char *g : GLOBALS)
                    global = global || s.text == g;
                if (!global && !names.count(s.text))
                    problem(s, "Bad argument: " + s.text);
            }
        }
    }

    void run()
    {
        Token t = reader.next();
        if (t.kind == 'A' && t.text == "version") {
            Token tag = reader.next(), a = reader.next(), b = reader.next(), c = reader.next();
            if (tag.text != "VELK" || a.text != "2.5" || b.text != ".0" || c.kind != 'A')
                problem(tag, "bad version line");
            t = reader.next();
        }
        static const std::set<std::string> kinds = {"surface", "light", "volume",
                                                    "displacement", "transformation", "imager"};
        if (t.kind != 'A' || !kinds.count(t.text))
            return problem(t, "Unknown shader type " + t.text);
        out.kind = t.text;
        out.name = reader.next().text;
        for (;;) {
            t = reader.next();
            if (t.kind == 0)
                break;
            if (t.kind == 'A' && (t.text == "param" || t.text == "oparam" || t.text == "local")) {
                declaration(t.text != "local");
            } else if (t.kind == 'A' && t.text == "code") {
                code(1);
            } else if (t.kind == 'A' && t.text == "initcode") {
                Token n = reader.next();
                if (n.kind != '1')
                    reader.push_back();
                code(0);
            } else {
                return problem(t, "Invalid structure " + t.text);
            }
        }
        for (int s = 0; s < 2; s++) {
            for (long label : used[s])
                if (!defined[s].count(label))
                    out.problems.push_back("label " + std::to_string(label) + " undefined");
            if (seen[s] && last_op[s] != "return")
                out.problems.push_back(std::string(s ? "code" : "initcode") + " does not end in return");
        }
        if (!seen[1])
            out.problems.push_back("no code section");
    }
};

} // namespace

FormatCheck check_format(const std::string &bytes)
{
    FormatCheck result;
    std::string text = bytes;
    size_t mark = text.find("encrypted\n");
    if (mark != std::string::npos && text.compare(0, 8, "version ") == 0 &&
        mark == text.find('\n') + 1) {
        result.encrypted = true;
        size_t start = mark + 10;
        for (size_t block = start; block < text.size(); block += shading::CIPHER_BLOCK_SIZE) {
            size_t n = std::min(shading::CIPHER_BLOCK_SIZE, text.size() - block);
            shading::stream_cipher(reinterpret_cast<unsigned char *>(&text[block]), long(n),
                                   shading::SHADER_KEY);
        }
        text.erase(mark, 10);
    }
    Checker checker(result, text);
    checker.run();
    return result;
}

} // namespace murntest
