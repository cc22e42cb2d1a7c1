// r1c_benchmark R1C [--megabytes N] [--runs N] [--seed N] [--directory DIR] [--shape NAME]...
//                    [--chain-operators N]
//
// For each program shape, and for one chain x = a+a+...+a of 10,000,000
// operators: generates one file, then, taking turns on that same file, runs
// r1c (input on standard input), `tcc -c FILE -o OBJECT` and `cat FILE >
// /dev/null` a number of times each, and prints the medians of each one's CPU
// time (user + system, as wait4 reports it) and wall time, the ratio of tcc's
// to r1c's in both, r1c's peak resident memory per input byte, and r1c's wall
// time against cat's. Finally the start-up cost: r1c and cat on a three-line
// program. Nothing is asserted; the numbers are printed.
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
constexpr uint64_t long_chain_operators = 10'000'000;  // the largest single tree the figures are given for

struct Options {
  std::string r1c;
  double megabytes = 100;
  int runs = 5;
  uint64_t seed = 1;
  std::string directory = "/tmp";
  std::vector<Shape> shapes;
  uint64_t chain_operators = long_chain_operators;  // 0: no chain
};

struct Run {
  double wall_seconds = 0;
  double cpu_seconds = 0;   // user + system
  long peak_kilobytes = 0;  // peak resident memory
  int status = -1;          // exit status, or -1 when the process did not exit normally
};

double seconds(const timeval &time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; }

// Runs argv with standard input from input_path (or /dev/null), standard
// output and standard error discarded.
Run run_program(const std::vector<std::string> &argv, const std::string &input_path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input_path.empty() ? "/dev/null" : input_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
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
  int wait_status;
  rusage usage;
  while (wait4(pid, &wait_status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.wall_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpu_seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  run.peak_kilobytes = usage.ru_maxrss;
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return run;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool tcc_installed() { return run_program({"sh", "-c", "command -v tcc"}, "").status == 0; }

// Timings of one program, one entry per run.
struct Series {
  std::vector<double> wall_seconds;
  std::vector<double> cpu_seconds;
  long peak_kilobytes = 0;
  bool all_succeeded = true;
};

void record(Series &series, const Run &run) {
  series.wall_seconds.push_back(run.wall_seconds);
  series.cpu_seconds.push_back(run.cpu_seconds);
  series.peak_kilobytes = std::max(series.peak_kilobytes, run.peak_kilobytes);
  if (run.status != 0) series.all_succeeded = false;
}

void print_header() {
  std::printf("%-13s %8s | %8s %8s %8s %7s | %8s %8s %8s %8s | %8s %8s\n", "", "", "r1c", "r1c", "r1c", "r1c", "tcc",
              "tcc", "tcc/r1c", "tcc/r1c", "cat", "r1c/cat");
  std::printf("%-13s %8s | %8s %8s %8s %7s | %8s %8s %8s %8s | %8s %8s\n", "shape", "input MB", "CPU s", "wall s",
              "MB/CPU s", "RSS/in", "CPU s", "wall s", "CPU", "wall", "wall s", "wall");
}

// Runs r1c, tcc and cat by turns on the file at path and prints one row.
void measure_file(const Options &options, const std::string &label, const std::string &path, size_t input_bytes,
                  bool with_tcc) {
  std::string object_path = options.directory + "/r1c_bench_tcc.o";
  Run first = run_program({options.r1c}, path);  // also brings the file into the page cache
  Series r1c, tcc, cat;
  for (int i = 0; i < options.runs; i++) {
    record(r1c, run_program({options.r1c}, path));
    if (with_tcc) record(tcc, run_program({"tcc", "-c", path, "-o", object_path}, ""));
    record(cat, run_program({"cat", path}, ""));
  }
  std::remove(object_path.c_str());

  double megabytes = double(input_bytes) / 1e6;
  double r1c_cpu = median(r1c.cpu_seconds);
  double r1c_wall = median(r1c.wall_seconds);
  std::printf("%-13s %8.1f | %8.3f %8.3f %8.1f %7.2f | ", label.c_str(), megabytes, r1c_cpu, r1c_wall,
              megabytes / r1c_cpu, double(r1c.peak_kilobytes) * 1024 / double(input_bytes));
  if (with_tcc) {
    double tcc_cpu = median(tcc.cpu_seconds);
    double tcc_wall = median(tcc.wall_seconds);
    std::printf("%8.3f %8.3f %7.2fx %7.2fx | ", tcc_cpu, tcc_wall, tcc_cpu / r1c_cpu, tcc_wall / r1c_wall);
  } else {
    std::printf("%8s %8s %8s %8s | ", "-", "-", "-", "-");
  }
  double cat_wall = median(cat.wall_seconds);
  std::printf("%8.3f %7.1fx", cat_wall, r1c_wall / cat_wall);
  if (with_tcc && !tcc.all_succeeded) std::printf("  tcc failed");
  if (first.status != 0 || !r1c.all_succeeded) std::printf("  r1c exit status %d", first.status);
  std::printf("\n");
  std::fflush(stdout);
}

// Writes a program with write_program(file), returning its size, and measures it.
template <typename Writer>
void measure_generated(const Options &options, const std::string &label, bool with_tcc, Writer write_program) {
  std::string file_name = label;
  std::replace(file_name.begin(), file_name.end(), ' ', '_');
  std::string path = options.directory + "/r1c_bench_" + file_name + ".c";
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) std::perror(path.c_str()), std::exit(2);
  size_t input_bytes = write_program(file);
  if (std::fclose(file) != 0) std::perror(path.c_str()), std::exit(2);
  measure_file(options, label, path, input_bytes, with_tcc);
  std::remove(path.c_str());
}

void measure_shape(const Options &options, Shape shape, bool with_tcc) {
  measure_generated(options, shape_name(shape), with_tcc, [&](FILE *file) {
    return generate_program(shape, size_t(options.megabytes * 1e6), options.seed, file);
  });
}

void measure_long_chain(const Options &options, bool with_tcc) {
  char label[32];
  std::snprintf(label, sizeof label, "chain %gM", double(options.chain_operators) / 1e6);
  measure_generated(options, label, with_tcc,
                    [&](FILE *file) { return generate_long_chain(options.chain_operators, file); });
}

void measure_startup(const Options &options) {
  std::string path = options.directory + "/r1c_bench_startup.c";
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) std::perror(path.c_str()), std::exit(2);
  std::fputs(three_line_program, file);
  std::fclose(file);
  Series r1c, cat;
  for (int i = 0; i < startup_runs; i++) {
    record(r1c, run_program({options.r1c}, path));
    record(cat, run_program({"cat", path}, ""));
  }
  std::remove(path.c_str());
  double r1c_ms = median(r1c.wall_seconds) * 1e3;
  double cat_ms = median(cat.wall_seconds) * 1e3;
  std::printf("\nstart-up, three-line program, median of %d runs: r1c %.3f ms, cat %.3f ms, r1c/cat %.2fx\n",
              startup_runs, r1c_ms, cat_ms, r1c_ms / cat_ms);
}

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: r1c_benchmark R1C [--megabytes N] [--runs N] [--seed N] [--directory DIR] [--shape NAME]...\n"
               "                         [--chain-operators N]\n");
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
    else if (flag == "--chain-operators")
      options.chain_operators = std::strtoull(value, nullptr, 10);
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
  std::printf("r1c %s, %d runs per program, medians\n", options.r1c.c_str(), options.runs);
  if (!with_tcc) std::printf("tcc is not installed: its columns are left empty\n");
  std::printf(
      "CPU s: user + system seconds; MB/CPU s: input megabytes per CPU second of r1c;\n"
      "RSS/in: r1c's peak resident bytes per input byte; tcc/r1c: tcc -c's seconds over r1c's\n"
      "(r1c's speed in multiples of tcc's); r1c/cat: r1c's wall seconds over cat's\n\n");
  print_header();
  for (Shape shape : options.shapes) measure_shape(options, shape, with_tcc);
  if (options.chain_operators > 0) measure_long_chain(options, with_tcc);
  measure_startup(options);
  return 0;
}
