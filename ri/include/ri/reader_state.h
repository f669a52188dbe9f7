// What the RIB reader asks of the front-end state: the settings of the current
// renderer that the reader and the start-up read.
#pragma once
#include "ri_common/ri.h"

// The u and v steps of the current basis (3 and 3 without a renderer).
void current_basis_steps(int &ustep, int &vstep);
// The archive search path of the current options (null when none is set).
const char *current_archive_path();
// The verbosity bits of the current options (1 without a renderer).
int current_verbosity();

// Settings of the current options that the command line gives.
void options_set_window_position(int x, int y);
void options_set_ascii_preview();
void options_set_ray_server();
void options_set_output_name(RtToken name);
