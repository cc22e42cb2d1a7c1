// The code generator: one walk over the tree that writes pseudo-assembly for
// a machine with one register, R1.
#pragma once
#include <cstdint>

#include "front/tree.hpp"

extern int64_t count;  // next temporary number ("Temp" and "temp" share it)
extern int64_t label;  // next label number

void generate(NodeRef root);  // the tree under root

void codegen_reset();  // both counters back to 1
