// The settings file's encoding on POSIX: the file is UTF-8, which the
// user's editor shows, while the INI rules read and write Shift_JIS. Not
// part of the seam: only the platform's files layer includes it.
#pragma once

#include <string>

namespace platform {

struct settings_text {
  std::string sjis;  // what the INI rules read and change
  std::string utf8;  // the UTF-8 file after its byte order mark, if any
  bool from_sjis;    // the file was not UTF-8: one brought over from Windows
  bool bom;          // the UTF-8 file started with a byte order mark
  // "UTF-16LE" or "UTF-16BE" for a file that starts with that mark (as
  // Notepad can save it): read and written back in it, as Windows does.
  const char* utf16;
};

// The settings file's bytes as the INI rules read them. A file with a
// UTF-16 mark is UTF-16; one that is not well-formed UTF-8 is taken to be
// Shift_JIS.
settings_text settings_text_of(const std::string& file_bytes);

// The file's new bytes, in UTF-8, after the INI rules changed its text to
// changed_sjis. Lines the change did not touch keep their exact bytes
// (characters Shift_JIS lacks included); a Shift_JIS file is converted
// whole. A UTF-16 file stays UTF-16 with its mark.
std::string settings_file_bytes(const settings_text& text, const std::string& changed_sjis);

}  // namespace platform
