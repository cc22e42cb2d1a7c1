// r1c: compiles the one program on standard input and writes its report to
// standard output. Arguments are ignored.
#include <malloc.h>
#include <pthread.h>
#include <csignal>

#include "front/session.hpp"
#include "front/token_queue.hpp"

int main() {
  // A reader that has gone away, or a file grown to its size limit, is a
  // failed write, reported with status 2, not a silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // The second threads (scanning ahead, generating code ahead) need little
  // stack and share the one heap, so they take little address space.
  constexpr size_t thread_stack_bytes = size_t(256) << 10;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) == 0 && pthread_attr_setstacksize(&attributes, thread_stack_bytes) == 0)
    pthread_setattr_default_np(&attributes);
  mallopt(M_ARENA_MAX, 1);
  start_scanning_ahead();
  return run_compiler();
}
