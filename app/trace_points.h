// The trace points: each names a place a run passes in debug mode, and its
// number is printed in the trace line, so the numbers never change.
#pragma once

// The run sequence.
inline constexpr int k_trace_started = 242;      // the single-instance check passed
inline constexpr int k_trace_no_argument = 247;  // no iEPG file on the command line
inline constexpr int k_trace_reserved = 274;     // the reservation has returned
inline constexpr int k_trace_ending = 281;       // just after it

// The iEPG reader.
inline constexpr int k_trace_cannot_open = 373;  // message: the notice shown
inline constexpr int k_trace_line = 384;         // message: the key and value scanned
inline constexpr int k_trace_station = 393;      // message: the channel found
inline constexpr int k_trace_year = 399;
inline constexpr int k_trace_month = 405;
inline constexpr int k_trace_date = 411;
inline constexpr int k_trace_start = 417;
inline constexpr int k_trace_end = 423;
inline constexpr int k_trace_title_read = 429;   // the title before cleaning
inline constexpr int k_trace_title_clean = 432;  // and after
inline constexpr int k_trace_no_channel = 442;   // message: the notice shown
