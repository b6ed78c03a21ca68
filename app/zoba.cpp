#include "app/zoba.h"

#include "app/booking.h"
#include "app/notice.h"
#include "app/settings.h"
#include "app/trace.h"
#include "app/trace_points.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "reservation/texts.h"

namespace {

constexpr char k_mutex_name[] = "ZOBA";

// A second instance leaves at once; only the system's alert tells the user
// (a beep, or a notification where no terminal can ring).
bool another_instance_running() {
  if (platform::create_named_mutex(k_mutex_name) != platform::mutex_result::already_exists) {
    return false;
  }
  platform::beep();
  return true;
}

}  // namespace

int run_zoba(const std::vector<std::string>& arguments) {
  // Never cut: a shorter path would name another folder's settings file.
  g_settings.program_path = arguments.empty() ? std::string() : arguments[0];
  load_settings();
  // The scheduler tells installs apart by their settings files.
  platform::set_environment(k_install_variable, g_settings.settings_path.c_str());
  if (another_instance_running()) return k_exit_already_running;
  trace(k_trace_started);
  if (arguments.size() < 2) {
    trace(k_trace_no_argument);
    show_notice(k_text_no_argument);
    return k_exit_done;
  }
  std::string iepg_path = arguments[1];
  cut_text(iepg_path, k_text_limit);
  read_iepg_file(iepg_path);
  trace(k_trace_reserved);
  trace(k_trace_ending);
  if (g_settings.debug == 1) show_notice(k_text_end);
  return k_exit_done;
}
