// The texts of the confirmation and the registration: the question shown
// before anything is written, the scheduler command, and the notice of its
// outcome.
#pragma once

#include <string>

#include "reservation/reservation.h"

// Where a programme stands among those of its file: index from 1 to count;
// count 0 for a file of one programme.
struct programme_position {
  int index = 0;
  int count = 0;
};

// The station as the user is shown it: with its name in full-width
// parentheses when the file gave one ("DFS00420（フジテレビ）").
std::string shown_station(const reservation& r);

// A text shown about a programme of a file of several, after a line
// "番組 index/count"; unchanged for a file of one.
std::string with_programme_position(const std::string& text, programme_position position);

// The five-line confirmation shown before anything is written; for a
// programme of a file of several, after a line "番組 index/count".
std::string format_confirmation(const reservation& r, programme_position position = {});

// The scheduler command: launch time, /NEXT: day, the recorder command, then
// the reservation identifier, channel, times, date and title.
std::string format_scheduler_command(const reservation& r, const std::string& recorder, int no);

// The setting that holds a control byte ("rec_exec", or "[TVCH] " and the
// station for its channel), which would break the scheduler's command and
// its job; empty when neither does.
std::string setting_with_control_bytes(const reservation& r, const std::string& recorder);

// How the scheduler run ended, as the notice tells it.
struct scheduler_outcome {
  bool started = false;
  unsigned long exit_status = 0;  // meaningful only when started
  std::string output;             // what it wrote, in the tool's character set
};

// What the user is told after the scheduler command: registered, not
// started, or ended with a failure status. A failure is followed by the
// first lines of what the scheduler wrote, which say why.
std::string format_registration_notice(const std::string& command, const scheduler_outcome& result);
