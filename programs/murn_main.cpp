// murn: compiles one shading-language source into a compiled shader.
#include "compiler/driver.h"

int main(int argc, char **argv)
{
    return murn::compiler_main(argc, argv);
}
