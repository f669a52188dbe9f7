// pevrin: the OpenGL previewer of RIB files.
#include "preview/previewer.h"

int main(int argc, char **argv)
{
    return previewer_main(argc, argv);
}
