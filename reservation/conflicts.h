// What a new booking collides with: the reservations this install already
// made (as the scheduler's listing shows them, or booked earlier in this
// run), read back from the seven fields every job carries, and the line the
// confirmation gains when the tuners would not suffice.
#pragma once

#include <string>
#include <vector>

#include "reservation/job_fields.h"
#include "reservation/reservation.h"

// One booked programme as its job's seven fields give it, with its window
// in minutes from a fixed day, end after start.
struct booked_programme : job_fields {
  long long start = 0;
  long long end = 0;
  // False when the fields do not read back as a job: such a programme has
  // no window and is compared with nothing.
  bool has_window = false;
};

// Every booked programme in a listing, lines that are not ours left out.
std::vector<booked_programme> read_booking_listing(const std::string& listing);

// The new reservation as its job will carry it (the fields the scheduler
// command is given), so that it compares with the listing like for like.
booked_programme booked_form(const reservation& r, int no);

// The line the confirmation gains before its question, empty when there is
// nothing to say: "※ 予約済み: …" naming the same programme (same channel,
// date and start) when it is already booked, else "※ 重なる予約: …" naming
// each overlapping one when, with them, more than tuners recordings would
// run at once. Windows that only touch do not overlap; a programme without
// a window collides with nothing.
std::string conflict_line(const booked_programme& fresh,
                          const std::vector<booked_programme>& booked, int tuners);

// The confirmation with the conflict line put before its last line (the
// question); unchanged when line is empty.
std::string with_conflict_line(const std::string& confirmation, const std::string& line);
