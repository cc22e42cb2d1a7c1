// The code generator: one walk over the tree that writes pseudo-assembly for
// a machine with one register, R1.
#pragma once
#include <cstdint>

struct Node;

extern int64_t count;  // next temporary number ("Temp" and "temp" share it)
extern int64_t label;  // next label number

void generate(const Node *node);
// As generate, but without code for the subtree `done` (a placeholder for
// statements whose code is written already) wherever it appears.
void generate_leaving_out(const Node *root, const Node *done);

void codegen_reset();  // both counters back to 1
