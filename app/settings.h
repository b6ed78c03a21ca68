// The settings file: an INI file beside the program holding the integer
// settings and the recorder command in [ZOBA] and the station-to-channel map
// in [TVCH]. It is the tool's only persistent state.
#pragma once

#include <set>
#include <string>
#include <vector>

struct settings {
  int debug = 0;
  int sch_start_offset = -1;
  int rec_end_offset = 0;
  // The last reservation number handed out (the key "no"): each booking
  // takes the next, so that its jobs and recordings never share a name.
  int reservation_number = 0;
  // How many recordings may run at once: more overlapping bookings get a
  // warning in the confirmation.
  int tuners = 1;
  std::string program_path;
  std::string settings_path;
};

// The environment variable in which zoba hands the scheduler it starts the
// absolute path of its settings file: AT reads it to tell installs apart,
// so the name must stay the one AT reads.
inline constexpr char k_install_variable[] = "ZOBA_SETTINGS";

// The settings file's name as zoba keeps it under its usual name: AT typed
// by hand and REC read the one of that name in their own folder.
inline constexpr char k_settings_file_name[] = "zoba.ini";

// The settings of this run, loaded once at start; only the reservation
// number changes later.
extern settings g_settings;

// The settings file beside a program: a three-letter extension replaced by
// ".ini", or ".ini" appended.
std::string settings_path_for(const std::string& program_path);

// "%04d": zero-padded to four digits, wider numbers in full.
std::string format_reservation_number(int no);

// Derives the settings path from g_settings.program_path, reads the five
// integers and writes back the default of each missing one. Opens the trace
// console as soon as debug reads 1.
void load_settings();

// True for a station name that can stand as a key of [TVCH]: one that
// starts with "[" or ";" or holds "=" or a control byte would be read back
// as a section, a comment or another key and value, and is never written.
bool is_keepable_station(const std::string& station);

// The stations a run looked up and found without a channel, in the order
// met, each once: entered in [TVCH] with an empty value for the user to fill
// in. It belongs to the run.
struct new_stations {
  std::vector<std::string> names;
  std::set<std::string> noted;
};

// The channel of a station from [TVCH], at most 7 bytes; with server_id, up
// to 31, where a recording server's channel id (ten digits and more) stands
// instead of a tuner channel. A station with no channel is noted in pending
// and the result is empty. A station that is not keepable is neither looked
// up nor noted, and the result is empty.
std::string lookup_channel(const std::string& station, new_stations& pending,
                           bool server_id = false);

// Enters the stations noted in pending, in one write however many, and
// forgets them. Returns false when they could not be stored.
bool store_new_stations(new_stations& pending);

// Why the settings file is never written, naming its line that is in no
// encoding of the rest of the file; empty when it can be written.
std::string unwritable_settings_notice();

// The number the next booking takes: one more, or 1 after a number a
// booking cannot write as "Y" and digits (below 0, or the last 32-bit
// one), so that every job's number reads back.
int next_reservation_number(int number);

// Moves the reservation number on (next_reservation_number) and stores it
// as "no". Returns false when the file could not be written, so that the
// same number would be handed out again.
bool advance_reservation_number();

// The recorder command (rec_exec, "REC" when missing; never written), in
// the encoding of the system's file names (platform::profile_read_path).
std::string read_recorder_command();
