// The two message boxes through which every stage talks to the user, both
// with the tool's caption.
#pragma once

#include <string>

#include "platform/platform.h"

// A notice with only OK; returns when the user has dismissed it. The text is
// cut at the formatter's limit.
void show_notice(const std::string& text);

// A question with OK and Cancel; true exactly when the user chose OK.
bool ask_ok_cancel(const std::string& text);

// The question about one programme of several: book it, skip it, or stop
// here.
platform::programme_answer ask_programme(const std::string& text);
