// Installers of the interpreter's operation modules; build_op_table runs them
// in the order of install_op_modules (optable.cpp).
#pragma once

// return, return_area, jumps, logic and copies.
void install_control_ops();
// Pushes and pops of symbols and constants.
void install_stack_ops();
