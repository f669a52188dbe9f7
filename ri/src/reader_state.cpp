// The settings of the current renderer that the RIB reader and the start-up read.
#include "ri/reader_state.h"

#include "ri/renderer.h"

void current_basis_steps(int &ustep, int &vstep)
{
    Renderer *r = current_renderer;
    if (!r || !r->attributes.is_set()) {
        ustep = vstep = 3;
        return;
    }
    ustep = r->attributes->ustep;
    vstep = r->attributes->vstep;
}

const char *current_archive_path()
{
    return current_renderer ? current_renderer->options.archive_path : nullptr;
}

int current_verbosity()
{
    return current_renderer ? current_renderer->options.verbosity : 1;
}

void options_set_window_position(int x, int y)
{
    if (!current_renderer) return;
    current_renderer->options.xpos = x;
    current_renderer->options.ypos = y;
}

void options_set_ascii_preview()
{
    if (current_renderer) current_renderer->options.ascii = 1;
}

void options_set_ray_server()
{
    if (current_renderer) current_renderer->options.rayserver = 1;
}

void options_set_output_name(RtToken name)
{
    if (current_renderer) current_renderer->options.output_file = name;
}
