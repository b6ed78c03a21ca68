#include "reservation/iepg_reader.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "app/notice.h"
#include "app/settings.h"
#include "app/texts.h"
#include "app/trace.h"
#include "app/trace_points.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "reservation/line_scan.h"
#include "reservation/programme_list.h"
#include "reservation/register.h"
#include "reservation/schedule.h"

namespace {

// The scan's line and file buffers: two 1 KiB items and 64 KiB are too much
// for the stack of a small tool, and a run reads one file at a time.
scanned_line g_line;
unsigned char g_file_buffer[k_scan_buffer_size];

constexpr std::uint64_t k_sum_start = 14695981039346656037ull;
constexpr std::uint64_t k_sum_prime = 1099511628211ull;

bool is_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// One number of the time scan: at most two characters of sign and digits.
// Returns false, storing nothing, when no digit was found.
bool scan_time_number(const char*& p, int& out) {
  while (is_white_space(*p)) ++p;
  int width = 2;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
    --width;
  }
  if (width == 0 || !is_digit(*p)) return false;
  int value = 0;
  for (; width > 0 && is_digit(*p); --width, ++p) value = value * 10 + (*p - '0');
  out = negative ? -value : value;
  return true;
}

// Control bytes too: a tab would split the title into more arguments, and
// the others have no business on a command line.
bool is_replaced(unsigned char byte) {
  if (byte < 0x20 || byte == 0x7F) return true;
  return std::strchr(" \"*/:;<>?|&^%", byte) != nullptr;
}

void trace_message(int point, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Builds a trace message only when the console can show it: a large file
// scanned outside debug mode must not pay for a message per line.
void trace_message(int point, const char* format, ...) {
  if (!trace_enabled()) return;
  va_list args;
  va_start(args, format);
  std::string text = format_text_v(format, args);
  va_end(args);
  trace(point, text);
}

std::string field_text(const char* value) {
  std::string text = value;
  cut_text(text, k_field_limit);
  return text;
}

void apply_station(reservation& r, const char* value) {
  // lookup_channel never enters such a station; the flag picks the notice.
  r.station_refused = !is_keepable_station(value);
  r.channel = lookup_channel(value);
  r.station = field_text(value);
  trace_message(k_trace_station, "ch=%s <= %s", r.channel.c_str(), value);
}

void apply_title(reservation& r, const char* value) {
  r.title = field_text(value);
  trace_message(k_trace_title_read, "ptitle:%s", r.title.c_str());
  sanitize_title(r.title);
  trace_message(k_trace_title_clean, "ptitle:%s", r.title.c_str());
}

void apply_time(int point, const char* value, int& hour, int& minute) {
  scan_time(value, hour, minute);
  trace_message(point, "%ld:%ld <= %s", static_cast<long>(hour), static_cast<long>(minute), value);
}

}  // namespace

int scan_decimal(const char* text) {
  const char* p = text;
  while (is_white_space(*p)) ++p;
  bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  std::uint32_t value = 0;
  for (; is_digit(*p); ++p) value = value * 10u + static_cast<std::uint32_t>(*p - '0');
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

void scan_time(const char* text, int& hour, int& minute) {
  const char* p = text;
  if (!scan_time_number(p, hour)) return;
  while (*p == ':') ++p;
  scan_time_number(p, minute);
}

void sanitize_title(std::string& title) {
  // A recorder that reads options after its other arguments must not be
  // handed one by a file.
  if (!title.empty() && title[0] == '-') title[0] = '_';
  std::size_t i = 0;
  std::size_t length = std::strlen(title.c_str());
  while (i < length) {
    unsigned char byte = static_cast<unsigned char>(title[i]);
    if (is_sjis_lead(byte)) {
      if (i + 1 >= length) return;
      if (is_sjis_trail(static_cast<unsigned char>(title[i + 1]))) {
        i += 2;
        continue;
      }
    } else if (is_replaced(byte)) {
      title[i] = '_';
    }
    ++i;
  }
}

namespace {

// Known keys fill their fields (a station is looked up in the settings);
// other keys are passed over.
void apply_iepg_line(reservation& r, const char* key, const char* value) {
  if (std::strcmp(key, "station") == 0) {
    apply_station(r, value);
  } else if (std::strcmp(key, "year") == 0) {
    r.year = scan_decimal(value);
    trace_message(k_trace_year, "yyyy=%04ld <= %s", static_cast<long>(r.year), value);
  } else if (std::strcmp(key, "month") == 0) {
    r.month = scan_decimal(value);
    trace_message(k_trace_month, "month: %02ld <= %s", static_cast<long>(r.month), value);
  } else if (std::strcmp(key, "date") == 0) {
    r.date = scan_decimal(value);
    trace_message(k_trace_date, "date: %02ld <= %s", static_cast<long>(r.date), value);
  } else if (std::strcmp(key, "start") == 0) {
    apply_time(k_trace_start, value, r.start_hour, r.start_minute);
  } else if (std::strcmp(key, "end") == 0) {
    apply_time(k_trace_end, value, r.end_hour, r.end_minute);
  } else if (std::strcmp(key, "program-title") == 0) {
    apply_title(r, value);
  } else if (std::strcmp(key, "station-name") == 0) {
    r.station_name = field_text(value);
  }
}

}  // namespace

void scan_iepg_data(scan_input& input, reservation& r) {
  for (;;) {
    int n = scan_line(input, g_line);
    trace_message(k_trace_line, "s1,s2=%s,%s", g_line.key, g_line.value);
    if (n <= 0) return;
    if (n == 2) apply_iepg_line(r, g_line.key, g_line.value);
  }
}

namespace {

// The stations of a file of several that need a channel, each named once,
// for the one notice at its end.
std::vector<std::string> g_stations_without_channel;
std::set<std::string> g_stations_noted;

// Enters the stations noted; a notice about them then says why when the
// settings file is never written.
std::string with_stations_stored(const std::string& notice) {
  if (store_new_stations()) return notice;
  std::string why = unwritable_settings_notice();
  return why.empty() ? notice : notice + "\r\n" + why;
}

}  // namespace

bool finish_reservation(reservation& r, programme_position position) {
  if (!r.station_refused && r.channel.empty() && position.count != 0) {
    std::string station = shown_station(r);
    if (g_stations_noted.insert(station).second) g_stations_without_channel.push_back(station);
    return true;
  }
  if (r.station_refused || r.channel.empty()) {
    const char* format = r.station_refused ? k_format_station_refused : k_format_no_channel;
    std::string notice = with_stations_stored(format_text(format, shown_station(r).c_str()));
    trace(k_trace_no_channel, notice);
    show_notice(with_programme_position(notice, position));
    return true;
  }
  compute_schedule(r, g_settings.sch_start_offset, g_settings.rec_end_offset);
  return register_reservation(r, position);
}

namespace {

std::size_t read_from_platform(void* source, unsigned char* buffer, std::size_t size) {
  return platform::read_input_file(static_cast<platform::input_file*>(source), buffer, size);
}

platform::input_file* open_programme_file(const std::string& path) {
  platform::input_file* file = path.empty() ? nullptr : platform::open_input_file(path.c_str());
  if (file == nullptr) {
    std::string notice = format_text(k_format_cannot_open, platform::shown_text(path).c_str());
    trace(k_trace_cannot_open, notice);
    show_notice(notice);
  }
  return file;
}

// Scanned whole and closed before anything is shown, as ever. The bytes the
// header's reading took are scanned again from memory when they all are
// (a pipe cannot be read twice); else the file is opened afresh.
void read_one_programme(platform::input_file* file, const std::string& path) {
  scan_input input;
  if (!programme_file_from_start(input, g_file_buffer)) {
    platform::close_input_file(file);
    file = open_programme_file(path);
    if (file == nullptr) return;
    input = scan_source(read_from_platform, file, g_file_buffer);
  }
  reservation r;
  scan_iepg_data(input, r);
  platform::close_input_file(file);
  finish_reservation(r);
}

// A file of several read through a sum of its bytes: the pass that books
// must read what the pass that counted read.
struct summed_file {
  platform::input_file* file = nullptr;
  bool summing = true;
  std::uint64_t sum = k_sum_start;
  std::uint64_t size = 0;
};

std::size_t read_summed(void* source, unsigned char* buffer, std::size_t size) {
  auto* summed = static_cast<summed_file*>(source);
  std::size_t got = platform::read_input_file(summed->file, buffer, size);
  if (!summed->summing) return got;
  // FNV-1a: any change to a byte, or to where bytes stand, changes it.
  for (std::size_t i = 0; i < got; ++i) summed->sum = (summed->sum ^ buffer[i]) * k_sum_prime;
  summed->size += got;
  return got;
}

// Each block is scanned as a one-programme file is, into a fresh
// reservation, and carried on before the next block is read. A block past
// the count, or a file that did not read as it was counted, was changed
// since: nothing more is booked from it, and the user is told.
void read_programmes(summed_file& file, int count) {
  summed_file counted = file;
  file.sum = k_sum_start;
  file.size = 0;
  bool same = start_programme_list(read_summed, &file);
  int index = 0;
  while (same && next_programme_block()) {
    reservation r;
    scan_input input = scan_source(read_programme_block, nullptr, g_file_buffer);
    scan_iepg_data(input, r);
    if (!finish_programme_block()) continue;
    if (index == count) {
      same = false;
      break;
    }
    if (!finish_reservation(r, {++index, count})) return;
  }
  if (!same || file.sum != counted.sum || file.size != counted.size) {
    trace(k_trace_no_channel, k_text_list_changed);
    show_notice(k_text_list_changed);
  }
}

// Every station a file of several lacks a channel for, entered in the
// settings at once and named in one notice.
void tell_stations_without_channel() {
  if (g_stations_without_channel.empty()) {
    store_new_stations();
    return;
  }
  std::string names;
  for (const std::string& station : g_stations_without_channel) {
    if (names.size() > k_text_limit) break;  // the notice is cut there anyway
    names += (names.empty() ? "" : "\r\n") + station;
  }
  g_stations_without_channel.clear();
  g_stations_noted.clear();
  std::string notice = with_stations_stored(format_text(k_format_no_channels, names.c_str()));
  trace(k_trace_no_channel, notice);
  show_notice(notice);
}

}  // namespace

void read_iepg_file(const std::string& path) {
  summed_file file;
  file.file = open_programme_file(path);
  if (file.file == nullptr) return;
  if (!start_programme_list(read_summed, &file)) {
    file.summing = false;
    read_one_programme(file.file, path);
    return;
  }
  int count = count_listed_programmes();
  if (count == 0) {
    // The header promised several, but the body never used its boundary.
    platform::close_input_file(file.file);
    show_notice(format_text(k_format_no_programmes, platform::shown_text(path).c_str()));
    return;
  }
  // Both passes read the one file opened, whatever is put in its place.
  if (platform::rewind_input_file(file.file)) {
    read_programmes(file, count);
  } else {
    show_notice(k_text_list_changed);
  }
  platform::close_input_file(file.file);
  tell_stations_without_channel();
}
