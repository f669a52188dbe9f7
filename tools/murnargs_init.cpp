// The values a text shader's parameters really start with. Defaults written
// as expressions ("point p = (4,5,6)", "float s = sin(1)") are computed by the
// shader's initialisation code, and the declarations in the file hold
// placeholders. Each initialisation section that does constant work only is
// worked out here, the way the interpreter would, on a stack of values.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "shading/opnames.h"
#include "shading/shaderfile.h"
#include "shading/shaderfile_words.h"
#include "tools/murnargs_readers.h"

namespace {

using Value = std::vector<float>;

// Values by component count of a parameter type (0: not a number).
int width_of(int type)
{
    switch (type) {
    case MA_FLOAT: return 1;
    case MA_POINT: case MA_VECTOR: case MA_NORMAL: case MA_COLOR: return 3;
    case MA_MATRIX: return 16;
    default: return 0;
    }
}

struct UnaryFunction {
    const char *name;
    float (*f)(float);
};

const UnaryFunction UNARY[] = {
    {"sin", [](float x) { return std::sin(x); }},   {"cos", [](float x) { return std::cos(x); }},
    {"tan", [](float x) { return std::tan(x); }},   {"asin", [](float x) { return std::asin(x); }},
    {"acos", [](float x) { return std::acos(x); }}, {"atan", [](float x) { return std::atan(x); }},
    {"exp", [](float x) { return std::exp(x); }},   {"log", [](float x) { return std::log(x); }},
    {"sqrt", [](float x) { return std::sqrt(x); }}, {"inversesqrt", [](float x) { return 1 / std::sqrt(x); }},
    {"floor", [](float x) { return std::floor(x); }}, {"ceil", [](float x) { return std::ceil(x); }},
    {"round", [](float x) { return std::round(x); }}, {"abs", [](float x) { return std::fabs(x); }},
    {"sign", [](float x) { return float((x > 0) - (x < 0)); }},
    {"radians", [](float x) { return x * float(M_PI / 180); }},
    {"degrees", [](float x) { return x * float(180 / M_PI); }},
};

struct BinaryFunction {
    const char *name;
    float (*f)(float, float);   // (first operand, second operand)
};

const BinaryFunction BINARY[] = {
    {"add", [](float a, float b) { return a + b; }},  {"sub", [](float a, float b) { return a - b; }},
    {"mul", [](float a, float b) { return a * b; }},  {"div", [](float a, float b) { return a / b; }},
    {"pow", [](float a, float b) { return std::pow(a, b); }},
    {"atan2", [](float a, float b) { return std::atan2(a, b); }},
    {"mod", [](float a, float b) { return a - b * std::floor(a / b); }},
    {"fmin", [](float a, float b) { return std::fmin(a, b); }}, {"vmin", [](float a, float b) { return std::fmin(a, b); }},
    {"fmax", [](float a, float b) { return std::fmax(a, b); }}, {"vmax", [](float a, float b) { return std::fmax(a, b); }},
};

// True when op is the operation of a name (any name sharing its opcode).
bool is_op(const shading::OpName *op, const char *name)
{
    const shading::OpName *named = shading::find_op_name(name);
    return named && named->opcode == op->opcode;
}

// Arithmetic names carry the operand kinds after the operation ("addvf"):
// the part that names the operation. Only the stack forms of numbers and
// triples (no operands, no matrices).
const BinaryFunction *binary_function(const shading::OpName *op)
{
    std::string name = op->name;
    for (const BinaryFunction &b : BINARY) {
        std::string n = b.name;
        if (is_op(op, b.name)) return &b;
        bool arithmetic = n == "add" || n == "sub" || n == "mul" || n == "div";
        if (!arithmetic || op->operands != 0 || name.size() != n.size() + 2 || name.compare(0, n.size(), n) != 0)
            continue;
        if (name.find_first_not_of("fvc", n.size()) == std::string::npos) return &b;
    }
    return nullptr;
}

class Section {
public:
    explicit Section(const std::map<std::string, MurnargsParam *> *params) : params_(params) {}

    // Works one instruction; false when it is not constant work.
    bool step(const std::string &name, const std::vector<std::string> &operands)
    {
        const shading::OpName *op = shading::find_op_name(name.c_str());
        if (!op) return false;
        if (is_op(op, "return")) return true;
        // Numbers follow pushif and pushiv; other ops take their symbol operands.
        if (is_op(op, "pushif") || is_op(op, "pushiv")) {
            Value v;
            for (const std::string &o : operands) v.push_back(std::strtof(o.c_str(), nullptr));
            if (v.empty()) return false;
            stack_.push_back(v);
            return true;
        }
        if (operands.size() != size_t(op->operands)) return false;
        if (is_op(op, "pushf") || is_op(op, "pushv") || is_op(op, "pushm")) {
            MurnargsParam *p = param(operands);
            if (!p) return false;
            stack_.emplace_back(p->values, p->values + width_of(p->type));
            return true;
        }
        if (is_op(op, "popf") || is_op(op, "popv") || is_op(op, "popm")) return pop_into(param(operands));
        if (is_op(op, "ftov")) {
            if (stack_.empty() || stack_.back().size() != 1) return false;
            stack_.back().assign(3, stack_.back()[0]);
            return true;
        }
        if (is_op(op, "negf") || is_op(op, "negv")) {
            if (stack_.empty()) return false;
            for (float &x : stack_.back()) x = -x;
            return true;
        }
        for (const UnaryFunction &u : UNARY) {
            if (!is_op(op, u.name)) continue;
            if (stack_.empty() || stack_.back().size() != 1) return false;
            stack_.back()[0] = u.f(stack_.back()[0]);
            return true;
        }
        if (const BinaryFunction *b = binary_function(op)) {
            if (stack_.size() < 2) return false;
            Value first = stack_.back();
            stack_.pop_back();
            Value second = stack_.back();
            stack_.pop_back();
            size_t n = std::max(first.size(), second.size());
            if ((first.size() != n && first.size() != 1) || (second.size() != n && second.size() != 1)) return false;
            Value r(n);
            for (size_t i = 0; i < n; i++) r[i] = b->f(first[first.size() == 1 ? 0 : i], second[second.size() == 1 ? 0 : i]);
            stack_.push_back(r);
            return true;
        }
        return false;
    }

    // The values the section gave, by parameter.
    const std::map<MurnargsParam *, Value> &results() const { return results_; }

private:
    MurnargsParam *param(const std::vector<std::string> &operands)
    {
        if (operands.size() != 1) return nullptr;
        auto it = params_->find(operands[0]);
        if (it == params_->end() || it->second->array_length > 0 || width_of(it->second->type) == 0) return nullptr;
        return it->second;
    }

    // A matrix is popped from 16 numbers (the first popped is the first element).
    bool pop_into(MurnargsParam *p)
    {
        if (!p || stack_.empty()) return false;
        size_t w = size_t(width_of(p->type));
        Value v;
        if (stack_.back().size() == w) {
            v = stack_.back();
            stack_.pop_back();
        } else if (w == 16) {
            for (int i = 0; i < 16; i++) {
                if (stack_.empty() || stack_.back().size() != 1) return false;
                v.push_back(stack_.back()[0]);
                stack_.pop_back();
            }
        } else {
            return false;
        }
        results_[p] = v;
        return true;
    }

    const std::map<std::string, MurnargsParam *> *params_;
    std::vector<Value> stack_;
    std::map<MurnargsParam *, Value> results_;
};

void commit(const Section &s)
{
    for (const auto &r : s.results()) {
        MurnargsParam *p = r.first;
        for (size_t i = 0; i < r.second.size(); i++) p->values[i] = r.second[i];
        p->defaulted = true;
        p->flags |= MA_HAS_DEFAULT;
    }
}

} // namespace

void murnargs_evaluate_init(const char *path, MurnargsShader &shader)
{
    ShaderFileReader in;
    if (!in.open(path)) return;
    // The parameters whose values are known: a section that is not constant
    // work leaves its parameter (numbered after "initcode") unknown.
    std::map<std::string, MurnargsParam *> known;
    for (MurnargsParam &p : shader.params) known[p.name] = &p;
    std::string line;
    bool in_section = false, constant = false;
    long index = -1;
    Section section(&known);
    auto finish = [&]() {
        if (in_section && constant) commit(section);
        if (in_section && !constant && index >= 0 && size_t(index) < shader.params.size())
            known.erase(shader.params[size_t(index)].name);
        in_section = false;
    };
    while (in.peek() != -1) {
        line.clear();
        while (in.peek() != -1 && in.peek() != '\n') line += static_cast<char>(in.get_char());
        // The rest of an enciphered shader is read deciphered.
        if (line == shaderfile::ENCRYPTED_WORD) in.start_deciphering();
        in.get_char();
        std::istringstream words(line);
        std::string op;
        if (!(words >> op)) continue;
        if (line[0] != '\t') {
            finish();
            if (op == shaderfile::CODE_WORD) break;
            if (op == shaderfile::INITCODE_WORD) {
                in_section = true;
                constant = true;
                std::string number;
                index = words >> number ? std::strtol(number.c_str(), nullptr, 10) : -1;
                section = Section(&known);
            }
            continue;
        }
        if (!in_section || !constant) continue;
        std::vector<std::string> operands;
        for (std::string o; words >> o;) operands.push_back(o);
        constant = section.step(op, operands);
    }
    finish();
}
