// Whole-run timing: starts a program RUNS times one after another, each with
// an empty standard input and its output read and dropped (no terminal),
// and prints the median, the lowest and the highest wall time in
// microseconds. A few untimed runs go first, so that every timed run finds
// the program and its libraries in the page cache.
//
//   run_bench RUNS [--reset FROM TO] PROGRAM [ARGUMENT...]
//
// --reset copies the file FROM to TO before every run, untimed: a run that
// changes its settings file then always starts from the same one.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/process.h"

namespace {

constexpr int k_warm_up_runs = 3;

struct options {
  int runs = 0;
  const char* reset_from = nullptr;
  const char* reset_to = nullptr;
  char** argv = nullptr;
};

bool copy_file(const char* from, const char* to) {
  std::error_code error;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
  return !error;
}

// One run; its wall time in microseconds, or -1 when it could not be
// started or did not end normally.
double run_once(char** argv) {
  std::vector<std::string> words;
  for (char** word = argv; *word != nullptr; ++word) words.emplace_back(*word);
  const std::string nothing;
  platform::run_options options;
  options.input = &nothing;
  options.output_limit = 0;
  auto start = std::chrono::steady_clock::now();
  platform::run_result result = platform::run_program(words, options);
  auto end = std::chrono::steady_clock::now();
  if (!result.started || !result.exited) return -1;
  return std::chrono::duration<double, std::micro>(end - start).count();
}

bool parse(int argc, char** argv, options& o) {
  if (argc < 3) return false;
  o.runs = std::atoi(argv[1]);
  int next = 2;
  if (std::strcmp(argv[next], "--reset") == 0) {
    if (argc < 6) return false;
    o.reset_from = argv[3];
    o.reset_to = argv[4];
    next = 5;
  }
  o.argv = argv + next;
  return o.runs > 0;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: run_bench RUNS [--reset FROM TO] PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  std::vector<double> times;
  for (int i = 0; i < k_warm_up_runs + o.runs; ++i) {
    if (o.reset_from != nullptr && !copy_file(o.reset_from, o.reset_to)) {
      std::perror(o.reset_to);
      return 1;
    }
    double time = run_once(o.argv);
    if (time < 0) {
      std::fprintf(stderr, "run_bench: %s did not run to its end\n", o.argv[0]);
      return 1;
    }
    if (i >= k_warm_up_runs) times.push_back(time);
  }
  std::sort(times.begin(), times.end());
  std::size_t n = times.size();
  double median = n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  std::printf("median %.0f min %.0f max %.0f\n", median, times.front(), times.back());
  return 0;
}
