// r1c_benchmark R1C [--megabytes N] [--runs N] [--seed N] [--directory DIR] [--shape NAME]...
//
// For each program shape: generates one file, then, taking turns on that same
// file, runs r1c (input on standard input), `tcc -c FILE -o OBJECT` and
// `cat FILE > /dev/null` a number of times each, and prints the medians:
// r1c's input and output throughput, its peak resident memory per input
// byte, and its time against tcc's and cat's. Finally the start-up cost: r1c
// and cat on a three-line program. Nothing is asserted; the numbers are printed.
//
// tcc's object goes to a scratch file, not to /dev/null: tcc removes its
// output file before it writes it, so a tcc run as root turns /dev/null into
// a regular file, and every later run that writes to /dev/null then fills
// that file instead of discarding its output.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "generator.hpp"

extern char **environ;

namespace {

constexpr int startup_runs = 301;  // runs of each program on the three-line file: enough for a steady median
constexpr char three_line_program[] = "int main() {\n  int x = 1;\n}\n";

struct Options {
  std::string r1c;
  double megabytes = 100;
  int runs = 5;
  uint64_t seed = 1;
  std::string directory = "/tmp";
  std::vector<Shape> shapes;
};

struct Run {
  double seconds = 0;
  long peak_kilobytes = 0;  // peak resident memory
  int status = -1;          // exit status, or -1 when the process did not exit normally
  uint64_t output_bytes = 0;
};

enum class Output { discard, count };

// Runs argv with standard input from input_path (or /dev/null) and standard
// error discarded; standard output is discarded or counted through a pipe.
Run run_program(const std::vector<std::string> &argv, const std::string &input_path, Output output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input_path.empty() ? "/dev/null" : input_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  int pipe_ends[2] = {-1, -1};
  if (output == Output::count) {
    if (pipe(pipe_ends) != 0) std::perror("pipe"), std::exit(2);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[1]);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char *> args;
  for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);

  Run run;
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(error));
    std::exit(2);
  }
  if (output == Output::count) {
    close(pipe_ends[1]);
    static char sink[1 << 16];
    ssize_t got;
    while ((got = read(pipe_ends[0], sink, sizeof sink)) != 0)
      if (got > 0)
        run.output_bytes += uint64_t(got);
      else if (errno != EINTR)
        break;
    close(pipe_ends[0]);
  }
  int wait_status;
  rusage usage;
  while (wait4(pid, &wait_status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peak_kilobytes = usage.ru_maxrss;
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return run;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool tcc_installed() { return run_program({"sh", "-c", "command -v tcc"}, "", Output::discard).status == 0; }

// Timings of one program, one entry per run.
struct Series {
  std::vector<double> seconds;
  long peak_kilobytes = 0;
  bool all_succeeded = true;
};

void record(Series &series, const Run &run) {
  series.seconds.push_back(run.seconds);
  series.peak_kilobytes = std::max(series.peak_kilobytes, run.peak_kilobytes);
  if (run.status != 0) series.all_succeeded = false;
}

void print_header() {
  std::printf("%-13s %8s %8s %9s %9s %8s %8s %8s %8s %8s\n", "shape", "input MB", "r1c s", "in MB/s", "out MB/s",
              "RSS/in", "tcc s", "tcc/r1c", "cat s", "r1c/cat");
}

void measure_shape(const Options &options, Shape shape, bool with_tcc) {
  std::string path = options.directory + "/r1c_bench_" + shape_name(shape) + ".c";
  std::string object_path = options.directory + "/r1c_bench_tcc.o";
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) std::perror(path.c_str()), std::exit(2);
  size_t input_bytes = generate_program(shape, size_t(options.megabytes * 1e6), options.seed, file);
  if (std::fclose(file) != 0) std::perror(path.c_str()), std::exit(2);

  Run first = run_program({options.r1c}, path, Output::count);  // also brings the file into the page cache
  Series r1c, tcc, cat;
  for (int i = 0; i < options.runs; i++) {
    record(r1c, run_program({options.r1c}, path, Output::discard));
    if (with_tcc) record(tcc, run_program({"tcc", "-c", path, "-o", object_path}, "", Output::discard));
    record(cat, run_program({"cat", path}, "", Output::discard));
  }
  std::remove(path.c_str());
  std::remove(object_path.c_str());

  double megabytes = double(input_bytes) / 1e6;
  double r1c_seconds = median(r1c.seconds);
  double cat_seconds = median(cat.seconds);
  std::printf("%-13s %8.1f %8.3f %9.1f %9.1f %8.2f ", shape_name(shape), megabytes, r1c_seconds,
              megabytes / r1c_seconds, double(first.output_bytes) / 1e6 / r1c_seconds,
              double(r1c.peak_kilobytes) * 1024 / double(input_bytes));
  if (with_tcc)
    std::printf("%8.3f %7.2fx%s", median(tcc.seconds), median(tcc.seconds) / r1c_seconds,
                tcc.all_succeeded ? "" : " (tcc failed)");
  else
    std::printf("%8s %8s", "-", "-");
  std::printf(" %8.3f %7.2fx", cat_seconds, r1c_seconds / cat_seconds);
  if (first.status != 0 || !r1c.all_succeeded) std::printf("  r1c exit status %d", first.status);
  std::printf("\n");
  std::fflush(stdout);
}

void measure_startup(const Options &options) {
  std::string path = options.directory + "/r1c_bench_startup.c";
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) std::perror(path.c_str()), std::exit(2);
  std::fputs(three_line_program, file);
  std::fclose(file);
  Series r1c, cat;
  for (int i = 0; i < startup_runs; i++) {
    record(r1c, run_program({options.r1c}, path, Output::discard));
    record(cat, run_program({"cat", path}, "", Output::discard));
  }
  std::remove(path.c_str());
  double r1c_ms = median(r1c.seconds) * 1e3;
  double cat_ms = median(cat.seconds) * 1e3;
  std::printf("\nstart-up, three-line program, median of %d runs: r1c %.3f ms, cat %.3f ms, r1c/cat %.2fx\n",
              startup_runs, r1c_ms, cat_ms, r1c_ms / cat_ms);
}

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: r1c_benchmark R1C [--megabytes N] [--runs N] [--seed N] [--directory DIR] [--shape NAME]...\n");
  std::exit(2);
}

Options parse_options(int argc, char **argv) {
  if (argc < 2) usage();
  Options options;
  options.r1c = argv[1];
  for (int i = 2; i < argc; i += 2) {
    std::string flag = argv[i];
    if (i + 1 >= argc) usage();
    const char *value = argv[i + 1];
    if (flag == "--megabytes")
      options.megabytes = std::atof(value);
    else if (flag == "--runs")
      options.runs = std::max(1, std::atoi(value));
    else if (flag == "--seed")
      options.seed = std::strtoull(value, nullptr, 10);
    else if (flag == "--directory")
      options.directory = value;
    else if (flag == "--shape" && shape_named(value))
      options.shapes.push_back(*shape_named(value));
    else
      usage();
  }
  if (options.shapes.empty()) options.shapes.assign(std::begin(all_shapes), std::end(all_shapes));
  return options;
}

}  // namespace

// Output is discarded by writing it to /dev/null, which must be the device
// for the times to mean anything.
void check_null_device() {
  struct stat null_device;
  if (stat("/dev/null", &null_device) == 0 && S_ISCHR(null_device.st_mode)) return;
  std::printf(
      "warning: /dev/null is not a device here, so discarded output is written to a file "
      "and the times include that (as root: rm /dev/null && mknod -m 666 /dev/null c 1 3)\n");
}

int main(int argc, char **argv) {
  Options options = parse_options(argc, argv);
  check_null_device();
  bool with_tcc = tcc_installed();
  std::printf("r1c %s, %d runs per program, medians; RSS/in is peak resident bytes per input byte\n",
              options.r1c.c_str(), options.runs);
  if (!with_tcc) std::printf("tcc is not installed: its column is left empty\n");
  std::printf(
      "tcc/r1c: tcc -c time over r1c time (r1c's speed in multiples of tcc's); "
      "r1c/cat: r1c time over cat time\n\n");
  print_header();
  for (Shape shape : options.shapes) measure_shape(options, shape, with_tcc);
  measure_startup(options);
  return 0;
}
