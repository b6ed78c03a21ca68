// Confirmation and registration: show the reservation, and on OK register
// the scheduler job that will start the recorder.
#pragma once

#include <string>

#include "platform/platform.h"
#include "reservation/conflicts.h"
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

// The scheduler command as the scheduler is handed it: the channel and the
// title in the system's own encoding (platform::system_text), the recorder
// command as given, already in it.
std::string system_scheduler_command(const reservation& r, const std::string& recorder, int no);

// The setting that holds a control byte ("rec_exec", or "[TVCH] " and the
// station for its channel), which would break the scheduler's command and
// its job; empty when neither does.
std::string setting_with_control_bytes(const reservation& r, const std::string& recorder);

// What the user is told after the scheduler command: registered, not
// started, or ended with a failure status. A failure is followed by the
// first lines of what the scheduler wrote, which say why.
std::string format_registration_notice(const std::string& command,
                                       const platform::process_result& result);

// Asks for confirmation, naming what the booking collides with among this
// install's reservations (listed once a run, with those booked since); on
// OK takes the next reservation number, runs the scheduler command, waits
// for it and tells the user the outcome. Nothing is run when the number
// could not be stored. A programme of several may also be skipped, or the
// file stopped: false then, and nothing after it is asked.
bool register_reservation(const reservation& r, programme_position position = {});

// Forgets the reservations listed and booked so far: the next booking lists
// them afresh, as a new run does.
void forget_booked_programmes();
