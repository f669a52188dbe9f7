// The C preprocessor that the compiler reads its source through.
#pragma once
#include <string>
#include <vector>

namespace murn {

// The first preprocessor found in the usual places, then $VELKHOME/bin/cpp;
// "" when there is none.
std::string find_preprocessor();

// The argument vector that runs the preprocessor on input: the standard
// include directory and symbols, then the options kept from the command line.
// The preprocessor's own predefined symbols are switched off, and a bare
// "-x" (which would take the input name as a language) is left out.
std::vector<std::string> preprocessor_argv(const std::string &cpp,
                                           const std::vector<std::string> &options,
                                           const std::string &input);

} // namespace murn
