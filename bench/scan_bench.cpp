// Scan throughput: the iEPG line scan over a generated 256 MiB file, against
// a memchr count of its line feeds over the same bytes, in two shapes (long
// description lines, many short header lines). Prints a Markdown table.
//
//   scan_bench [MiB [long|short]]   (default: 256 MiB, both shapes)
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reservation/line_scan.h"

namespace {

constexpr int k_repeats = 5;

using bytes = std::vector<unsigned char>;

// Repeats the pattern until the buffer holds size bytes.
bytes fill(const std::string& pattern, std::size_t size) {
  bytes data(size);
  for (std::size_t i = 0; i < size; i += pattern.size()) {
    std::memcpy(data.data() + i, pattern.data(), std::min(pattern.size(), size - i));
  }
  return data;
}

// A programme description: about 1.5 KB of double-byte text with the odd
// space, colon and half-width run, then CRLF.
std::string long_lines() {
  std::string line;
  for (int i = 0; i < 60; ++i) {
    line += "\x82\xb1\x82\xcc\x94\xd4\x91\x67\x82\xcd\x81\x41\x93\xfa\x96\x7b\x82\xcc";
    line += i % 7 == 0 ? " 21:00 " : "\x81\x42";
  }
  std::string block;
  for (int i = 0; i < 8; ++i)
    block += line.substr(0, line.size() - static_cast<std::size_t>(i * 37)) + "\r\n";
  return block;
}

// Header lines of a typical file, about 15 bytes each.
std::string short_lines() {
  return "station: \x83\x65\x83\x8c\x83\x72\x93\x8c\x8b\x9e\r\nyear: 2008\r\nmonth: 03\r\n"
         "date: 29\r\nstart: 21:00\r\nend: 21:54\r\nprogram-title: Sample Show\r\n\r\n"
         "version: 1\r\n";
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs f k_repeats times and keeps the best time; f returns a count that
// is checked to be the same every time.
template <typename F>
double best_time(F f, std::size_t& count) {
  double best = 1e30;
  for (int i = 0; i < k_repeats; ++i) {
    auto start = std::chrono::steady_clock::now();
    std::size_t got = f();
    best = std::min(best, seconds_since(start));
    if (i > 0 && got != count) std::abort();
    count = got;
  }
  return best;
}

std::size_t count_line_feeds(const unsigned char* p, const unsigned char* end) {
  std::size_t lines = 0;
  while ((p = static_cast<const unsigned char*>(std::memchr(p, '\n', end - p))) != nullptr) {
    ++lines;
    ++p;
  }
  return lines;
}

std::size_t scan_all(scan_input input) {
  static scanned_line line;
  std::size_t scans = 0;
  while (scan_line(input, line) >= 0) ++scans;
  return scans;
}

// The file is read through a buffer of the scan's size, as the tool reads it.
unsigned char g_buffer[k_scan_buffer_size];

std::size_t count_line_feeds_in(std::FILE* file) {
  std::rewind(file);
  std::size_t lines = 0;
  for (std::size_t got; (got = std::fread(g_buffer, 1, sizeof g_buffer, file)) > 0;) {
    lines += count_line_feeds(g_buffer, g_buffer + got);
  }
  return lines;
}

std::size_t scan_file_from_start(std::FILE* file) {
  std::rewind(file);
  return scan_all(scan_file(file, g_buffer));
}

std::FILE* temp_file_with(const bytes& data) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr || std::fwrite(data.data(), 1, data.size(), file) != data.size()) {
    std::perror("temporary file");
    std::exit(1);
  }
  return file;
}

void print_row(const char* shape, const char* source, double mib, double base, double scan) {
  std::printf("| %s | %s | %.0f MiB/s | %.0f MiB/s | %.2f |\n", shape, source, mib / base,
              mib / scan, scan / base);
}

void measure(const char* shape, const bytes& data) {
  const unsigned char* begin = data.data();
  const unsigned char* end = begin + data.size();
  double mib = static_cast<double>(data.size()) / (1024.0 * 1024.0);
  std::size_t lines = 0, scans = 0, file_lines = 0, file_scans = 0;
  double base = best_time([&] { return count_line_feeds(begin, end); }, lines);
  double scan = best_time([&] { return scan_all(scan_memory(begin, data.size())); }, scans);
  print_row(shape, "memory", mib, base, scan);
  std::FILE* file = temp_file_with(data);
  double file_base = best_time([&] { return count_line_feeds_in(file); }, file_lines);
  double file_scan = best_time([&] { return scan_file_from_start(file); }, file_scans);
  std::fclose(file);
  if (file_lines != lines || file_scans != scans) std::abort();
  print_row(shape, "file, 64 KiB reads", mib, file_base, file_scan);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  std::size_t size = mib * 1024 * 1024;
  std::printf("%zu MiB per shape, best of %d runs\n\n", mib, k_repeats);
  std::printf("| shape | bytes from | memchr count of LF | line scan | scan ÷ memchr (time) |\n");
  std::printf("|---|---|---:|---:|---:|\n");
  std::string only = argc > 2 ? argv[2] : "";
  if (only != "short") measure("long description lines", fill(long_lines(), size));
  if (only != "long") measure("short header lines", fill(short_lines(), size));
  return 0;
}
