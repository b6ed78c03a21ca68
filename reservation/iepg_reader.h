// The iEPG reader: scans one programme's lines into a reservation. It only
// reads bytes: the stations it meets are handed back to be looked up by the
// caller, and what a debug trace would show is handed back as notes.
#pragma once

#include <string>
#include <vector>

#include "reservation/line_scan.h"
#include "reservation/reservation.h"

// The reader's trace points: each number is printed in its trace line, so
// the numbers never change.
inline constexpr int k_trace_line = 384;     // the key and value scanned
inline constexpr int k_trace_station = 393;  // the channel found for a station
inline constexpr int k_trace_year = 399;
inline constexpr int k_trace_month = 405;
inline constexpr int k_trace_date = 411;
inline constexpr int k_trace_start = 417;
inline constexpr int k_trace_end = 423;
inline constexpr int k_trace_title_read = 429;   // the title before cleaning
inline constexpr int k_trace_title_clean = 432;  // and after

// One trace line of the scan. A k_trace_station note holds the station line's
// value alone: its channel is known only once the caller has looked it up.
struct scan_note {
  int point = 0;
  std::string text;
};

// One programme as scanned: the reservation without its channel, every
// station line's value whole and in order (the last decides the station),
// and the trace notes when they were asked for.
struct scanned_programme {
  reservation programme;
  std::vector<std::string> stations;
  std::vector<scan_note> notes;
};

// The decimal number at the head of a text: leading white space, an optional
// sign, the digits up to the first non-digit; wraps around in 32 bits; no
// digits give 0.
int scan_decimal(const char* text);

// Reads "HH:MM"-like text into hour and minute: each number is at most two
// characters of sign and digits, the colons between may be absent. What is
// not found keeps its previous value.
void scan_time(const char* text, int& hour, int& minute);

// Makes a title safe to stand as the last word of a command line: space,
// quote, the characters * / : ; < > ? | & ^ %, every control byte (0x01 to
// 0x1F, 0x7F) and a "-" that starts the title become "_". Double-byte
// characters are kept whole; a lead byte without a valid second byte counts
// as a single byte.
void sanitize_title(std::string& title);

// Makes a station's name safe to show beside it in the question: cut to
// k_field_limit bytes, and every control byte (a line end that would forge a
// line of the question among them) made "_", double-byte characters whole.
void clean_station_name(std::string& name);

// Scans every line of one programme's data into out, which starts empty.
// Notes are built only when with_notes is set: a large file scanned outside
// debug mode must not pay for a message per line.
void scan_iepg_data(scan_input& input, scanned_programme& out, bool with_notes);

// The text of a station's trace note once its channel is known.
std::string station_note(const std::string& channel, const std::string& station);
