// Where a recording goes: the folder= setting made a full path, and how
// {file} is handed to the recorder (file=). Pure, so that both systems'
// rules are tested everywhere.
#pragma once

#include <string>

namespace rec {

// How the recording's file reaches the recorder.
enum class file_mode {
  // REC makes the file, empty and new, and the recorder writes into it.
  made,
  // For a recorder that renames or refuses a file that exists (TVTest): a
  // name no file holds, inside a folder REC makes for the attempt in the
  // recordings' folder, moved out into that folder when the recorder ends.
  fresh
};

// The prefix of the folder a "fresh" attempt records in.
inline constexpr char k_fresh_prefix[] = ".REC-";

// Reads file= (empty: made). Empty on success, otherwise why not.
std::string parse_file_mode(const std::string& text, file_mode& out);

// folder= as the full path REC records into. On POSIX a leading "~/" (or
// "~" alone) is the home folder; on Windows (windows set) the setting comes
// with its %NAME% variables already put in, and one left as written (not
// set) is refused. A path that is still relative (POSIX: not from "/";
// Windows: neither a drive's root, C:\, nor a server's share, \\server\)
// is refused. Empty on success, otherwise why not.
std::string full_folder(const std::string& setting, const std::string& home, bool windows,
                        std::string& out);

}  // namespace rec
