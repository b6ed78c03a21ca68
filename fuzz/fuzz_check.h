// What the fuzz targets share: a property check that stops the run with a
// message (libFuzzer reports it as a crash and keeps the input), and the
// walk over Shift_JIS text that the title properties need.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"

inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s\n", property);
  std::abort();
}

// True when a byte of set stands in text on its own, that is outside a
// well-formed double-byte character (a lead byte and a valid trail byte).
inline bool has_single_byte_of(const std::string& text, const char* set) {
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    if (is_sjis_lead(byte) && i + 1 < text.size() &&
        is_sjis_trail(static_cast<unsigned char>(text[i + 1]))) {
      i += 2;
      continue;
    }
    if (byte != '\0' && std::strchr(set, byte) != nullptr) return true;
    ++i;
  }
  return false;
}
