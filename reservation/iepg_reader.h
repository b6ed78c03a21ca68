// The iEPG reader: scans the programme file into a reservation, finds the
// station's channel, and hands a reservation with a channel on to the
// schedule and the registration.
#pragma once

#include <string>

#include "reservation/line_scan.h"
#include "reservation/register.h"
#include "reservation/reservation.h"

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

// Scans every line of iEPG data into the reservation (the file's part of
// read_iepg_file, also usable on bytes in memory).
void scan_iepg_data(scan_input& input, reservation& r);

// Carries a scanned reservation on: without a channel the user is told so;
// with one the schedule is computed and the reservation registered (the
// confirmation and any notice tell the programme's position in a file of
// several). False when the user chose to stop a file of several there.
bool finish_reservation(reservation& r, programme_position position = {});

// Reads the file at path and carries each of its reservations as far as it
// goes, in turn, telling the user of every outcome but a cancelled
// confirmation. A file of several programmes is read twice: once to count
// them, once to book them.
void read_iepg_file(const std::string& path);
