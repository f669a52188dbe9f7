#include "shading_shaderfile/slstack.h"

#include "ri_common/rierror.h"

SLStack slstack;

// One runaway shader must not end the frame: the failed run stops where it
// is and the render goes on, so these are errors, not severe ones.
void SLStack::overflow()
{
    if (!failed_) {
        failed_ = true;
        ri_error(RIE_LIMIT, RIE_ERROR, "SL interpreter stack overflow");
    }
}

void SLStack::underflow()
{
    if (!failed_) {
        failed_ = true;
        ri_error(RIE_LIMIT, RIE_ERROR, "SL interpreter stack underflow");
    }
}

float *SLStack::scratch_words()
{
    std::memset(scratch_, 0, sizeof scratch_);
    return scratch_;
}

float *SLStack::push_failed()
{
    overflow();
    return scratch_words();
}

void SLStack::push_string(const char *s)
{
    if (failed_ || stop - 1 < 0) {
        overflow();
        return;
    }
    str[--stop] = s;
}

float *SLStack::top_failed()
{
    underflow();
    return scratch_words();
}

const char *SLStack::pop_string()
{
    if (failed_ || stop + 1 > sfloor) {
        underflow();
        return "";
    }
    return str[stop++];
}

const char **SLStack::string_top_ptr()
{
    if (failed_ || stop + 1 > sfloor) {
        underflow();
        string_scratch_ = "";
        return &string_scratch_;
    }
    return str + stop;
}

// A failed stack stays as it is; a bad count is an underflow.
void SLStack::drop_failed()
{
    if (!failed_) underflow();
}

void SLStack::drop_strings(int n)
{
    if (failed_) return;
    if (n < 0 || stop + n > sfloor) {
        underflow();
        return;
    }
    stop += n;
}

char *SLStack::reserve(int bytes, const void *init)
{
    int words = (bytes + 3) / 4;
    int newtop = top - words;
    if (newtop & 1) --newtop;
    if (failed_ || bytes < 0 || newtop < 0) {
        overflow();
        return nullptr;
    }
    top = newtop;
    if (init && bytes > 0) std::memcpy(num + top, init, bytes);
    set_floor();
    return reinterpret_cast<char *>(num + top);
}

void SLStack::restore_marks(const Marks &m)
{
    top = m.top;
    stop = m.stop;
    floor = m.floor;
    sfloor = m.sfloor;
    if (runs == 0) failed_ = false;
}
