#include "app/notice.h"

#include "platform/platform.h"
#include "platform/text.h"
#include "reservation/texts.h"

namespace {

bool show_box(const std::string& text, bool ok_cancel) {
  std::string shown = text;
  cut_text(shown, k_text_limit);
  return platform::message_box(k_caption, shown.c_str(), ok_cancel);
}

}  // namespace

void show_notice(const std::string& text) { show_box(text, false); }

bool ask_ok_cancel(const std::string& text) { return show_box(text, true); }

platform::programme_answer ask_programme(const std::string& text) {
  std::string shown = text;
  cut_text(shown, k_text_limit);
  return platform::ask_programme(k_caption, shown.c_str());
}
