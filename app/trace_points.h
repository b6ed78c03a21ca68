// The trace points: each names a place a run passes in debug mode, and its
// number is printed in the trace line, so the numbers never change.
#pragma once

// The run sequence.
inline constexpr int k_trace_started = 242;      // the single-instance check passed
inline constexpr int k_trace_no_argument = 247;  // no iEPG file on the command line
inline constexpr int k_trace_reserved = 274;     // the reservation has returned
inline constexpr int k_trace_ending = 281;       // just after it

// The booking of a file; the reader's own points are in
// reservation/iepg_reader.h.
inline constexpr int k_trace_cannot_open = 373;  // message: the notice shown
inline constexpr int k_trace_no_channel = 442;   // message: the notice shown
