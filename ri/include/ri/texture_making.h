// The texture-making requests forward to a back end that the module making
// texture files installs; while none is installed (the previewer) they do
// nothing.
#pragma once
#include "ri_common/texture_procs.h"

// Makes the requests call these procedures (null: do nothing again).
void install_texture_making(const TextureMaking *procs);
