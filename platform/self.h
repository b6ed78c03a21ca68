// The running program's own place: its path, its folder and the settings
// file zoba keeps beside it, by one rule for zoba, AT and REC.
#pragma once

#include <string>

namespace platform {

// The path separator of this system ("/" or "\\").
extern const char k_separator[];

// True where paths follow Windows' rules (a drive or a share makes a path
// full; %NAME% stands for a variable), false where they follow POSIX's.
extern const bool k_windows_paths;

// The absolute path of the running program, whole whatever its length, in
// the system's own bytes (the ANSI code page on Windows); empty when it
// cannot be told.
std::string self_path();

// The folder of the running program, without a separator at its end, in
// the system's own bytes. On Windows the cut is at the last "\" that is not
// the second byte of a double-byte character (表 is 0x95 0x5C).
std::string self_folder();

// The same folder as UTF-8: on Windows read through the wide functions, so
// that a name outside the ANSI code page survives; on POSIX self_folder.
std::string self_folder_utf8();

// The settings file beside the running program, in the bytes the profile
// functions take a path in (the ANSI code page on Windows).
std::string settings_path();

}  // namespace platform
