// The stream cipher that hides the body of an "encrypted" compiled shader.
// The writer enciphers, and the loader deciphers, in blocks of
// CIPHER_BLOCK_SIZE bytes; every block restarts the key stream, and the same
// call does both directions.
#pragma once
#include <cstddef>

namespace shading {

// The compiled-shader key as hexadecimal text (two key bytes, 0x7D 0x2A).
inline constexpr const char SHADER_KEY[] = "7D2A";
// Bytes per enciphered block; the last block of a file may be shorter.
inline constexpr std::size_t CIPHER_BLOCK_SIZE = 8192;

// Enciphers or deciphers length bytes of buffer in place with the key given as
// hexadecimal text (an odd-length text is read as if "0" followed it). A length
// <= 0 or an empty key leaves the buffer alone. Returns length.
long stream_cipher(unsigned char *buffer, long length, const char *key_text);

} // namespace shading
