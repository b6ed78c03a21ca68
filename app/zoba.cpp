#include "app/zoba.h"

#include "app/settings.h"
#include "app/texts.h"
#include "app/trace.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "reservation/iepg_reader.h"

namespace {

constexpr char k_mutex_name[] = "ZOBA";
constexpr std::size_t k_program_path_limit = 255;

bool show_box(const std::string& text, bool ok_cancel) {
  std::string shown = text;
  cut_text(shown, k_text_limit);
  return platform::message_box(k_caption, shown.c_str(), ok_cancel);
}

// A second instance leaves without a word; only the beep tells the user.
bool another_instance_running() {
  if (platform::create_named_mutex(k_mutex_name) != platform::mutex_result::already_exists) {
    return false;
  }
  platform::beep();
  return true;
}

}  // namespace

void show_notice(const std::string& text) { show_box(text, false); }

bool ask_ok_cancel(const std::string& text) { return show_box(text, true); }

int run_zoba(const std::vector<std::string>& arguments) {
  g_settings.program_path = arguments.empty() ? std::string() : arguments[0];
  cut_text(g_settings.program_path, k_program_path_limit);
  load_settings();
  if (another_instance_running()) return k_exit_already_running;
  trace(242);
  if (arguments.size() < 2) {
    trace(247);
    show_notice(k_text_no_argument);
    return k_exit_done;
  }
  std::string iepg_path = arguments[1];
  cut_text(iepg_path, k_text_limit);
  read_iepg_file(iepg_path);
  trace(274);
  trace(281);
  if (g_settings.debug == 1) show_notice(k_text_end);
  return k_exit_done;
}
