// The booking of one iEPG file: the run reads it programme by programme,
// looks each programme's stations up in the settings, asks the user, runs
// the scheduler and tells every outcome. The reader and the texts it uses
// are pure; this is where they meet the settings, the user and the system.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "app/server_booking.h"
#include "app/settings.h"
#include "reservation/conflicts.h"
#include "reservation/iepg_reader.h"
#include "reservation/register.h"
#include "reservation/reservation.h"

// What the bookings of one run share. It belongs to the run and starts
// empty: a new run lists the scheduler's reservations afresh.
struct booking_run {
  // This install's reservations: listed by the scheduler at the first
  // question, then kept up to date with what the run books.
  std::vector<booked_programme> booked;
  bool booked_listed = false;
  // Said before every question when the listing was not read whole: the
  // collision lines may then miss a reservation.
  std::string listing_note;
  // The stations without a channel: every one looked up (but a digital
  // one booked on a server), to enter in [TVCH]; and, for a file of
  // several, each programme's as the user is shown it, to name in one
  // notice at the end.
  new_stations to_enter;
  std::vector<std::string> to_tell;
  std::set<std::string> told;
  // Whether [SERVER] url= sends this install's bookings to a recording
  // server, read as the run starts, and that server.
  bool on_server = false;
  server_run server;
};

// Reads the file at path and carries each of its reservations as far as it
// goes, in turn, telling the user of every outcome but a cancelled
// confirmation. A file of several programmes is read twice from its first
// byte: once to count them, once to book them.
void read_iepg_file(const std::string& path);

// Looks a scanned programme's stations up in turn (the last decides the
// channel) and traces the scan's notes in order, each station's with the
// channel found. Returns the reservation with its channel.
reservation look_up_stations(booking_run& run, const scanned_programme& scanned);

// Carries a looked-up reservation on: without a channel the user is told so
// (at the end of a file of several); with one the schedule is computed and
// the reservation registered. False when the user chose to stop a file of
// several there.
bool finish_reservation(booking_run& run, reservation& r, programme_position position = {});

// Asks for confirmation, naming what the booking collides with among this
// install's reservations; on OK takes the next reservation number, runs the
// scheduler command, waits for it and tells the user the outcome. Nothing is
// run when the number could not be stored. A programme of several may also
// be skipped, or the file stopped: false then, and nothing after it is
// asked.
bool register_reservation(booking_run& run, const reservation& r, programme_position position = {});
