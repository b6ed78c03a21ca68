// Settings size: the channel look-up of a known station and the entry of a
// new one, on settings files with few and with many stations in [TVCH].
// Prints a Markdown table: the median time of each operation, through the
// real files (lookup_channel over the POSIX profile functions: read, parse,
// and for a new station the write of a whole new file, its sync and the
// rename) and on the text alone (ini_read_string, ini_write_string), then
// how each grew from the smallest file to the largest against the file.
//
//   settings_bench FOLDER [STATIONS...]   (default: 10 and 10000 stations)
//
// The settings file is FOLDER/zoba.ini; the known station is the last one of
// [TVCH], so that the search passes every line.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/ini.h"

namespace {

constexpr int k_lookups = 200;
constexpr int k_new_stations = 50;
constexpr std::size_t k_channel_buffer = 8;

struct row {
  std::size_t stations = 0;
  std::size_t bytes = 0;
  double lookup = 0;     // microseconds per operation, median
  double entry = 0;      // through the files
  double read_text = 0;  // on the text alone
  double write_text = 0;
};

// A station name as a guide gives it: Shift_JIS letters ("テレビ") and a
// number.
std::string station(std::size_t i) { return "\x83\x65\x83\x8C\x83\x72" + std::to_string(i); }

std::string settings_text(std::size_t stations) {
  std::string text =
      "[ZOBA]\r\ndebug=0\r\nsch_start_offset=-1\r\nrec_end_offset=0\r\nno=0012\r\n[TVCH]\r\n";
  for (std::size_t i = 1; i <= stations; ++i) {
    text += station(i) + "=" + std::to_string(i % 120 + 1) + "\r\n";
  }
  return text;
}

void store(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

// The median of count timed calls of f, in microseconds; before is called
// untimed ahead of each.
template <typename Before, typename F>
double median_time(int count, Before before, F f) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    before();
    auto start = std::chrono::steady_clock::now();
    f();
    times.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "settings_bench: %s\n", what);
  std::exit(1);
}

row measure(const std::string& path, std::size_t stations) {
  std::string text = settings_text(stations);
  std::string known = station(stations);
  std::string fresh = station(stations + 1);
  row r{stations, text.size()};
  g_settings.settings_path = path;
  store(path, text);
  auto nothing = [] {};
  new_stations pending;
  r.lookup = median_time(k_lookups, nothing,
                         [&] { require(!lookup_channel(known, pending).empty(), "hit"); });
  r.entry = median_time(
      k_new_stations, [&] { store(path, text); },
      [&] {
        require(lookup_channel(fresh, pending).empty(), "a new station");
        require(store_new_stations(pending), "its entry");
      });
  r.read_text = median_time(k_lookups, nothing, [&] {
    require(!ini_read_string(text, "TVCH", known.c_str(), "", k_channel_buffer).empty(), "read");
  });
  r.write_text = median_time(k_lookups, nothing, [&] {
    require(ini_write_string(text, "TVCH", fresh.c_str(), "").size() > text.size(), "write");
  });
  return r;
}

void print_growth(const row& a, const row& b) {
  auto ratio = [](double x, double y) { return y / x; };
  std::printf("| %zu → %zu, growth | × %.0f | × %.1f | × %.1f | × %.1f | × %.1f |\n", a.stations,
              b.stations, ratio(static_cast<double>(a.bytes), b.bytes), ratio(a.lookup, b.lookup),
              ratio(a.entry, b.entry), ratio(a.read_text, b.read_text),
              ratio(a.write_text, b.write_text));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: settings_bench FOLDER [STATIONS...]\n");
    return 2;
  }
  std::string path = std::string(argv[1]) + "/zoba.ini";
  std::vector<std::size_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {10, 10000};
  std::printf("Median of %d look-ups and %d new stations; microseconds per operation\n\n",
              k_lookups, k_new_stations);
  std::printf(
      "| stations in [TVCH] | file | look-up, known station | new station entered |"
      " read (text only) | write (text only) |\n|---:|---:|---:|---:|---:|---:|\n");
  std::vector<row> rows;
  for (std::size_t stations : sizes) {
    rows.push_back(measure(path, stations));
    const row& r = rows.back();
    std::printf("| %zu | %zu bytes | %.1f µs | %.1f µs | %.1f µs | %.1f µs |\n", r.stations,
                r.bytes, r.lookup, r.entry, r.read_text, r.write_text);
  }
  if (rows.size() > 1) print_growth(rows.front(), rows.back());
  return 0;
}
