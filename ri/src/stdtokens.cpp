#include "ri/stdtokens.h"

#include "ri/declarations.h"
#include "ri/tokens.h"

namespace tok {
#define VELK_DEFINE_TOKEN(var, text, decl) RtToken var = nullptr;
VELK_STANDARD_TOKENS(VELK_DEFINE_TOKEN)
#undef VELK_DEFINE_TOKEN
}

void predeclare_tokens()
{
    static bool done = false;
    if (done) return;
    done = true;
#define VELK_PREDECLARE_TOKEN(var, text, decl) tok::var = (decl) ? RiDeclare(text, decl) : NewToken(text);
    VELK_STANDARD_TOKENS(VELK_PREDECLARE_TOKEN)
#undef VELK_PREDECLARE_TOKEN
    // Interned, so that they compare by identity with the renderer's tokens.
#define VELK_INTERN_RI_TOKEN(var, text) var = NewToken(text);
    VELK_RI_TOKENS(VELK_INTERN_RI_TOKEN)
#undef VELK_INTERN_RI_TOKEN
}
