#include "front/session.hpp"

#include <new>

#include "codegen/codegen.hpp"
#include "common/arena.hpp"
#include "common/output.hpp"
#include "front/parser.hpp"
#include "front/scanner.hpp"

namespace {

// A standard container could not get memory (the tree printer's and the code
// generator's work stacks, say): the same end as a failed tree allocation.
int out_of_memory() {
  try {
    fatal("out of memory");
  } catch (const FatalExit &exit) {
    return exit.status;
  }
}

}  // namespace

void reset_compiler() {
  scanner_reset();
  parser_reset();
  arena_reset();
  codegen_reset();
  output_reset();
}

int run_compiler() {
  int status;
  try {
    status = yyparse();
  } catch (const FatalExit &exit) {
    status = exit.status;
  } catch (const std::bad_alloc &) {
    status = out_of_memory();
  }
  return output_flush() ? status : 2;
}

CompileResult compile_text(std::string_view input) {
  CompileResult result;
  output_to_strings(&result.out, &result.err);
  scanner_read_from_memory(input.data(), input.size());
  reset_compiler();
  result.status = run_compiler();
  reset_compiler();
  output_to_descriptors();
  return result;
}
