// The settings file's encoding on POSIX: the file is UTF-8 (which the
// user's editor shows) or Shift_JIS (brought over from Windows), while the
// INI rules read and write Shift_JIS. The file's encoding is judged on the
// whole file, never changed, and a file in no one encoding is never
// written. Not part of the seam: only the platform's files layer includes
// it.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

struct settings_text {
  std::string sjis;  // what the INI rules read and change
  // The text of a file that is not Shift_JIS, after its mark (a UTF-16
  // file's converted to UTF-8); its lines pair one to one with sjis's.
  std::string utf8;
  bool sjis_file;  // a Shift_JIS file: its bytes are the INI rules' text
  bool bom;        // the UTF-8 file started with a byte order mark
  // "UTF-16LE" or "UTF-16BE" for a file that starts with that mark (as
  // Notepad can save it): read and written back in it, as Windows does.
  const char* utf16;
  // 0, or the first line (from 1) that is not in the encoding of the rest
  // of the file (or in none): such a file is read as well as can be, but
  // never written.
  std::size_t unreadable_line;
};

// The settings file's bytes as the INI rules read them. A file with a
// UTF-16 mark is UTF-16; a file that is well-formed UTF-8 is UTF-8; one
// with no line of UTF-8 beyond ASCII is Shift_JIS. A file that mixes
// UTF-8 lines with others is read line by line, each in its own encoding.
settings_text settings_text_of(const std::string& file_bytes);

// A key name from the tool (Shift_JIS) in the form the INI text holds it
// once written: a UTF-8 file stores the name converted, and a Shift_JIS
// name with two codes for a character (such as 髙) reads back in one.
std::string settings_key(const settings_text& text, const char* key);

// Sets bytes to the file's new bytes after the INI rules changed its text
// to changed_sjis, in the file's own encoding. Bytes outside the change
// stay exactly as they were, within a changed line too. False, and bytes
// untouched, for a file with an unreadable line.
bool settings_file_bytes(const settings_text& text, const std::string& changed_sjis,
                         std::string& bytes);

// The bytes in UTF-8 of sjis[begin, end) (which lies within one line): a
// UTF-8 line's own bytes there, whatever Shift_JIS lacks; a Shift_JIS
// line's converted.
std::string settings_utf8_of(const settings_text& text, std::size_t begin, std::size_t end);

}  // namespace platform
