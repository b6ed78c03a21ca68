#include "reservation/iepg_reader.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "platform/text.h"

namespace {

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

bool is_control(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// Control bytes too: a tab would split the title into more arguments, and
// the others have no business on a command line.
bool is_replaced(unsigned char byte) {
  return is_control(byte) || std::strchr(" \"*/:;<>?|&^%", byte) != nullptr;
}

// Where the scan of one programme goes: its fields, and its notes when they
// are wanted.
struct scan_target {
  scanned_programme& out;
  bool with_notes;
};

void note(scan_target& t, int point, const char* format, ...) __attribute__((format(printf, 3, 4)));

void note(scan_target& t, int point, const char* format, ...) {
  if (!t.with_notes) return;
  va_list args;
  va_start(args, format);
  t.out.notes.push_back({point, format_text_v(format, args)});
  va_end(args);
}

std::string field_text(const char* value) {
  std::string text = value;
  cut_text(text, k_field_limit);
  return text;
}

// The value is kept whole for the look-up, which may know a longer name
// than the reservation keeps.
void apply_station(scan_target& t, const char* value) {
  t.out.programme.station = field_text(value);
  t.out.stations.emplace_back(value);
  if (t.with_notes) t.out.notes.push_back({k_trace_station, value});
}

void apply_title(scan_target& t, const char* value) {
  std::string& title = t.out.programme.title;
  title = field_text(value);
  note(t, k_trace_title_read, "ptitle:%s", title.c_str());
  sanitize_title(title);
  note(t, k_trace_title_clean, "ptitle:%s", title.c_str());
}

void apply_time(scan_target& t, int point, const char* value, int& hour, int& minute) {
  scan_time(value, hour, minute);
  note(t, point, "%ld:%ld <= %s", static_cast<long>(hour), static_cast<long>(minute), value);
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

namespace {

// Replaces each single byte that replaced() picks with "_"; double-byte
// characters are kept whole, and a lead byte without a valid second byte
// counts as a single byte.
template <typename Pick>
void replace_single_bytes(std::string& text, Pick replaced) {
  std::size_t i = 0;
  std::size_t length = std::strlen(text.c_str());
  while (i < length) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    if (is_sjis_lead(byte)) {
      if (i + 1 >= length) return;
      if (is_sjis_trail(static_cast<unsigned char>(text[i + 1]))) {
        i += 2;
        continue;
      }
    } else if (replaced(byte)) {
      text[i] = '_';
    }
    ++i;
  }
}

}  // namespace

void sanitize_title(std::string& title) {
  // A recorder that reads options after its other arguments must not be
  // handed one by a file.
  if (!title.empty() && title[0] == '-') title[0] = '_';
  replace_single_bytes(title, is_replaced);
}

void clean_station_name(std::string& name) {
  cut_text(name, k_field_limit);
  replace_single_bytes(name, is_control);
}

namespace {

// Known keys fill their fields; other keys are passed over.
void apply_iepg_line(scan_target& t, const char* key, const char* value) {
  reservation& r = t.out.programme;
  if (std::strcmp(key, "station") == 0) {
    apply_station(t, value);
  } else if (std::strcmp(key, "year") == 0) {
    r.year = scan_decimal(value);
    note(t, k_trace_year, "yyyy=%04ld <= %s", static_cast<long>(r.year), value);
  } else if (std::strcmp(key, "month") == 0) {
    r.month = scan_decimal(value);
    note(t, k_trace_month, "month: %02ld <= %s", static_cast<long>(r.month), value);
  } else if (std::strcmp(key, "date") == 0) {
    r.date = scan_decimal(value);
    note(t, k_trace_date, "date: %02ld <= %s", static_cast<long>(r.date), value);
  } else if (std::strcmp(key, "start") == 0) {
    apply_time(t, k_trace_start, value, r.start_hour, r.start_minute);
  } else if (std::strcmp(key, "end") == 0) {
    apply_time(t, k_trace_end, value, r.end_hour, r.end_minute);
  } else if (std::strcmp(key, "program-title") == 0) {
    apply_title(t, value);
  } else if (std::strcmp(key, "program-id") == 0) {
    r.program_id = field_text(value);
  } else if (std::strcmp(key, "station-name") == 0) {
    r.station_name = value;
    clean_station_name(r.station_name);
  }
}

}  // namespace

void scan_iepg_data(scan_input& input, scanned_programme& out, bool with_notes) {
  scan_target t{out, with_notes};
  scanned_line line;
  for (;;) {
    int n = scan_line(input, line);
    note(t, k_trace_line, "s1,s2=%s,%s", line.key, line.value);
    if (n <= 0) return;
    if (n == 2) apply_iepg_line(t, line.key, line.value);
  }
}

std::string station_note(const std::string& channel, const std::string& station) {
  return format_text("ch=%s <= %s", channel.c_str(), station.c_str());
}
