// The character source and tokenizer of compiled-shader text files. A file
// may switch to enciphered bytes after its header: from then on the bytes are
// read in blocks of CIPHER_BLOCK_SIZE and each block is deciphered by itself.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

// Token kinds besides single characters ('[' , ']' ...).
enum { TOK_END = -1, TOK_IDENT = 'A', TOK_NUMBER = '1', TOK_STRING = '"' };

class ShaderFileReader {
public:
    ShaderFileReader() = default;
    ~ShaderFileReader() { close(); }
    ShaderFileReader(const ShaderFileReader &) = delete;
    ShaderFileReader &operator=(const ShaderFileReader &) = delete;

    // Opens path for reading (or reads the given stream, which stays the
    // caller's) and reads the first character. False when it cannot be opened.
    bool open(const char *path, FILE *stream = nullptr);
    void close();

    // The current character, advancing to the next; -1 at the end.
    int get_char();
    // The current character without advancing.
    int peek() const { return current_; }
    // Skips white space, counting new lines; the current character (-1 at the end).
    int skip_blanks();
    // The rest of the line, its new line consumed.
    std::string read_line();
    // [A-Za-z_$][A-Za-z0-9_$]* from the current character.
    std::string read_identifier();
    // The bytes after the current character are enciphered.
    void start_deciphering();

    // The next token: its kind, its text in text.
    int next_token(std::string &text);
    // The next next_token answers this token.
    void push_back(int kind, const std::string &text);
    // The last token read from the file when it is a word, else "": at the end
    // of a complete compiled shader, the return that ends its code.
    const std::string &last_word() const { return last_word_; }

    const std::string &file_name() const { return name_; }
    int line() const { return line_; }

private:
    int read_byte();
    int scan_token(std::string &text);

    FILE *fp_ = nullptr;
    bool own_ = false;
    bool enciphered_ = false;
    std::vector<unsigned char> block_;
    size_t block_next_ = 0;
    std::string name_;
    std::string pushed_;
    int pushed_kind_ = 0;
    std::string last_word_;
    int current_ = -1;
    bool eof_ = true;
    int line_ = 1;
};

// True for [A-Za-z_$].
bool is_identifier_start(int c);
