// The recording's file for one attempt: made by REC before the recorder
// starts, so that no name another program or user holds (a file, a link,
// a dangling link) is ever given to a recorder, and settled when it ends.
// Portable, over the system seam rec_system.h.
#pragma once

#include <string>

#include "tools/rec/rec_run.h"

namespace rec {

struct recording_file {
  std::string name;        // the mended name, before its number
  std::string given;       // the path filled into {file}
  std::string kept;        // where the recording is (to be) kept
  std::string own_folder;  // file=fresh: the folder made for the attempt
};

// Makes the attempt's file: the first numbered name, from number on (each
// name tried raises it), that REC can make new in the recordings' folder
// (file=made), or that no entry holds there, inside a folder of REC's own
// made for the attempt (file=fresh). Empty on success, otherwise why not.
std::string prepare_file(const job& work, const values& with, int& number, recording_file& out);

// After the recorder has ended (or could not start): an empty file REC made
// is removed; with file=fresh the recording is moved into the recordings'
// folder under its planned name, or the next numbered one free, never over
// another file, and the attempt's folder removed. The bytes kept (-1: no
// file); note tells where a fresh recording was kept, or why it stayed.
long long settle_file(const job& work, recording_file& file, int& number, std::string& note);

}  // namespace rec
