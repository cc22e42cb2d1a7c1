// The least a C++ program linked like r1c does: start, allocate a string from
// the heap through the standard library, and exit. r1c uses no iostreams, and
// neither does this, so their start-up costs the same but for r1c's larger
// image. The start-up limits test sweeps r1c from this program's smallest
// starting address-space limit upward.
#include <string>

int main(int argc, char **) {
  std::string text(size_t(argc) * 100, 's');  // past the small-string buffer
  return text.size() == 100 ? 0 : 1;
}
