// The items of every parse state, generated with the tables by lalr_gen for
// r1explain's listing of the states; r1c does not link them.
#pragma once
#include <cstdint>

struct ParseItem {
  uint8_t rule;
  uint8_t dot;  // symbols of the right side already recognised
  bool kernel;  // an item that defines the state, rather than one it predicts
};

// State s's items are parse_items[parse_item_begin[s]] up to
// parse_item_begin[s + 1], the kernel first; parse_state_count + 1 entries.
extern const ParseItem parse_items[];
extern const int parse_item_begin[];
