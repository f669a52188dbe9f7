#include "shading_shaderfile/shaderfile.h"

#include <cctype>

#include "shading_shaderfile/cipher.h"

bool is_identifier_start(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}

namespace {

bool is_identifier_char(int c)
{
    return is_identifier_start(c) || (c >= '0' && c <= '9');
}

bool is_digit(int c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool ShaderFileReader::open(const char *path, FILE *stream)
{
    close();
    name_ = path ? path : "";
    if (stream) {
        fp_ = stream;
        own_ = false;
    } else {
        fp_ = path ? std::fopen(path, "rb") : nullptr;
        own_ = true;
    }
    if (!fp_) return false;
    enciphered_ = false;
    block_.clear();
    block_next_ = 0;
    pushed_kind_ = 0;
    last_word_.clear();
    pushed_.clear();
    line_ = 1;
    eof_ = false;
    current_ = read_byte();
    return true;
}

void ShaderFileReader::close()
{
    if (fp_ && own_) std::fclose(fp_);
    fp_ = nullptr;
    eof_ = true;
    current_ = -1;
}

int ShaderFileReader::read_byte()
{
    if (eof_ || !fp_) return -1;
    if (!enciphered_) {
        int c = std::fgetc(fp_);
        if (c == EOF) eof_ = true;
        return c == EOF ? -1 : c;
    }
    if (block_next_ >= block_.size()) {
        block_.resize(shading::CIPHER_BLOCK_SIZE);
        size_t n = std::fread(block_.data(), 1, block_.size(), fp_);
        block_.resize(n);
        block_next_ = 0;
        if (n == 0) {
            eof_ = true;
            return -1;
        }
        shading::stream_cipher(block_.data(), static_cast<long>(n), shading::SHADER_KEY);
    }
    return block_[block_next_++];
}

void ShaderFileReader::start_deciphering()
{
    enciphered_ = true;
    block_.clear();
    block_next_ = 0;
}

int ShaderFileReader::get_char()
{
    int c = current_;
    if (c != -1) current_ = read_byte();
    return c;
}

int ShaderFileReader::skip_blanks()
{
    while (current_ != -1 && std::isspace(current_)) {
        if (current_ == '\n') ++line_;
        get_char();
    }
    return current_;
}

std::string ShaderFileReader::read_line()
{
    std::string s;
    while (current_ != -1 && current_ != '\n') s += static_cast<char>(get_char());
    if (current_ == '\n') {
        get_char();
        ++line_;
    }
    return s;
}

std::string ShaderFileReader::read_identifier()
{
    std::string s;
    if (!is_identifier_start(current_)) return s;
    while (is_identifier_char(current_)) s += static_cast<char>(get_char());
    return s;
}

void ShaderFileReader::push_back(int kind, const std::string &text)
{
    pushed_kind_ = kind;
    pushed_ = text;
}

int ShaderFileReader::next_token(std::string &text)
{
    if (pushed_kind_) {
        int kind = pushed_kind_;
        pushed_kind_ = 0;
        text = pushed_;
        return kind;
    }
    int kind = scan_token(text);
    if (kind != TOK_END) last_word_ = kind == TOK_IDENT ? text : std::string();
    return kind;
}

int ShaderFileReader::scan_token(std::string &text)
{
    text.clear();
    for (;;) {
        int c = skip_blanks();
        if (c == -1) return TOK_END;
        if (c != '#') break;
        read_line();
    }
    int c = current_;
    if (is_identifier_start(c)) {
        text = read_identifier();
        return TOK_IDENT;
    }
    if (is_digit(c) || c == '-' || c == '.') {
        if (current_ == '-') text += static_cast<char>(get_char());
        while (is_digit(current_)) text += static_cast<char>(get_char());
        if (current_ == '.') {
            text += static_cast<char>(get_char());
            while (is_digit(current_)) text += static_cast<char>(get_char());
        }
        if (current_ == 'e' || current_ == 'E') {
            text += static_cast<char>(get_char());
            if (current_ == '+' || current_ == '-') text += static_cast<char>(get_char());
            while (is_digit(current_)) text += static_cast<char>(get_char());
        }
        return TOK_NUMBER;
    }
    if (c == '"') {
        get_char();
        // A backslash keeps a quote or a backslash in the text.
        while (current_ != -1 && current_ != '"' && current_ != '\n' && current_ != '\r') {
            int ch = get_char();
            if (ch == '\\' && (current_ == '"' || current_ == '\\')) ch = get_char();
            text += static_cast<char>(ch);
        }
        if (current_ == '"') get_char();
        return TOK_STRING;
    }
    text = static_cast<char>(get_char());
    return c ? c : 0x100;   // a NUL byte is a token of its own too
}
