// RC4 over one block: the key schedule runs afresh on every call, so each
// block is processed from the start of the key stream.
#include "shading_shaderfile/cipher.h"

#include <string>
#include <utility>
#include <vector>

namespace shading {
namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Each pair of characters gives one key byte, read as "%x" reads it: leading
// hexadecimal digits, stopping at the first other character (0 when none).
std::vector<unsigned char> key_bytes(const char *text)
{
    std::string padded(text);
    if (padded.size() % 2)
        padded += '0';
    std::vector<unsigned char> key;
    for (std::size_t i = 0; i < padded.size(); i += 2) {
        unsigned value = 0;
        for (std::size_t k = i; k < i + 2; k++) {
            int d = hex_digit(padded[k]);
            if (d < 0)
                break;
            value = value * 16 + unsigned(d);
        }
        key.push_back(static_cast<unsigned char>(value));
    }
    return key;
}

} // namespace

long stream_cipher(unsigned char *buffer, long length, const char *key_text)
{
    if (length <= 0 || !buffer || !key_text || !*key_text)
        return length;
    const std::vector<unsigned char> key = key_bytes(key_text);

    unsigned char S[256];
    for (int i = 0; i < 256; i++)
        S[i] = static_cast<unsigned char>(i);
    unsigned j = 0;
    for (unsigned i = 0; i < 256; i++) {
        j = (j + S[i] + key[i % key.size()]) & 255;
        std::swap(S[i], S[j]);
    }

    unsigned i = 0;
    j = 0;
    for (long n = 0; n < length; n++) {
        i = (i + 1) & 255;
        j = (j + S[i]) & 255;
        std::swap(S[i], S[j]);
        buffer[n] ^= S[(S[i] + S[j]) & 255];
    }
    return length;
}

} // namespace shading
