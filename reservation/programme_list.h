// Files that hold several programmes, one per block. Such a file is a
// header, then blocks between boundary lines:
//
//   Content-type: application/x-multi-tv-program-info; charset=shift_jis
//   version: 1
//   boundary: XXXBOUNDARYXXX
//
//   XXXBOUNDARYXXX
//   Content-type: application/x-tv-program-info; charset=shift_jis
//   station: ...                (one programme, as in a one-programme file)
//   XXXBOUNDARYXXX
//   (the next programme)
//
// The rules, byte for byte:
// - Lines end in LF or CR LF. A byte 0x1A ends the data, as it ends a
//   one-programme file's.
// - The header is the lines before the first line that holds nothing but
//   spaces, tabs and CRs (or before the first boundary line, once the
//   boundary is known). A header line is a key, then spaces, tabs and colons,
//   then the value, less its trailing spaces, tabs and CRs. Keys and the
//   type are compared without regard to ASCII case; the first Content-type
//   and the first usable boundary count.
// - The file holds several programmes when its header's Content-type starts
//   with "application/x-multi-tv-program" (judged on the whole line, however
//   long its key's blanks and colons) and its header gives a boundary of
//   1 to k_boundary_limit bytes on a line of at most k_boundary_line_limit
//   bytes. Every other file is read as one programme.
// - A boundary line is exactly the boundary text, then nothing but spaces,
//   tabs and CRs, ended by LF or by the end of the data; at most
//   k_boundary_line_limit bytes before its LF. Leading blanks or any other
//   byte make it a line of the block.
// - A block is the bytes after a boundary line up to the next boundary line
//   (the LF before that line included) or the end of the data. What stands
//   between the header and the first boundary line is no programme, nor is a
//   block of nothing but spaces, tabs, CRs and LFs (after a closing boundary
//   line, say).
//
// The file is read through a fixed buffer and one held line, so memory stays
// flat however many programmes it holds; counting them takes a pass of its
// own, from the start of the source again.
#pragma once

#include <cstddef>

#include "reservation/line_scan.h"

// The longest boundary text used.
inline constexpr std::size_t k_boundary_limit = 256;
// The longest boundary line (and header line naming the boundary), without
// its LF.
inline constexpr std::size_t k_boundary_line_limit = 1024;

// True when a line (without its LF) is a boundary line for boundary.
bool is_boundary_line(const char* line, std::size_t size, const char* boundary,
                      std::size_t boundary_size);

// The reading of one file: the header, then its blocks in turn. It belongs
// to the caller, who keeps it alive while the file is read (its buffer makes
// it large: not for the stack).
struct programme_list {
  scan_read read = nullptr;
  void* source = nullptr;
  const unsigned char* next = nullptr;
  const unsigned char* end = nullptr;
  bool data_ended = false;
  char boundary[k_boundary_limit + 1] = {};
  std::size_t boundary_size = 0;
  // The start of a line that may be a boundary line is held back until its
  // end tells; a line that is not one is then sent on from here.
  unsigned char held[k_boundary_line_limit + 1] = {};
  std::size_t held_size = 0;
  std::size_t flush_size = 0;
  std::size_t flush_sent = 0;
  bool in_line = false;  // past a held start: the rest of the line goes on as it is
  bool block_ended = false;
  bool more_blocks = false;  // a boundary line ended the block: another follows
  bool blank = true;         // the block so far holds only spaces, tabs, CRs and LFs
  // The raw bytes of the file; the line scan fills its own buffer from them.
  unsigned char buffer[k_scan_buffer_size] = {};
};

// Starts reading a file through read and source and reads its header. True
// when the file holds several programmes; their blocks follow, and the
// source is read no further than the header otherwise.
bool start_programme_list(programme_list& list, scan_read read, void* source);

// Moves to the next block, passing over the rest of the current one. False
// when no block is left.
bool next_programme_block(programme_list& list);

// Reads the current block's bytes into buffer: a scan_read for the line
// scan whose source is the programme_list; 0 at the end of the block.
std::size_t read_programme_block(void* list, unsigned char* buffer, std::size_t size);

// Passes over the rest of the current block; true when it held a programme
// (a byte other than space, tab, CR and LF).
bool finish_programme_block(programme_list& list);

// After start_programme_list found a file of several programmes: passes
// over every block and returns the number of programmes.
int count_listed_programmes(programme_list& list);

// Both of the above from the start: the number of programmes, or -1 for a
// file of one programme.
int count_programmes(programme_list& list, scan_read read, void* source);
