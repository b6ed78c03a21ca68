// The reservation: one programme as read from an iEPG file, and when the
// scheduler job is to start the recorder for it.
#pragma once

#include <cstddef>
#include <string>

// The longest station or title kept (a 256-byte field with its terminator).
inline constexpr std::size_t k_field_limit = 255;

// The title of a programme whose file names none: (タイトル不明) in
// Shift_JIS.
inline constexpr char k_title_unknown[] =
    "(\x83^\x83"
    "C\x83g\x83\x8B\x95s\x96\xBE)";

struct reservation {
  std::string station;
  std::string channel;
  // The station's name as people know it (station-name, which files that
  // name their station by a code carry); shown beside it, never looked up.
  std::string station_name;
  // The programme's event id (or whole programme id) as a digital file
  // gives it in program-id, for a recording server that books by
  // programme; empty when the file has none.
  std::string program_id;
  // The station cannot be kept in the settings file, so nothing is booked.
  bool station_refused = false;
  std::string title = k_title_unknown;
  // Numbers a file does not give stay 0.
  int year = 0;
  int month = 0;
  int date = 0;
  int start_hour = 0;
  int start_minute = 0;
  int end_hour = 0;
  int end_minute = 0;
  // Set by the schedule arithmetic.
  int launch_day = 0;
  int launch_hour = 0;
  int launch_minute = 0;
};
