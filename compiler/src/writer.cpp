#include "compiler/writer.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>

#include "compiler/driver.h"
#include "intern.h"
#include "compiler/lexer.h"
#include "compiler/messages.h"
#include "compiler/murntypes.h"
#include "compiler/nodes.h"
#include "symbols.h"
#include "platform/files.h"
#include "shading_shaderfile/cipher.h"
#include "shading_shaderfile/opnames.h"
#include "shading_shaderfile/shaderfile_words.h"

namespace murn {

std::string output_path;
std::string source_path;
int scramble_level = 0;
bool debug_lines = false;

namespace {

struct Instruction {
    ParseNode *node;
    const char *opcode;
    const char *args[3];
    int immediate;   // -1: none
    int section;     // -1: main code
};

struct Temporary {
    const char *name;
    int type;
    bool in_use;
};

struct WriterState {
    std::FILE *file = nullptr;               // the shader in memory until it is complete
    char *memory = nullptr;
    size_t memory_size = 0;
    std::string path;
    bool created = false;                    // the file did not exist before this run wrote it
    std::string block;                       // pending enciphered bytes
    std::vector<Instruction> instructions;
    int section = -1;
    int label_counter = 0;
    std::multimap<int, int> labels;          // instruction index -> label numbers
    std::vector<int> pending_labels;         // labels standing before the next instruction
    std::vector<const char *> strings;       // string constants by number
    std::vector<bool> string_declared;
    std::vector<Temporary> temporaries;
    std::unordered_map<const char *, int> string_numbers;   // interned text -> number
    long local_words = 0;                    // words of every local declared
    bool locals_reported = false;
    // -d: the last source position written and the source files read.
    const char *last_file = nullptr;
    int last_line = -1;
    std::map<const char *, std::vector<std::string>> sources;
};

WriterState &state()
{
    static WriterState s;
    return s;
}

void write_raw(const char *data, size_t size)
{
    WriterState &w = state();
    if (!w.file)
        return;
    if (scramble_level < 2) {
        std::fwrite(data, 1, size, w.file);
        return;
    }
    // Enciphered output: whole blocks, each from the start of the key stream.
    while (size > 0) {
        size_t room = shading::CIPHER_BLOCK_SIZE - w.block.size();
        size_t take = size < room ? size : room;
        w.block.append(data, take);
        data += take;
        size -= take;
        if (w.block.size() == shading::CIPHER_BLOCK_SIZE)
            flush_output();
    }
}

// The source lines of a file, for -d comments.
const std::vector<std::string> &source_lines(const char *file)
{
    WriterState &w = state();
    auto it = w.sources.find(file);
    if (it != w.sources.end())
        return it->second;
    std::vector<std::string> &lines = w.sources[file];
    if (std::FILE *in = file ? std::fopen(file, "r") : nullptr) {
        std::string line;
        int c;
        while ((c = std::fgetc(in)) != EOF) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else if (line.size() < 1023) {
                line += char(c);
            }
        }
        if (!line.empty())
            lines.push_back(line);
        std::fclose(in);
    }
    return lines;
}

void write_instruction(size_t i)
{
    WriterState &w = state();
    const Instruction &in = w.instructions[i];
    if (debug_lines && in.node && (in.node->file != w.last_file || in.node->line != w.last_line)) {
        w.last_file = in.node->file;
        w.last_line = in.node->line;
        write_output("# \"%s\", line %d\n", in.node->file ? in.node->file : "", in.node->line);
        const std::vector<std::string> &lines = source_lines(in.node->file);
        if (in.node->line >= 1 && size_t(in.node->line) <= lines.size())
            write_output("#%s\n", lines[size_t(in.node->line) - 1].c_str());
    }
    auto range = w.labels.equal_range(int(i));
    for (auto it = range.first; it != range.second; ++it)
        write_output("%s %d\n", shaderfile::LABEL_WORD, it->second);
    if (in.immediate >= 0) {
        write_output("\t%s\t%d\n", in.opcode, in.immediate);
        return;
    }
    write_output("\t%s", in.opcode);
    if (in.args[0])
        write_output("\t");
    for (const char *arg : in.args)
        if (arg)
            write_output("%s ", arg);
    write_output("\n");
}

int append(ParseNode *node, const char *opcode, const char *a1, const char *a2,
           const char *a3, int immediate)
{
    WriterState &w = state();
    // The op name is the text up to the first tab (dsoop carries its operands).
    std::string name(opcode, std::strcspn(opcode, "\t"));
    if (!shading::find_op_name(name.c_str())) {
        if (node)
            node->error("operation not available in the renderer:", intern_string(name.c_str()));
        else
            report_error_at("operation not available in the renderer:", nullptr, 0, name.c_str());
    }
    int index = int(w.instructions.size());
    for (int label : w.pending_labels)
        w.labels.emplace(index, label);
    w.pending_labels.clear();
    w.instructions.push_back({node, intern_string(opcode), {a1, a2, a3}, immediate, w.section});
    return index + 1;
}

} // namespace

bool open_output(const std::string &path)
{
    WriterState &w = state();
    w.path = path;
    w.file = open_memstream(&w.memory, &w.memory_size);
    return w.file != nullptr;
}

void close_output()
{
    WriterState &w = state();
    if (!w.file)
        return;
    flush_output();
    std::fclose(w.file);
    w.file = nullptr;
    // A failed compilation leaves whatever is at the path untouched: the code
    // goes to a file beside it, renamed over it once complete.
    // Nor does it take the place of the source or of a file the source includes.
    const char *source = !source_path.empty() && velk::same_file(source_path.c_str(), w.path.c_str())
                             ? source_path.c_str() : nullptr;
    for (const char *f : marked_files)
        if (!source && velk::same_file(f, w.path.c_str())) source = f;
    if (!error_flag && source) {
        std::fflush(stderr);
        std::fprintf(stderr, "murn error: The output \"%s\" is the source file \"%s\".\n", w.path.c_str(),
                     source);
        std::fputs("No code generated\n", stderr);
        std::fflush(stderr);
        error_flag = 1;
    }
    if (!error_flag) {
        bool existed = velk::file_exists(w.path.c_str());
        velk::OutputFile file;
        std::FILE *out = file.open(w.path) ? std::fopen(file.path().c_str(), "wb") : nullptr;
        if (!out) {
            file.discard();
            std::fflush(stderr);
            std::fprintf(stderr, "murn error: Could not open file \"%s\".\n", w.path.c_str());
            std::fputs("No code generated\n", stderr);
            std::fflush(stderr);
            error_flag = 1;
        } else {
            set_interrupt_output(file.path());
            bool written = std::fwrite(w.memory, 1, w.memory_size, out) == w.memory_size;
            written = std::fclose(out) == 0 && written && file.commit();
            set_interrupt_output("");
            if (!written) {
                std::fflush(stderr);
                std::fprintf(stderr, "murn error: Could not write file \"%s\".\n", w.path.c_str());
                std::fflush(stderr);
                error_flag = 1;
            }
            w.created = written && !existed;
        }
    }
    std::free(w.memory);
    w.memory = nullptr;
    w.memory_size = 0;
}

bool output_created()
{
    return state().created;
}

const std::string &opened_output_path()
{
    return state().path;
}

void write_output(const char *format, ...)
{
    char small[512];
    va_list ap;
    va_start(ap, format);
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) {
        va_end(ap);
        return;
    }
    if (size_t(n) < sizeof small) {
        write_raw(small, size_t(n));
    } else {
        std::string big(size_t(n) + 1, '\0');
        std::vsnprintf(&big[0], big.size(), format, ap);
        write_raw(big.data(), size_t(n));
    }
    va_end(ap);
}

void flush_output()
{
    WriterState &w = state();
    if (!w.file)
        return;
    if (!w.block.empty()) {
        std::vector<unsigned char> bytes(w.block.begin(), w.block.end());
        shading::stream_cipher(bytes.data(), long(bytes.size()), shading::SHADER_KEY);
        std::fwrite(bytes.data(), 1, bytes.size(), w.file);
        w.block.clear();
    }
    std::fflush(w.file);
}

int emit_instruction(ParseNode *node, const char *opcode, const char *a1, const char *a2,
                     const char *a3)
{
    return append(node, opcode, a1, a2, a3, -1);
}

int emit_instruction_int(ParseNode *node, const char *opcode, int immediate)
{
    return append(node, opcode, nullptr, nullptr, nullptr, immediate);
}

int instruction_count()
{
    return int(state().instructions.size());
}

void begin_initcode_section(int n)
{
    state().section = n;
}

void end_initcode_section()
{
    state().section = -1;
}

int new_label()
{
    return state().label_counter++;
}

void define_label(int n)
{
    state().pending_labels.push_back(n);
}

int string_constant_name(const char *text, bool declare)
{
    WriterState &w = state();
    text = intern_string(text);
    auto found = w.string_numbers.emplace(text, int(w.strings.size()));
    int number = found.first->second;
    if (found.second) {
        w.strings.push_back(text);
        w.string_declared.push_back(false);
    }
    if (declare && !w.string_declared[size_t(number)]) {
        w.string_declared[size_t(number)] = true;
        w.local_words++;
        write_output("%s\t%s\t$_str_%d \t\"%s\"\n", shaderfile::LOCAL_WORD, type_name(T_STRING), number,
                     text);
    }
    return number;
}

void declare_string_constants()
{
    WriterState &w = state();
    for (size_t i = 0; i < w.strings.size(); i++)
        string_constant_name(w.strings[i], true);
}

void emit_push_string(ParseNode *node, const char *text)
{
    int number = string_constant_name(text, true);
    emit_instruction(node, "pushs", intern_format("$_str_%d", number));
}

const char *escape_string_text(const char *raw)
{
    std::string text;
    for (const char *p = raw; *p; p++) {
        if (*p == '\\' || *p == '"')
            text += '\\';
        text += *p;
    }
    return intern_string(text.c_str());
}

const char *new_temporary(int type)
{
    WriterState &w = state();
    for (Temporary &t : w.temporaries)
        if (!t.in_use && t.type == type) {
            t.in_use = true;
            return t.name;
        }
    const char *name = intern_format("$_%ctmp_%d", type_letter(type), int(w.temporaries.size()));
    w.temporaries.push_back({name, type, true});
    w.local_words += type_words(type);
    write_output("%s\t%s\t%s\t%s\n", shaderfile::LOCAL_WORD, type_name(type), name, type_zero_default(type));
    return name;
}

void release_temporary(const char *name)
{
    for (Temporary &t : state().temporaries)
        if (t.name == name)
            t.in_use = false;
}

void declare_local(Symbol *symbol, bool code_line)
{
    if (symbol->declared)
        return;
    symbol->declared = true;
    state().local_words += long(type_words(symbol->type)) * std::max(symbol->arraylen, 1);
    write_output("%s\t%s\t%s", shaderfile::LOCAL_WORD, type_name(symbol->type), symbol_output_name(symbol));
    if (symbol->arraylen > 0)
        write_output("[%d]", symbol->arraylen);
    write_output("\t%s\n", type_zero_default(symbol->type));
    if (code_line)
        write_output("%s\n", shaderfile::CODE_WORD);
}

void check_local_words(const ParseNode *node, const char *name)
{
    WriterState &w = state();
    if (w.local_words <= LOCAL_WORDS_LIMIT || w.locals_reported)
        return;
    w.locals_reported = true;
    node->error(intern_format("locals and string constants need %ld words, more than the %ld of the shader "
                              "interpreter's stack:", w.local_words, LOCAL_WORDS_LIMIT),
                name);
}

void write_instructions()
{
    WriterState &w = state();
    int section = -1;
    bool first = true;
    for (size_t i = 0; i < w.instructions.size(); i++) {
        const Instruction &in = w.instructions[i];
        if (in.section < 0)
            continue;
        if (first || in.section != section) {
            write_output("%s %d\n", shaderfile::INITCODE_WORD, in.section);
            section = in.section;
            first = false;
        }
        write_instruction(i);
    }
    write_output("%s\n", shaderfile::CODE_WORD);
    for (size_t i = 0; i < w.instructions.size(); i++)
        if (w.instructions[i].section < 0)
            write_instruction(i);
    flush_output();
}

std::string format_float(float value)
{
    char text[64];
    for (int precision = 6; precision <= 9; precision++) {
        std::snprintf(text, sizeof text, "%.*g", precision, double(value));
        if (std::strtof(text, nullptr) == value || std::isnan(value))
            break;
    }
    return text;
}

void reset_writer()
{
    WriterState &w = state();
    if (w.file)
        std::fclose(w.file);
    std::free(w.memory);
    w = WriterState();
    output_path.clear();
    source_path.clear();
    scramble_level = 0;
    debug_lines = false;
}

} // namespace murn
