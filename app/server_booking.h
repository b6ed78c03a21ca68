// Booking on the recording server the user already runs (EPGStation or
// mirakc), named by [SERVER] url= in the settings file: the server is asked
// what it is, which channel and programme the file names, and what it has
// booked already; the user is asked as for a local booking; and the server
// takes the booking, following the programme's changes itself.
#pragma once

#include <string>
#include <vector>

#include "reservation/register.h"
#include "reservation/reservation.h"
#include "reservation/server_api.h"
#include "reservation/server_ids.h"

// What the server bookings of one run share: the server, as it answered
// once, and what it holds.
struct server_run {
  bool asked = false;      // the server has been asked what it is
  bool usable = false;     // it is EPGStation or mirakc and answered
  server_address address;  // from [SERVER] url=
  std::string name;        // "EPGStation 2.7.3", "mirakc 3.1.0"
  server_kind kind = server_kind::none;
  std::vector<server_channel> channels;
  bool reservations_listed = false;
  std::vector<server_reservation> reservations;
};

// Reads [SERVER] url= into the server's address, once a run. True when it
// is set (usable or not): every booking of the run then goes to the server;
// false when the install books with AT.
bool read_server_setting(server_run& server);

// Books one scanned programme on the server: finds its channel and its
// programme, asks (with the server named and what it collides with among
// the server's reservations), and on Yes books it, telling the outcome.
// Nothing is written to the settings file but new stations. False when the
// user chose to stop a file of several there.
bool book_on_server(server_run& server, reservation& r, programme_position position);
