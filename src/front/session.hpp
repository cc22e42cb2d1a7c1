// One compile from start state to exit status, for the entry point and for
// tests that run many compiles in one process.
#pragma once
#include <string>
#include <string_view>

struct CompileResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int status;       // exit status
};

// Restores every piece of process-wide state to its start: scanner, parser
// stack, tree memory, counters and pending output.
void reset_compiler();

// Parses to the end and returns the exit status; fatal conditions included.
int run_compiler();

// A whole compile of input held in memory, output captured.
CompileResult compile_text(std::string_view input);
