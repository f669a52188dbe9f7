#include "opstack.h"

namespace opstack {

float *words(int n)
{
    if (n <= SLStack::MAX_SPAN) return slstack.top_ptr(n);
    if (n < 0 || slstack.failed() || slstack.top + n > slstack.floor) {
        slstack.top_ptr(SLStack::MAX_SPAN + 1);   // reports the underflow
        return nullptr;
    }
    return slstack.num + slstack.top;
}

} // namespace opstack
