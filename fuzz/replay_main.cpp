// A fuzz target's checks without libFuzzer, for every build's test run: each
// input file given, and its prefixes, goes through LLVMFuzzerTestOneInput.
// A prefix cuts the input at every point: a program at a token or inside one,
// so the checks see syntax errors everywhere, a report inside its tree; and
// what the checks do not know fails here and not only in a fuzz run.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

constexpr size_t every_prefix_below = 4096;  // bytes; longer inputs are cut at spread points
constexpr size_t spread_cuts = 256;          // cut points in a longer input

void run_one(const std::string &input, size_t length) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), length);
}

// Runs an input whole and cut; returns the number of runs.
size_t run_with_prefixes(const std::string &input) {
  size_t step = input.size() < every_prefix_below ? 1 : input.size() / spread_cuts;
  size_t runs = 0;
  for (size_t length = 0; length < input.size(); length += step, runs++) run_one(input, length);
  run_one(input, input.size());
  return runs + 1;
}

}  // namespace

int main(int argc, char **argv) {
  size_t runs = 0;
  for (int i = 1; i < argc; i++) {
    std::ifstream file(argv[i], std::ios::binary);
    std::string input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
      std::fprintf(stderr, "replay: cannot read %s\n", argv[i]);
      return 2;
    }
    runs += run_with_prefixes(input);
  }
  std::printf("replay: %zu inputs, %zu runs checked\n", size_t(argc - 1), runs);
  return argc > 1 ? 0 : 2;
}
