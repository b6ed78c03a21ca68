#include "reservation/line_scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr unsigned char k_end_of_file_byte = 0x1A;

// Keys and values are looked for in whole blocks of bytes, with GCC and
// Clang vector types, so that a long description line costs little more
// than a memchr. Their first few bytes are looked at one at a time: most
// items are short, and the processor runs ahead on a loop it can predict.
constexpr std::size_t k_block = 16;
constexpr std::size_t k_head = 8;
typedef unsigned char byte_block __attribute__((vector_size(k_block)));

bool refill(scan_input& input) {
  if (input.finished || input.read == nullptr) {
    input.finished = true;
    return false;
  }
  std::size_t got = input.read(input.source, input.buffer, k_scan_buffer_size);
  if (got == 0) {
    input.finished = true;
    return false;
  }
  input.next = input.buffer;
  input.end = input.buffer + got;
  return true;
}

// True while bytes are left to look at; refills the buffer when it is spent.
inline bool has_bytes(scan_input& input) { return input.next != input.end || refill(input); }

// A byte 0x1A: the data ends here, whatever follows it.
inline void end_data(scan_input& input) {
  input.finished = true;
  input.next = input.end;
}

// A table per set of bytes: one load tells a byte of the set.
template <unsigned char... Bytes>
constexpr std::array<bool, 256> k_byte_set = [] {
  std::array<bool, 256> set{};
  ((set[Bytes] = true), ...);
  return set;
}();

template <unsigned char... Bytes>
inline bool is_one_of(unsigned char byte) {
  return k_byte_set<Bytes...>[byte];
}

// Bit i is set when byte i of the block at p is one of Stops. SSE2, which
// every x86-64 processor has, gathers the bits in one instruction; elsewhere
// a multiplication gathers each half's.
template <unsigned char... Stops>
inline unsigned hit_mask(const unsigned char* p) {
  byte_block block;
  std::memcpy(&block, p, k_block);
  auto hits = ((block == Stops) | ...);
#if defined(__SSE2__)
  return static_cast<unsigned>(_mm_movemask_epi8(std::bit_cast<__m128i>(hits)));
#else
  static_assert(std::endian::native == std::endian::little, "bytes in memory order");
  std::uint64_t halves[2];
  std::memcpy(halves, &hits, sizeof halves);
  constexpr std::uint64_t k_top_bits = 0x8080808080808080u;
  constexpr std::uint64_t k_gather = 0x0002040810204081u;
  unsigned low = static_cast<unsigned>(((halves[0] & k_top_bits) * k_gather) >> 56);
  unsigned high = static_cast<unsigned>(((halves[1] & k_top_bits) * k_gather) >> 56);
  return low | high << 8;
#endif
}

// Copies the bytes of [p, end) before the first one of Stops to out and
// returns where it stopped (end when none is there). A block is stored
// whole, so out may receive bytes past the stop, never past out + (end - p).
template <unsigned char... Stops>
const unsigned char* copy_until(const unsigned char* p, const unsigned char* end, char* out) {
  const unsigned char* head_end = p + std::min(k_head, static_cast<std::size_t>(end - p));
  for (; p != head_end; ++p, ++out) {
    if (is_one_of<Stops...>(*p)) return p;
    *out = static_cast<char>(*p);
  }
  if (static_cast<std::size_t>(end - p) >= k_block) {
    std::memcpy(out, p, k_block);
    if (unsigned mask = hit_mask<Stops...>(p)) return p + std::countr_zero(mask);
    p += k_block;
    out += k_block;
  }
  for (; static_cast<std::size_t>(end - p) >= 2 * k_block; p += 2 * k_block, out += 2 * k_block) {
    std::memcpy(out, p, 2 * k_block);
    unsigned mask = hit_mask<Stops...>(p) | hit_mask<Stops...>(p + k_block) << k_block;
    if (mask != 0) return p + std::countr_zero(mask);
  }
  for (; p != end && !is_one_of<Stops...>(*p); ++p, ++out) *out = static_cast<char>(*p);
  return p;
}

// Takes up to limit bytes before the first of Stops into out (terminated),
// dropping carriage returns; returns how many were taken.
template <unsigned char... Stops>
std::size_t take_item(scan_input& input, char* out, std::size_t limit) {
  std::size_t taken = 0;
  while (taken < limit && has_bytes(input)) {
    std::size_t room = std::min(static_cast<std::size_t>(input.end - input.next), limit - taken);
    const unsigned char* span_end = input.next + room;
    const unsigned char* stop =
        copy_until<'\r', k_end_of_file_byte, Stops...>(input.next, span_end, out + taken);
    taken += static_cast<std::size_t>(stop - input.next);
    input.next = stop;
    if (stop == span_end) continue;
    if (*stop == '\r') {
      // A line end is CR LF: the item usually ends right after the CR.
      ++input.next;
      if (input.next != input.end && is_one_of<Stops...>(*input.next)) break;
      continue;
    }
    if (*stop == k_end_of_file_byte) end_data(input);
    break;
  }
  out[taken] = '\0';
  return taken;
}

// Passes over a run of Skipped bytes (and carriage returns) of any length.
template <unsigned char... Skipped>
void skip_run(scan_input& input) {
  while (has_bytes(input)) {
    unsigned char byte = *input.next;
    if (byte == '\r' || is_one_of<Skipped...>(byte)) {
      ++input.next;
      continue;
    }
    if (byte == k_end_of_file_byte) end_data(input);
    return;
  }
}

bool at_end(scan_input& input) {
  skip_run<>(input);
  return !has_bytes(input);
}

std::size_t read_standard_file(void* source, unsigned char* buffer, std::size_t size) {
  return std::fread(buffer, 1, size, static_cast<std::FILE*>(source));
}

}  // namespace

scan_input scan_memory(const void* data, std::size_t size) {
  scan_input input;
  input.next = static_cast<const unsigned char*>(data);
  input.end = input.next + size;
  return input;
}

scan_input scan_source(scan_read read, void* source, unsigned char* buffer) {
  scan_input input;
  input.read = read;
  input.source = source;
  input.buffer = buffer;
  return input;
}

scan_input scan_file(std::FILE* file, unsigned char* buffer) {
  return scan_source(read_standard_file, file, buffer);
}

int scan_line(scan_input& input, scanned_line& line) {
  int stored = 0;
  if (take_item<' ', ':'>(input, line.key, k_item_limit) > 0) ++stored;
  skip_run<' ', ':'>(input);
  if (take_item<'\n'>(input, line.value, k_item_limit) > 0) ++stored;
  skip_run<'\n'>(input);
  if (stored == 0 && at_end(input)) return -1;
  return stored;
}
