// The iEPG line scan: each line of the file as a key, a separator of spaces
// and colons, and a value. The tool's own procedure: an item that takes no
// bytes does not end the scan, as it would with formatted input.
#pragma once

#include <cstddef>
#include <cstdio>

// A key or a value holds at most this many bytes.
inline constexpr std::size_t k_item_limit = 1024;
// How much of the file is held in memory at once.
inline constexpr std::size_t k_scan_buffer_size = std::size_t{64} * 1024;

// Reads up to size bytes of a source into buffer; 0 at its end.
using scan_read = std::size_t (*)(void* source, unsigned char* buffer, std::size_t size);

// Bytes to scan. Carriage returns are dropped wherever they stand and a byte
// 0x1A ends the data. Data comes from memory, or from a source read through
// a fixed buffer so that memory stays flat whatever the file's size.
struct scan_input {
  const unsigned char* next = nullptr;
  const unsigned char* end = nullptr;
  scan_read read = nullptr;
  void* source = nullptr;
  unsigned char* buffer = nullptr;
  bool finished = false;
};

// Input over bytes in memory, which must outlive the scan.
scan_input scan_memory(const void* data, std::size_t size);

// Input over a source, read through buffer (k_scan_buffer_size bytes).
scan_input scan_source(scan_read read, void* source, unsigned char* buffer);

// Input over an open standard file, read through buffer as above.
scan_input scan_file(std::FILE* file, unsigned char* buffer);

struct scanned_line {
  char key[k_item_limit + 1];
  char value[k_item_limit + 1];
};

// Scans one line into key and value (both emptied first). Returns 2 for a
// key and a value, 1 when only one of them took bytes, 0 when neither did
// but data remains, and -1 when the data ended before anything was stored.
int scan_line(scan_input& input, scanned_line& line);
