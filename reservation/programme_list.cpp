#include "reservation/programme_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr unsigned char k_end_of_file_byte = 0x1A;
constexpr char k_multi_type[] = "application/x-multi-tv-program";
// What is kept of a header line's key and value to judge the type: more
// than "content-type" and k_multi_type.
constexpr std::size_t k_type_keep = 64;

bool is_blank(unsigned char byte) { return byte == ' ' || byte == '\t' || byte == '\r'; }

bool refill(programme_list& list) {
  if (list.data_ended) return false;
  std::size_t got = list.read(list.source, list.buffer, k_scan_buffer_size);
  if (got == 0) {
    list.data_ended = true;
    return false;
  }
  list.next = list.buffer;
  list.end = list.buffer + got;
  const void* eof = std::memchr(list.buffer, k_end_of_file_byte, got);
  if (eof != nullptr) {
    list.end = static_cast<const unsigned char*>(eof);
    list.data_ended = true;
  }
  return true;
}

bool has_bytes(programme_list& list) {
  while (list.next == list.end) {
    if (!refill(list)) return false;
  }
  return true;
}

bool all_blank(const unsigned char* bytes, std::size_t size) {
  return std::all_of(bytes, bytes + size, is_blank);
}

// A header line's key and the start of its value, taken as the line goes
// by, however long it is: enough of each to judge the type.
struct header_parts {
  char key[k_type_keep];
  std::size_t key_size = 0;  // whole, though only k_type_keep bytes are kept
  char value[k_type_keep];
  std::size_t value_size = 0;
  int part = 0;  // 0 key, 1 the blanks and colons after it, 2 value
};

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ':'; }

void take_header_bytes(header_parts& parts, const unsigned char* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    char c = static_cast<char>(bytes[i]);
    if (parts.part == 0 && is_separator(c)) parts.part = 1;
    if (parts.part == 1 && !is_separator(c)) parts.part = 2;
    if (parts.part == 0 && parts.key_size < k_type_keep) parts.key[parts.key_size] = c;
    if (parts.part == 0) ++parts.key_size;
    if (parts.part == 2 && parts.value_size < k_type_keep) parts.value[parts.value_size++] = c;
  }
}

// Reads one line without its LF; at most limit bytes are kept, size tells
// the whole length and blank whether all of it is blank; parts, when given,
// gets the header line's parts. False when the data has ended.
bool read_line(programme_list& list, char* line, std::size_t limit, std::size_t& size, bool& blank,
               header_parts* parts = nullptr) {
  if (!has_bytes(list)) return false;
  size = 0;
  blank = true;
  while (has_bytes(list)) {
    std::size_t available = static_cast<std::size_t>(list.end - list.next);
    const void* found = std::memchr(list.next, '\n', available);
    std::size_t length =
        found == nullptr ? available : static_cast<const unsigned char*>(found) - list.next;
    std::size_t kept = std::min(size, limit);
    std::memcpy(line + kept, list.next, std::min(length, limit - kept));
    blank = blank && all_blank(list.next, length);
    if (parts != nullptr) take_header_bytes(*parts, list.next, length);
    size += length;
    list.next += length;
    if (found != nullptr) {
      ++list.next;
      break;
    }
  }
  return true;
}

bool equals_ignoring_case(const char* text, std::size_t size, const char* expected) {
  std::size_t i = 0;
  for (; i < size && expected[i] != '\0'; ++i) {
    char a = text[i], b = expected[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != b) return false;
  }
  return i == size && expected[i] == '\0';
}

struct header_line {
  const char* key;
  std::size_t key_size;
  const char* value;
  std::size_t value_size;
};

header_line split_header_line(const char* line, std::size_t size) {
  header_line h{line, 0, line, 0};
  while (h.key_size < size && std::strchr(" \t:", line[h.key_size]) == nullptr) ++h.key_size;
  std::size_t at = h.key_size;
  while (at < size && (line[at] == ' ' || line[at] == '\t' || line[at] == ':')) ++at;
  h.value = line + at;
  h.value_size = size - at;
  while (h.value_size > 0 && is_blank(static_cast<unsigned char>(h.value[h.value_size - 1]))) {
    --h.value_size;
  }
  return h;
}

// Takes the type (from the parts of the whole line) and the boundary from
// a header line. False once the type shows a file of one programme: the
// rest of the header does not matter.
bool apply_header_line(programme_list& list, const char* line, std::size_t size,
                       const header_parts& parts, bool& typed, bool& multi) {
  header_line h = split_header_line(line, size);
  if (!typed && equals_ignoring_case(parts.key, parts.key_size, "content-type")) {
    typed = true;
    std::size_t prefix = sizeof k_multi_type - 1;
    multi = parts.value_size >= prefix && equals_ignoring_case(parts.value, prefix, k_multi_type);
    return multi;
  }
  if (list.boundary_size == 0 && size <= k_boundary_line_limit && h.value_size > 0 &&
      h.value_size <= k_boundary_limit && equals_ignoring_case(h.key, h.key_size, "boundary")) {
    std::memcpy(list.boundary, h.value, h.value_size);
    list.boundary[h.value_size] = '\0';
    list.boundary_size = h.value_size;
  }
  return true;
}

enum class header_end { data_end, blank_line, boundary_line, one_programme };

header_end read_header(programme_list& list, bool& multi) {
  char line[k_boundary_line_limit + 1];
  std::size_t size = 0;
  bool blank = false;
  bool typed = false;
  header_parts parts;
  while (read_line(list, line, sizeof line, size, blank, &(parts = header_parts{}))) {
    std::size_t kept = std::min(size, sizeof line);
    if (blank) return header_end::blank_line;
    if (is_boundary_line(line, size, list.boundary, list.boundary_size)) {
      return header_end::boundary_line;
    }
    if (!apply_header_line(list, line, kept, parts, typed, multi)) return header_end::one_programme;
  }
  return header_end::data_end;
}

// Sends bytes of the block on to out (none when out is null) and notes
// whether the block is still blank.
void send(programme_list& list, const unsigned char* bytes, std::size_t size, unsigned char* out) {
  if (out != nullptr) std::memcpy(out, bytes, size);
  if (!list.blank) return;
  list.blank =
      std::all_of(bytes, bytes + size, [](unsigned char b) { return is_blank(b) || b == '\n'; });
}

void start_flush(programme_list& list) {
  list.flush_size = list.held_size;
  list.flush_sent = 0;
}

void end_block(programme_list& list, bool more) {
  list.block_ended = true;
  list.more_blocks = more;
}

bool held_is_boundary_line(const programme_list& list) {
  return is_boundary_line(reinterpret_cast<const char*>(list.held), list.held_size, list.boundary,
                          list.boundary_size);
}

// One byte at the start of a line: held while the line may still be a
// boundary line.
void hold(programme_list& list, unsigned char byte) {
  if (byte == '\n') {
    if (held_is_boundary_line(list)) {
      list.held_size = 0;
      end_block(list, true);
      return;
    }
    list.held[list.held_size++] = byte;
    start_flush(list);
    return;
  }
  std::size_t at = list.held_size;
  list.held[list.held_size++] = byte;
  bool may_be = at < list.boundary_size ? byte == static_cast<unsigned char>(list.boundary[at])
                                        : is_blank(byte) && at < k_boundary_line_limit;
  if (!may_be) {
    start_flush(list);
    list.in_line = true;
  }
}

// The data ended: a held line is a boundary line or the block's last bytes.
void end_of_data(programme_list& list) {
  bool boundary = held_is_boundary_line(list);
  if (!boundary) start_flush(list);
  if (boundary) list.held_size = 0;
  end_block(list, boundary);
}

// Sends held bytes that turned out not to start a boundary line.
std::size_t send_held(programme_list& list, unsigned char* out, std::size_t room) {
  std::size_t size = std::min(list.flush_size - list.flush_sent, room);
  send(list, list.held + list.flush_sent, size, out);
  list.flush_sent += size;
  if (list.flush_sent == list.flush_size) list.held_size = list.flush_size = 0;
  return size;
}

// Sends the rest of a line with its LF, and the lines after it that cannot
// be boundary lines (their first byte tells), as far as room allows.
std::size_t send_lines(programme_list& list, unsigned char* out, std::size_t room) {
  const unsigned char* limit =
      list.next + std::min(static_cast<std::size_t>(list.end - list.next), room);
  const unsigned char* stop = limit;
  const unsigned char* p = list.next;
  while (const void* found = std::memchr(p, '\n', static_cast<std::size_t>(limit - p))) {
    p = static_cast<const unsigned char*>(found) + 1;
    if (p == limit || *p == static_cast<unsigned char>(list.boundary[0])) {
      stop = p;
      list.in_line = false;
      break;
    }
  }
  std::size_t size = static_cast<std::size_t>(stop - list.next);
  send(list, list.next, size, out);
  list.next = stop;
  return size;
}

// Moves up to size bytes of the current block to out, or passes over them
// when out is null; returns how many.
std::size_t take_block(programme_list& list, unsigned char* out, std::size_t size) {
  std::size_t taken = 0;
  while (taken < size) {
    unsigned char* at = out == nullptr ? nullptr : out + taken;
    if (list.flush_sent < list.flush_size) {
      taken += send_held(list, at, size - taken);
    } else if (list.block_ended) {
      break;
    } else if (!has_bytes(list)) {
      end_of_data(list);
    } else if (list.in_line) {
      taken += send_lines(list, at, size - taken);
    } else {
      hold(list, *list.next++);
    }
  }
  return taken;
}

}  // namespace

bool is_boundary_line(const char* line, std::size_t size, const char* boundary,
                      std::size_t boundary_size) {
  if (boundary_size == 0 || size < boundary_size || size > k_boundary_line_limit) return false;
  if (std::memcmp(line, boundary, boundary_size) != 0) return false;
  return all_blank(reinterpret_cast<const unsigned char*>(line) + boundary_size,
                   size - boundary_size);
}

bool start_programme_list(programme_list& list, scan_read read, void* source) {
  list.read = read;
  list.source = source;
  list.next = list.end = nullptr;
  list.data_ended = false;
  list.boundary_size = 0;
  list.held_size = list.flush_size = list.flush_sent = 0;
  list.in_line = false;
  list.blank = true;
  bool multi = false;
  header_end end = read_header(list, multi);
  if (!multi || list.boundary_size == 0) return false;
  // After a blank line the current block is the preamble, passed over by
  // the first move to a block.
  list.block_ended = end != header_end::blank_line;
  list.more_blocks = end == header_end::boundary_line;
  return true;
}

bool next_programme_block(programme_list& list) {
  if (!list.block_ended) take_block(list, nullptr, SIZE_MAX);
  if (!list.more_blocks) return false;
  list.block_ended = false;
  list.more_blocks = false;
  list.blank = true;
  return true;
}

std::size_t read_programme_block(void* list, unsigned char* buffer, std::size_t size) {
  return take_block(*static_cast<programme_list*>(list), buffer, size);
}

bool finish_programme_block(programme_list& list) {
  take_block(list, nullptr, SIZE_MAX);
  return !list.blank;
}

int count_listed_programmes(programme_list& list) {
  int count = 0;
  while (next_programme_block(list)) {
    if (finish_programme_block(list)) ++count;
  }
  return count;
}

int count_programmes(programme_list& list, scan_read read, void* source) {
  return start_programme_list(list, read, source) ? count_listed_programmes(list) : -1;
}
