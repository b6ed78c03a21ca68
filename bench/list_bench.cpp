// Files of several programmes: what the two passes over a generated file of
// PROGRAMMES programmes cost (the count, then the blocks scanned one by
// one), against one scan of the same file as if it held one programme. The
// file is read through the reader's 64 KiB buffers from the page cache.
// Prints a Markdown table.
//
//   list_bench [PROGRAMMES...]   (default: 100 10000)
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "reservation/line_scan.h"
#include "reservation/programme_list.h"

namespace {

constexpr int k_repeats = 5;

// A block as a guide writes it, with a description of about 300 bytes of
// double-byte text (この番組は、日本の 21:00 ニュースです。 eight times).
std::string block(int number) {
  std::string description;
  for (int i = 0; i < 8; ++i) {
    description +=
        "\x82\xB1\x82\xCC\x94\xD4\x91g\x82\xCD\x81\x41\x93\xFA\x96{\x82\xCC 21:00 "
        "\x83j\x83\x85\x81[\x83X\x82\xC5\x82\xB7\x81\x42";
  }
  return "XXXBOUNDARYXXX\r\nContent-type: application/x-tv-program-info; charset=shift_jis\r\n"
         "version: 1\r\nstation: BENCH-TV\r\nyear: 2026\r\nmonth: 12\r\ndate: 08\r\n"
         "start: 17:00\r\nend: 17:30\r\nprogram-title: Programme " +
         std::to_string(number) + "\r\ngenre: 1\r\nsubgenre: 2\r\n\r\n" + description + "\r\n\r\n";
}

std::FILE* list_file(int programmes) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) std::exit(1);
  std::fputs(
      "Content-type: application/x-multi-tv-program-info; charset=shift_jis\r\n"
      "version: 1\r\nboundary: XXXBOUNDARYXXX\r\n\r\n",
      file);
  for (int i = 1; i <= programmes; ++i) std::fputs(block(i).c_str(), file);
  std::fputs("XXXBOUNDARYXXX\r\n", file);
  return file;
}

std::size_t read_file(void* source, unsigned char* buffer, std::size_t size) {
  return std::fread(buffer, 1, size, static_cast<std::FILE*>(source));
}

unsigned char g_buffer[k_scan_buffer_size];
scanned_line g_line;

std::size_t scan_all(scan_input input) {
  std::size_t scans = 0;
  while (scan_line(input, g_line) >= 0) ++scans;
  return scans;
}

std::size_t one_scan(std::FILE* file) {
  std::rewind(file);
  return scan_all(scan_source(read_file, file, g_buffer));
}

// The list's reading, with its own buffer: not for the stack.
programme_list g_list;

std::size_t count_pass(std::FILE* file) {
  std::rewind(file);
  return static_cast<std::size_t>(count_programmes(g_list, read_file, file));
}

std::size_t block_pass(std::FILE* file) {
  std::rewind(file);
  start_programme_list(g_list, read_file, file);
  std::size_t scans = 0;
  while (next_programme_block(g_list)) {
    scans += scan_all(scan_source(read_programme_block, &g_list, g_buffer));
    finish_programme_block(g_list);
  }
  return scans;
}

template <typename F>
double best_ms(F f, std::FILE* file) {
  double best = 1e30;
  for (int i = 0; i < k_repeats; ++i) {
    auto start = std::chrono::steady_clock::now();
    if (f(file) == 0) std::abort();
    std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    best = std::min(best, spent.count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes = {100, 10000};
  if (argc > 1) sizes.assign(argc - 1, 0);
  for (int i = 1; i < argc; ++i) sizes[i - 1] = std::atoi(argv[i]);
  std::printf("best of %d runs\n\n", k_repeats);
  std::printf("| programmes | file | one scan | count pass | block pass | both ÷ one scan |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|\n");
  for (int programmes : sizes) {
    std::FILE* file = list_file(programmes);
    long size = std::ftell(file);
    if (count_pass(file) != static_cast<std::size_t>(programmes)) std::abort();
    double one = best_ms(one_scan, file);
    double count = best_ms(count_pass, file);
    double blocks = best_ms(block_pass, file);
    std::printf("| %d | %ld bytes | %.2f ms | %.2f ms | %.2f ms | %.2f |\n", programmes, size, one,
                count, blocks, (count + blocks) / one);
    std::fclose(file);
  }
  return 0;
}
