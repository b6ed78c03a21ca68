#include "app/settings.h"

#include <climits>

#include "app/trace.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "reservation/texts.h"

settings g_settings;

namespace {

constexpr char k_section_zoba[] = "ZOBA";
constexpr char k_section_tvch[] = "TVCH";
constexpr int k_missing = -999;
constexpr std::size_t k_channel_buffer = 8;
// A server's channel id is ten digits and more: too long for a tuner's.
constexpr std::size_t k_server_channel_buffer = 32;
constexpr std::size_t k_recorder_buffer = 512;

// Reads one integer; a missing key (or a stored -999, which cannot be told
// apart) takes the default and the default is written back.
int load_integer(const char* key, int fallback, const char* fallback_text) {
  const char* file = g_settings.settings_path.c_str();
  int value = platform::profile_read_int(k_section_zoba, key, k_missing, file);
  if (value != k_missing) return value;
  platform::profile_write_string(k_section_zoba, key, fallback_text, file);
  return fallback;
}

// A station's [TVCH] value, read through a buffer of size bytes.
std::string read_channel(const std::string& station, std::size_t size) {
  return platform::profile_read_string(k_section_tvch, station.c_str(), "", size,
                                       g_settings.settings_path.c_str());
}

}  // namespace

std::string settings_path_for(const std::string& program_path) {
  std::string path = program_path;
  if (path.size() > 4 && path[path.size() - 4] == '.') {
    path.resize(path.size() - 4);
  }
  return path + ".ini";
}

std::string format_reservation_number(int no) { return format_text("%04d", no); }

void load_settings() {
  g_settings.settings_path = settings_path_for(g_settings.program_path);
  g_settings.debug = load_integer("debug", 0, "0");
  if (g_settings.debug == 1) open_trace_console();
  g_settings.sch_start_offset = load_integer("sch_start_offset", -1, "-1");
  g_settings.rec_end_offset = load_integer("rec_end_offset", 0, "0");
  g_settings.reservation_number = load_integer("no", 0, "0");
  g_settings.tuners = load_integer("tuners", 1, "1");
}

bool is_keepable_station(const std::string& station) {
  if (!station.empty() && (station[0] == '[' || station[0] == ';')) return false;
  for (char c : station) {
    auto byte = static_cast<unsigned char>(c);
    if (byte == '=' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

std::string lookup_channel(const std::string& station, new_stations& pending, bool server_id) {
  if (!is_keepable_station(station)) return {};
  if (pending.noted.count(station) != 0) return {};
  std::string channel =
      read_channel(station, server_id ? k_server_channel_buffer : k_channel_buffer);
  if (channel.empty()) {
    pending.noted.insert(station);
    pending.names.push_back(station);
  }
  return channel;
}

bool store_new_stations(new_stations& pending) {
  // A file of thousands of new stations is written once, not once each.
  bool stored =
      platform::profile_add_keys(k_section_tvch, pending.names, g_settings.settings_path.c_str());
  pending = new_stations{};
  return stored;
}

std::string unwritable_settings_notice() {
  std::size_t line = platform::profile_unwritable_line(g_settings.settings_path.c_str());
  if (line == 0) return {};
  return format_text(k_format_settings_unwritable,
                     platform::shown_text(g_settings.settings_path).c_str(),
                     static_cast<unsigned long>(line));
}

int next_reservation_number(int number) { return number >= 0 && number < INT_MAX ? number + 1 : 1; }

bool advance_reservation_number() {
  int& number = g_settings.reservation_number;
  number = next_reservation_number(number);
  std::string text = format_reservation_number(number);
  return platform::profile_write_string(k_section_zoba, "no", text.c_str(),
                                        g_settings.settings_path.c_str());
}

std::string read_recorder_command() {
  return platform::profile_read_path(k_section_zoba, "rec_exec", "REC", k_recorder_buffer,
                                     g_settings.settings_path.c_str());
}
