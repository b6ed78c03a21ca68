// Schedule arithmetic: when the scheduler job starts the recorder, and which
// end time the recorder is told. Plain minutes and day numbers: nothing
// carries into the month or the year.
#pragma once

#include "reservation/reservation.h"

// Sets the launch day and time to the programme's start moved by
// sch_start_offset minutes (a launch before day 0 falls back to the start
// itself, and the start minute moves up by one), and moves the end by
// rec_end_offset minutes, wrapping past midnight (a negative end stays).
void compute_schedule(reservation& r, int sch_start_offset, int rec_end_offset);
