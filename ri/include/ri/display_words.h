// The words of RiDisplay that every back end reads the same way: output
// modes and compressions.
#pragma once

// Mode bits of a display mode word (1 colour, 2 alpha, 4 depth): "rgb" 1,
// "rgba" 3, "rgbz" and "rgbaz" 7, "z" 4, each also in capitals; any other
// word (and null) is reported as an arbitrary output variable and gives 3.
int display_mode_bits(const char *mode);

// "none" 0, "lzw" 1, "zip" 2; -1 for anything else.
int display_compression_code(const char *word);
