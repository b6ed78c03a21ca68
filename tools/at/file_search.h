// Looking for a byte string in a file read chunk by chunk, so that a large
// file is never held whole: how AT tells the recorder REC from another
// program.
#pragma once

#include <cstddef>
#include <string>

// Looks for needle in a stream handed over chunk by chunk: carry keeps the
// last bytes seen (fewer than the needle's), so a needle across a chunk
// boundary is found. True when the needle ends in this chunk.
bool chunk_holds(const std::string& needle, const char* bytes, std::size_t size,
                 std::string& carry);

// Whether the first limit bytes of the file at path hold needle; false for a
// file that cannot be read.
bool file_holds(const std::string& path, const std::string& needle, std::size_t limit);
