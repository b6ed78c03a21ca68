#include "reservation/register.h"

#include "app/settings.h"
#include "app/texts.h"
#include "app/zoba.h"
#include "platform/text.h"

namespace {

long l(int value) { return static_cast<long>(value); }

}  // namespace

std::string format_confirmation(const reservation& r) {
  return format_text(k_format_confirmation, r.channel.c_str(), r.station.c_str(), l(r.year),
                     l(r.month), l(r.date), l(r.start_hour), l(r.start_minute), l(r.end_hour),
                     l(r.end_minute), r.title.c_str(), l(r.month), l(r.launch_day),
                     l(r.launch_hour), l(r.launch_minute));
}

std::string format_scheduler_command(const reservation& r, const std::string& recorder, int no) {
  return format_text(
      "AT %02ld:%02ld /interactive /NEXT:%02ld %s Y%04ld %s "
      "%02ld:%02ld-%02ld:%02ld %04ld %02ld %02ld %s",
      l(r.launch_hour), l(r.launch_minute), l(r.launch_day), recorder.c_str(), l(no),
      r.channel.c_str(), l(r.start_hour), l(r.start_minute), l(r.end_hour), l(r.end_minute),
      l(r.year), l(r.month), l(r.date), r.title.c_str());
}

std::string format_registration_notice(const std::string& command,
                                       const platform::process_result& result) {
  if (!result.started) return format_text(k_format_not_started, command.c_str());
  if (result.exit_status != 0) {
    return format_text(k_format_exit_status, command.c_str(), result.exit_status);
  }
  return format_text(k_format_registered, command.c_str());
}

void register_reservation(const reservation& r) {
  if (!ask_ok_cancel(format_confirmation(r))) return;
  // A number that was not stored would be handed out again next time, and a
  // recorder naming its files by it would overwrite a recording.
  if (!advance_reservation_number()) {
    show_notice(format_text(k_format_number_not_stored, g_settings.settings_path.c_str()));
    return;
  }
  std::string command = format_scheduler_command(r, read_recorder_command(), g_settings.no);
  show_notice(format_registration_notice(command, platform::run_process(command.c_str())));
}
