// r1c: compiles the one program on standard input and writes its report to
// standard output. Arguments are ignored.
#include "front/session.hpp"

int main() { return run_compiler(); }
