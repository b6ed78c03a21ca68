#include "reservation/register.h"

#include <algorithm>

#include "platform/text.h"
#include "reservation/texts.h"

namespace {

// How much of what a failed scheduler wrote is shown: enough for its
// reason, not a whole listing.
constexpr int k_reason_lines = 3;

// The first lines of a text, line ends made "\n", blank lines left out.
std::string first_lines(const std::string& text, int count) {
  std::string lines;
  std::size_t begin = 0;
  while (count > 0 && begin < text.size()) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin) {
      if (!lines.empty()) lines += '\n';
      lines.append(text, begin, end - begin);
      --count;
    }
    begin = end + 1;
  }
  return lines;
}

// The formats print numbers with %ld.
long as_long(int value) { return static_cast<long>(value); }

}  // namespace

std::string shown_station(const reservation& r) {
  if (r.station_name.empty()) return r.station;
  return format_text(k_format_station_name, r.station.c_str(), r.station_name.c_str());
}

std::string with_programme_position(const std::string& text, programme_position position) {
  if (position.count == 0) return text;
  std::string shown =
      format_text(k_format_programme_position, as_long(position.index), as_long(position.count)) +
      "\r\n" + text;
  cut_text(shown, k_text_limit);
  return shown;
}

std::string format_confirmation(const reservation& r, programme_position position) {
  std::string text = format_text(
      k_format_confirmation, r.channel.c_str(), shown_station(r).c_str(), as_long(r.year),
      as_long(r.month), as_long(r.date), as_long(r.start_hour), as_long(r.start_minute),
      as_long(r.end_hour), as_long(r.end_minute), r.title.c_str(), as_long(r.month),
      as_long(r.launch_day), as_long(r.launch_hour), as_long(r.launch_minute));
  return with_programme_position(text, position);
}

std::string format_scheduler_command(const reservation& r, const std::string& recorder, int no) {
  return format_text(
      "AT %02ld:%02ld /interactive /NEXT:%02ld %s Y%04ld %s "
      "%02ld:%02ld-%02ld:%02ld %04ld %02ld %02ld %s",
      as_long(r.launch_hour), as_long(r.launch_minute), as_long(r.launch_day), recorder.c_str(),
      as_long(no), r.channel.c_str(), as_long(r.start_hour), as_long(r.start_minute),
      as_long(r.end_hour), as_long(r.end_minute), as_long(r.year), as_long(r.month),
      as_long(r.date), r.title.c_str());
}

std::string format_registration_notice(const std::string& command,
                                       const scheduler_outcome& result) {
  if (result.started && result.exit_status == 0) {
    return format_text(k_format_registered, command.c_str());
  }
  std::string notice = result.started
                           ? format_text(k_format_exit_status, command.c_str(), result.exit_status)
                           : format_text(k_format_not_started, command.c_str());
  std::string reason = first_lines(result.output, k_reason_lines);
  if (!reason.empty()) notice += "\n" + reason;
  cut_text(notice, k_text_limit);
  return notice;
}

std::string setting_with_control_bytes(const reservation& r, const std::string& recorder) {
  auto has_control = [](const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
      auto byte = static_cast<unsigned char>(c);
      return byte < 0x20 || byte == 0x7F;
    });
  };
  if (has_control(recorder)) return "rec_exec";
  if (has_control(r.channel)) return "[TVCH] " + r.station;
  return {};
}
